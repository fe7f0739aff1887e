#include "core/physics/tick_scheduler.hpp"

#include <utility>

namespace tarnwell {

TickScheduler::TickScheduler(Now now, std::function<void()> tick)
    : now_(std::move(now)), tick_(std::move(tick)) {}

void TickScheduler::start() {
    running_ = true;
    anchor_ = now_();
    next_ = 1;
}

void TickScheduler::stop() {
    running_ = false;
}

std::optional<TickScheduler::TimePoint> TickScheduler::wake() {
    if (!running_) {
        return std::nullopt;
    }
    const TimePoint now = now_();
    if (now < deadline(next_)) {
        return deadline(next_);
    }
    if (now >= deadline(next_ + 1)) {
        anchor_ = now;
        next_ = 1;
        ++reanchors_;
    } else {
        ++next_;
    }
    // The schedule is settled before the tick runs, so a tick that stops or
    // restarts the scheduler is not undone.
    ++ticksRun_;
    tick_();
    return nextDeadline();
}

std::optional<TickScheduler::TimePoint> TickScheduler::nextDeadline() const {
    if (!running_) {
        return std::nullopt;
    }
    return deadline(next_);
}

TickScheduler::TimePoint TickScheduler::deadline(std::int64_t n) const {
    using std::chrono::nanoseconds;
    constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
    // Whole seconds and the remainder apart, so n * 10^9 cannot overflow.
    const std::int64_t wholeSeconds = n / kTicksPerSecond;
    const std::int64_t remainder = n % kTicksPerSecond;
    const nanoseconds offset{wholeSeconds * kNanosPerSecond +
                             remainder * kNanosPerSecond / kTicksPerSecond};
    return anchor_ + std::chrono::duration_cast<TimePoint::duration>(offset);
}

std::chrono::milliseconds timerDelayUntil(TickScheduler::TimePoint deadline,
                                          TickScheduler::TimePoint now) {
    if (deadline <= now) {
        return std::chrono::milliseconds{0};
    }
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
}

}  // namespace tarnwell
