#pragma once

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "core/base/signal.hpp"
#include "core/control/controls.hpp"

class QWidget;

namespace tarnwell {

class ControlMenus;
class ControllerInput;
class Model;

// What a control shows about the hardware controller.
enum class BindingMark : std::uint8_t {
    none,      // no knob is bound to it
    bound,     // a knob moves it
    waiting,   // a knob is bound but waits to reach the panel's value (pickup)
    learning,  // the next knob moved will be bound to it
};

// The hardware controller as the panel's controls show it: the control
// menus' "Learn Controller", "Forget Controller" and "Reset to Default"
// entries, the learning itself (the control highlighted, the status line
// asking for a move, Escape cancelling), and on every control a small mark
// when a knob is bound to it, hollow while the knob waits for pickup, with
// the source named in its tooltip ("CC 74, channel 3").
//
// It also tells the controller which control the mouse holds, so a knob does
// not fight a drag.
//
// Threading: main thread only.
class ControllerBindings : public QObject {
    Q_OBJECT
public:
    // Shows a line in the window's status line; `isError` colours it.
    using Status = std::function<void(const QString& text, bool isError)>;

    static constexpr const char* kLearnText = QT_TR_NOOP("Learn Controller");
    static constexpr const char* kForgetText = QT_TR_NOOP("Forget Controller");
    static constexpr const char* kResetText = QT_TR_NOOP("Reset to Default");
    static constexpr const char* kLearningPrompt =
        QT_TR_NOOP("Move a knob or press a key on the controller... (Esc cancels)");

    // `menus`, `model` and its controller input must outlive this.
    ControllerBindings(ControlMenus& menus, Model& model, Status status, QObject* parent = nullptr);
    ~ControllerBindings() override;

    void learn(ControlId control);
    void cancelLearning();
    [[nodiscard]] std::optional<ControlId> learning() const;
    [[nodiscard]] BindingMark markOf(ControlId control) const;
    // The mark `widget` shows now.
    [[nodiscard]] static BindingMark shownMark(const QWidget* widget);
    // The tooltip line naming the sources bound to `control`; empty when none.
    [[nodiscard]] QString sourceText(ControlId control) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void decorate(QWidget* widget, ControlId control);
    void refresh();
    void learned(ControlId control);

    ControlMenus& menus_;
    Model& model_;
    ControllerInput& input_;
    Status status_;
    std::array<BindingMark, kControlCount> marks_{};
    std::vector<Connection> connections_;
    bool filteringKeys_ = false;
};

}  // namespace tarnwell
