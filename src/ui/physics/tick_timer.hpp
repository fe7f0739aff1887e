#pragma once

#include <functional>

#include <QObject>
#include <QTimer>

#include "core/physics/tick_scheduler.hpp"

namespace tarnwell {

// Wakes a TickScheduler on the Qt event loop: a single-shot precise timer,
// re-armed after every wake for the scheduler's next deadline, so the tick
// rate is the scheduler's exact 60 Hz rather than a whole-millisecond interval.
//
// The timer runs independently of any view: the simulation keeps ticking (and
// sending) while its page is hidden; views only subscribe for redraws. While
// paused it is not armed at all; the ticks it sleeps through go to `onSkipped`
// when it resumes (see TickScheduler).
//
// Threading: lives on and calls `onTick` and `onSkipped` on the thread that
// owns it, the main thread. `onTick` may call `stop` or `setPaused`.
class TickTimer : public QObject {
    Q_OBJECT
public:
    explicit TickTimer(std::function<void()> onTick, TickScheduler::Skipped onSkipped = {},
                       QObject* parent = nullptr);

    // Starts the schedule now; the first tick comes one period later, or at
    // the first deadline after the pause ends.
    void start();
    void stop();
    void setPaused(bool paused);
    // Started and not stopped, paused or not.
    [[nodiscard]] bool isActive() const { return scheduler_.isRunning(); }
    // Whether a wake is armed: started and not paused.
    [[nodiscard]] bool isWaking() const { return timer_.isActive(); }
    [[nodiscard]] const TickScheduler& scheduler() const { return scheduler_; }

private:
    void wake();
    void arm(TickScheduler::TimePoint deadline);

    TickScheduler scheduler_;
    QTimer timer_;
};

}  // namespace tarnwell
