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
// sending) while its page is hidden; views only subscribe for redraws.
//
// Threading: lives on and calls `onTick` on the thread that owns it, the main
// thread. `onTick` may call `stop`.
class TickTimer : public QObject {
    Q_OBJECT
public:
    explicit TickTimer(std::function<void()> onTick, QObject* parent = nullptr);

    // Starts the schedule now; the first tick comes one period later.
    void start();
    void stop();
    [[nodiscard]] bool isActive() const { return scheduler_.isRunning(); }
    [[nodiscard]] const TickScheduler& scheduler() const { return scheduler_; }

private:
    void wake();
    void arm(TickScheduler::TimePoint deadline);

    TickScheduler scheduler_;
    QTimer timer_;
};

}  // namespace tarnwell
