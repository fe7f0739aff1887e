#include "core/physics/tick_scheduler.hpp"

#include <utility>

namespace tarnwell {

TickScheduler::TickScheduler(Now now, std::function<void()> tick, Skipped skipped)
    : now_(std::move(now)), tick_(std::move(tick)), skipped_(std::move(skipped)) {}

void TickScheduler::start() {
    running_ = true;
    anchor_ = now_();
    next_ = 1;
}

void TickScheduler::stop() {
    running_ = false;
}

void TickScheduler::setPaused(bool paused) {
    if (paused == paused_) {
        return;
    }
    paused_ = paused;
    if (paused || !running_) {
        return;
    }
    // A pause is never a stall: an idle thread would have woken on time for
    // every deadline, so each one that passed counts, and none re-anchors.
    const std::int64_t last = lastDeadlineBy(now_());
    if (last < next_) {
        return;
    }
    const auto count = static_cast<std::uint64_t>(last - next_ + 1);
    next_ = last + 1;
    if (skipped_) {
        skipped_(count);
    }
}

std::optional<TickScheduler::TimePoint> TickScheduler::wake() {
    if (!running_ || paused_) {
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
    if (!running_ || paused_) {
        return std::nullopt;
    }
    return deadline(next_);
}

std::int64_t TickScheduler::lastDeadlineBy(TimePoint time) const {
    if (time < anchor_) {
        return 0;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(time - anchor_);
    constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
    // An estimate from whole seconds and the remainder (no overflow for
    // centuries), then settled against `deadline` itself, whose rounding
    // decides.
    std::int64_t n = elapsed.count() / kNanosPerSecond * kTicksPerSecond +
                     elapsed.count() % kNanosPerSecond * kTicksPerSecond / kNanosPerSecond;
    while (deadline(n + 1) <= time) {
        ++n;
    }
    while (n > 0 && deadline(n) > time) {
        --n;
    }
    return n;
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
