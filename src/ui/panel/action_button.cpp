#include "ui/panel/action_button.hpp"

#include <QAction>
#include <QSignalBlocker>

namespace tarnwell {

ActionButton::ActionButton(QAction* action, const QString& text, QWidget* parent)
    : QPushButton(text, parent), action_(action) {
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
    setCheckable(action->isCheckable());
    if (isCheckable()) {
        // An assistive technology's toggle emits `toggled` without `clicked`;
        // every way of pressing a checkable button ends here.
        connect(this, &QPushButton::toggled, this, [this](bool on) {
            if (on != action_->isChecked()) {
                action_->trigger();
            }
            follow();
        });
    } else {
        connect(this, &QPushButton::clicked, action_, &QAction::trigger);
    }
    connect(action_, &QAction::changed, this, &ActionButton::follow);
    connect(action_, &QAction::toggled, this, &ActionButton::follow);
    follow();
}

void ActionButton::follow() {
    setEnabled(action_->isEnabled());
    setToolTip(action_->statusTip());
    if (isCheckable() && isChecked() != action_->isChecked()) {
        const QSignalBlocker blocker(this);
        setChecked(action_->isChecked());
    }
}

}  // namespace tarnwell
