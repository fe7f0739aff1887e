#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QPoint>
#include <QPointer>

#include "core/control/controls.hpp"

class QMenu;
class QWidget;

namespace tarnwell {

// The context menus of the panel's controls, one kind of menu for every
// control a hardware controller can drive (ControlId).
//
// `attach` gives a widget its menu: right-click, the context-menu key
// (Shift+F10 too) and an assistive technology's "ShowMenu" action open it,
// without blocking the window. What the menu holds comes from the features
// that add entries (`addEntries`): each is asked, in the order added, to put
// its entries for the control into the menu being built, and each feature's
// entries are set apart by a separator. A text field keeps its editing
// entries (cut, copy, paste) below the features'.
//
// Threading: main thread only.
class ControlMenus : public QObject {
    Q_OBJECT
public:
    // Puts a feature's entries for `control`, shown on `widget`, into `menu`.
    using Entries = std::function<void(QMenu& menu, ControlId control, QWidget* widget)>;

    struct Attached {
        QPointer<QWidget> widget;
        ControlId control;
    };

    explicit ControlMenus(QObject* parent = nullptr);
    ~ControlMenus() override;

    // Gives `widget` the menu of `control`. A widget is attached once; a
    // control may be shown by several widgets (a slider and its value field,
    // a switch on every unit page).
    void attach(QWidget* widget, ControlId control);
    void addEntries(Entries entries);

    [[nodiscard]] const std::vector<Attached>& controls() const { return attached_; }
    // The widgets showing `control` now.
    [[nodiscard]] std::vector<QWidget*> widgetsOf(ControlId control) const;
    // The control `widget` was attached for, if any.
    [[nodiscard]] static std::optional<ControlId> controlOf(const QWidget* widget);

    // Builds and opens the menu of `widget` at `globalPos`; returns it (it
    // deletes itself when closed). Null for a widget that is not attached.
    QMenu* openMenu(QWidget* widget, QPoint globalPos);
    // The menu open now, if any.
    [[nodiscard]] QMenu* menu() const;

Q_SIGNALS:
    // A widget was attached: decorations may follow it.
    void widgetAttached(QWidget* widget, ControlId control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<Attached> attached_;
    std::vector<Entries> entries_;
    QPointer<QMenu> open_;
};

}  // namespace tarnwell
