#pragma once

#include <QCheckBox>

#include "core/base/signal.hpp"
#include "core/panel/mode_toggles.hpp"

namespace tarnwell {

class Controller;

// One mode switch: a toggle whose text names the current mode. Clicking it
// changes the controller's state, which sends the switch's number; changes
// from elsewhere (a preset recall, another copy of this view) only redraw it.
class ModeToggleView : public QCheckBox {
    Q_OBJECT
public:
    ModeToggleView(Controller& controller, ModeToggle toggle, QWidget* parent = nullptr);

    [[nodiscard]] ModeToggle toggle() const { return toggle_; }

private:
    void showState();

    Controller& controller_;
    ModeToggle toggle_;
    Connection connection_;
};

}  // namespace tarnwell
