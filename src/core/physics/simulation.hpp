#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/base/signal.hpp"
#include "core/physics/ball.hpp"
#include "core/physics/wave.hpp"

namespace tarnwell {

class ChangeObserver;
class MidiManager;
class RandomSource;

enum class PhysicsChange {
    tick,      // a tick ran: `time` advanced and running balls moved
    settings,  // a ball's settings were written (controls, toggle, dice)
};

// The physics page's state and its fixed-step simulation: five balls in a
// 250 x 250 area, advanced by `timerTick` sixty times a second. Each running
// ball sends its horizontal position as the value of its assigned NRPN
// parameter on every tick, in ball order.
//
// Threading: main thread only; ticks and control writes never overlap.
//
// Observing: `changed` is announced after every tick and after every write
// through `toggleRunning`, `randomizeWaves` and `editBall`. A drawing area
// repaints on either kind (and may ignore it while hidden); controls re-read
// the ball's settings on `settings` only, since a tick never changes them.
class PhysicsSimulation {
public:
    static constexpr double kTimeStep = 0.016666666666666666;
    static constexpr double boundingWidth = 250.0;
    static constexpr double boundingHeight = 250.0;
    // Distance from each wall at which a ball bounces and to which it is held.
    static constexpr double kWallMargin = 8.0;
    // Within this distance of its magnet a ball is not pulled.
    static constexpr double kMagnetDeadZone = 1.0;
    // The closed ranges of a ball's settings as the page's controls offer them
    // and as `randomizeWaves` draws them; each range starts at 0.
    static constexpr double kMaxAmplitude = 5.0;
    static constexpr double kMaxFrequency = 3.0;
    static constexpr double kMaxPhase = kTwoPi;
    static constexpr double kMaxMagnetStrength = 5.0;

    // Starts with the initial balls, all stopped, at time 0.
    // `midiManager` must outlive the simulation.
    explicit PhysicsSimulation(MidiManager& midiManager);
    PhysicsSimulation(const PhysicsSimulation&) = delete;
    PhysicsSimulation& operator=(const PhysicsSimulation&) = delete;

    [[nodiscard]] const std::vector<Ball>& balls() const { return balls_; }
    [[nodiscard]] double time() const { return time_; }

    // One step: advances `time` by `kTimeStep` whether or not a ball runs,
    // then moves each running ball and, while a destination is connected,
    // sends trunc(x / boundingWidth * 16383) on its `assignedParam`.
    void timerTick();
    // The value a running ball sends for its parameter where it stands.
    [[nodiscard]] static std::int64_t sentValue(const Ball& ball);
    // Whether a tick would move anything. While none does, the timer may
    // sleep and account for the ticks it slept through with `skipTicks`.
    [[nodiscard]] bool anyRunning() const;
    // The effect of `count` ticks while no ball runs: `time` advances by
    // `kTimeStep` `count` times, one addition each, so it holds exactly what
    // those ticks would have left. Moves nothing, sends nothing, announces
    // nothing. Only for ticks with no ball running.
    void skipTicks(std::uint64_t count);
    // Moves the ball at `index` by one step at the current `time`. Sends
    // nothing. An index outside the list does nothing.
    void updateBall(std::size_t index);

    // Starts a stopped ball or stops a running one. Sends nothing.
    void toggleRunning(std::size_t index);
    // Draws new wave settings for every ball, in index order and per ball in
    // the order waveTypeX, waveTypeY, ampX, freqX, phaseX, ampY, freqY, phaseY
    // (the real ranges closed, those of the page's sliders). Nothing else
    // changes and nothing is sent.
    void randomizeWaves(RandomSource& random);
    // Lets a control write the fields of one ball; announces `settings`. An
    // index outside the list does nothing.
    void editBall(std::size_t index, const std::function<void(Ball&)>& edit);

    // Told before every change of a ball's settings; may be null.
    void setChangeObserver(ChangeObserver* observer) { observer_ = observer; }
    // One drag of a ball control: its edits undo as one.
    void beginGesture();
    void endGesture();
    // Puts back the settings that undo or redo gives; the balls stay where
    // they are and keep their velocities. Sends nothing.
    void restoreSettings(const std::vector<Ball>& balls);

    Signal<PhysicsChange> changed;

private:
    void willChange(std::string action);

    ChangeObserver* observer_ = nullptr;
    MidiManager& midiManager_;
    std::vector<Ball> balls_ = initialBalls();
    double time_ = 0.0;
};

}  // namespace tarnwell
