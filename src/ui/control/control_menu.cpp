#include "ui/control/control_menu.hpp"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include "ui/control/accessible_control.hpp"

namespace tarnwell {

namespace {

// The control a widget shows, kept on the widget so the accessibility layer
// and tests can read it without this object.
constexpr const char* kControlKind = "tarnwellControlKind";
constexpr const char* kControlIndex = "tarnwellControlIndex";

}  // namespace

ControlMenus::ControlMenus(QObject* parent) : QObject(parent) {
    installControlAccessibility();
}

ControlMenus::~ControlMenus() {
    if (open_) {
        open_->deleteLater();
    }
}

void ControlMenus::attach(QWidget* widget, ControlId control) {
    if (widget == nullptr || !isValidControl(control) || controlOf(widget)) {
        return;
    }
    widget->setProperty(kControlKind, static_cast<int>(control.kind));
    widget->setProperty(kControlIndex, static_cast<int>(control.index));
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    // Assistive technologies get the menu as an action of the control.
    offerAccessibleMenu(widget);
    connect(widget, &QWidget::customContextMenuRequested, this,
            [this, widget](const QPoint& at) { openMenu(widget, widget->mapToGlobal(at)); });
    widget->installEventFilter(this);
    attached_.push_back(Attached{widget, control});
    Q_EMIT widgetAttached(widget, control);
}

void ControlMenus::addEntries(Entries entries) {
    entries_.push_back(std::move(entries));
}

std::vector<QWidget*> ControlMenus::widgetsOf(ControlId control) const {
    std::vector<QWidget*> widgets;
    for (const Attached& a : attached_) {
        if (a.widget && a.control == control) {
            widgets.push_back(a.widget);
        }
    }
    return widgets;
}

std::optional<ControlId> ControlMenus::controlOf(const QWidget* widget) {
    if (widget == nullptr) {
        return std::nullopt;
    }
    const QVariant kind = widget->property(kControlKind);
    const QVariant index = widget->property(kControlIndex);
    if (!kind.isValid() || !index.isValid()) {
        return std::nullopt;
    }
    return ControlId{static_cast<ControlKind>(kind.toInt()),
                     static_cast<std::uint8_t>(index.toInt())};
}

QMenu* ControlMenus::menu() const {
    return open_;
}

QMenu* ControlMenus::openMenu(QWidget* widget, QPoint globalPos) {
    const auto control = controlOf(widget);
    if (!control) {
        return nullptr;
    }
    if (open_) {
        open_->close();
    }
    auto* menu = new QMenu(widget);
    menu->setObjectName("controlMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Entries& entries : entries_) {
        if (!menu->isEmpty()) {
            menu->addSeparator();
        }
        entries(*menu, *control, widget);
    }
    if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        QMenu* editing = field->createStandardContextMenu();
        if (!menu->isEmpty()) {
            menu->addSeparator();
        }
        for (QAction* action : editing->actions()) {
            action->setParent(menu);
            menu->addAction(action);
        }
        delete editing;
    }
    if (menu->isEmpty()) {
        delete menu;
        return nullptr;
    }
    open_ = menu;
    // Not exec(): the window (and an assistive technology's call that
    // opened the menu) must not wait for the menu to close.
    menu->popup(globalPos);
    return menu;
}

// The context-menu key and Shift+F10 open the menu below the control, whoever
// synthesised the key press.
bool ControlMenus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool menuKey = key->key() == Qt::Key_Menu ||
                             (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
        if (menuKey) {
            auto* widget = static_cast<QWidget*>(watched);
            openMenu(widget, widget->mapToGlobal(QPoint(widget->width() / 2, widget->height())));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tarnwell
