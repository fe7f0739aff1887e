#include "ui/physics/tick_timer.hpp"

#include <chrono>
#include <utility>

namespace tarnwell {

TickTimer::TickTimer(std::function<void()> onTick, QObject* parent)
    : QObject(parent),
      scheduler_([] { return std::chrono::steady_clock::now(); }, std::move(onTick)) {
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
