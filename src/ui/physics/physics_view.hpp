#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include <QWidget>

#include "core/base/random.hpp"
#include "core/base/signal.hpp"
#include "core/physics/simulation.hpp"

class QPushButton;
class QTabWidget;

namespace tarnwell {

class BallAreaView;
class BallPageView;
class MidiManager;
class TickTimer;

// The "Physics" tab: the balls in their square on the left; on the right, a
// page of controls per ball and the "Dice" button that draws new waves for all
// of them from the system's secure random source.
//
// The page owns the simulation and its 60 Hz timer, which starts with the page
// and runs for the page's whole life: balls keep moving and sending while
// another tab is on screen; only the drawing waits until the page is shown.
//
// Threading: main thread only; ticks, control writes and repaints never
// overlap.
class PhysicsView : public QWidget {
    Q_OBJECT
public:
    explicit PhysicsView(std::shared_ptr<MidiManager> midiManager, QWidget* parent = nullptr);
    ~PhysicsView() override;

    [[nodiscard]] PhysicsSimulation& simulation() { return simulation_; }
    // The wall-clock driver of `simulation().timerTick()`; tests stop it and
    // tick by hand.
    [[nodiscard]] TickTimer& tickTimer() { return *timer_; }
    [[nodiscard]] BallAreaView* ballArea() const { return ballArea_; }
    [[nodiscard]] QTabWidget* ballTabs() const { return ballTabs_; }
    // Null for an index past the balls.
    [[nodiscard]] BallPageView* ballPage(std::size_t index) const;
    [[nodiscard]] QPushButton* diceButton() const { return dice_; }

private:
    PhysicsSimulation simulation_;
    SystemRandom random_;
    std::unique_ptr<TickTimer> timer_;
    BallAreaView* ballArea_ = nullptr;
    QTabWidget* ballTabs_ = nullptr;
    std::vector<BallPageView*> ballPages_;
    QPushButton* dice_ = nullptr;
    Connection connection_;
};

}  // namespace tarnwell
