#include "ui/physics/tick_timer.hpp"

#include <chrono>
#include <utility>

namespace tarnwell {

TickTimer::TickTimer(std::function<void()> onTick, TickScheduler::Skipped onSkipped,
                     QObject* parent)
    : QObject(parent),
      scheduler_([] { return std::chrono::steady_clock::now(); }, std::move(onTick),
                 std::move(onSkipped)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TickTimer::wake);
}

void TickTimer::start() {
    scheduler_.start();
    if (const auto deadline = scheduler_.nextDeadline()) {
        arm(*deadline);
    }
}

void TickTimer::stop() {
    scheduler_.stop();
    timer_.stop();
}

void TickTimer::setPaused(bool paused) {
    scheduler_.setPaused(paused);
    if (const auto deadline = scheduler_.nextDeadline()) {
        if (!timer_.isActive()) {
            arm(*deadline);
        }
    } else {
        timer_.stop();
    }
}

void TickTimer::wake() {
    // The scheduler may return early from a wake that came before the
    // deadline; re-arming for the same deadline then costs one more wake.
    if (const auto deadline = scheduler_.wake()) {
        arm(*deadline);
    }
}

void TickTimer::arm(TickScheduler::TimePoint deadline) {
    const auto delay = timerDelayUntil(deadline, std::chrono::steady_clock::now());
    timer_.start(delay);
}

}  // namespace tarnwell
