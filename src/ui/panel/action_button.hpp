#pragma once

#include <QPushButton>

class QAction;

namespace tarnwell {

// A push button that stands for a command: pressing it (mouse, Space, an
// assistive technology's press or toggle) triggers the action, and it shows
// the action's state: enabled, checked, status tip as tooltip. Its own text
// is given, since a panel button may read shorter than its menu item.
class ActionButton : public QPushButton {
    Q_OBJECT
public:
    ActionButton(QAction* action, const QString& text, QWidget* parent = nullptr);
    [[nodiscard]] QAction* action() const { return action_; }

private:
    void follow();

    QAction* action_;
};

}  // namespace tarnwell
