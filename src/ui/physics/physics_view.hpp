#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include <QWidget>

#include "core/base/signal.hpp"

class QPushButton;
class QTabWidget;

namespace tarnwell {

class BallAreaView;
class BallPageView;
class PhysicsSimulation;
class RandomSource;

// The "Physics" tab: the balls in their square on the left; on the right, a
// page of controls per ball and the "Dice" button that draws new waves for all
// of them from the application's random source.
//
// The simulation and its 60 Hz timer belong to the application and run
// whether or not the page is on screen: balls keep moving and sending while
// another tab is shown; only the drawing waits until the page is shown.
//
// Threading: main thread only; ticks, control writes and repaints never
// overlap.
class PhysicsView : public QWidget {
    Q_OBJECT
public:
    // `simulation` and `random` must outlive the page.
    PhysicsView(PhysicsSimulation& simulation, RandomSource& random, QWidget* parent = nullptr);
    ~PhysicsView() override;

    [[nodiscard]] BallAreaView* ballArea() const { return ballArea_; }
    [[nodiscard]] QTabWidget* ballTabs() const { return ballTabs_; }
    // Null for an index past the balls.
    [[nodiscard]] BallPageView* ballPage(std::size_t index) const;
    [[nodiscard]] QPushButton* diceButton() const { return dice_; }

private:
    PhysicsSimulation& simulation_;
    RandomSource& random_;
    BallAreaView* ballArea_ = nullptr;
    QTabWidget* ballTabs_ = nullptr;
    std::vector<BallPageView*> ballPages_;
    QPushButton* dice_ = nullptr;
    Connection connection_;
};

}  // namespace tarnwell
