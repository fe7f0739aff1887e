#pragma once

#include <cstdint>

#include <QPushButton>
#include <QWidget>

#include "core/base/signal.hpp"

namespace tarnwell {

class Controller;
class LinkButtonView;
class Locks;
class MidiSliderView;

// The page of one unit (0 = A ... 5 = F): its six sliders, its
// "multiplication" mod button, "Lock Unit" (its six parameters locked against
// Mutate and Morph), its link button, the three regen switches that every unit
// page shares, and "Reset DAC".
class UnitPageView : public QWidget {
    Q_OBJECT
public:
    // `controller` and `locks` must outlive the view.
    UnitPageView(Controller& controller, Locks& locks, std::int64_t unit,
                 QWidget* parent = nullptr);

    [[nodiscard]] MidiSliderView* bank() const { return bank_; }
    [[nodiscard]] QPushButton* multiplicationButton() const { return multiplication_; }
    [[nodiscard]] QPushButton* lockUnitButton() const { return lockUnit_; }
    [[nodiscard]] LinkButtonView* linkButton() const { return link_; }
    [[nodiscard]] QPushButton* resetDacButton() const { return resetDac_; }

private:
    [[nodiscard]] bool isModOn() const;
    void showModState();
    void showLockState();

    Controller& controller_;
    Locks& locks_;
    std::int64_t unit_;
    MidiSliderView* bank_;
    QPushButton* multiplication_;
    QPushButton* lockUnit_;
    LinkButtonView* link_;
    QPushButton* resetDac_;
    Connection connection_;
    Connection locksConnection_;
};

}  // namespace tarnwell
