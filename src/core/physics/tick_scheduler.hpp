#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace tarnwell {

// Deadline scheduling of a fixed-rate tick, free of any timer toolkit. A driver
// (a one-shot timer) calls `wake` whenever it fires and re-arms itself for the
// deadline `wake` returns.
//
// Schedule: after `start` at time s, tick n (n = 1, 2, ...) is due at
// s + n / rate, computed from n each time, so rounding never accumulates and
// the mean rate is exact however the wakes jitter.
//
// Lateness: a wake at or after the due time runs exactly one tick, however
// late. When that tick is a full period or more late (a stall: the main
// thread was blocked, the machine suspended), the missed deadlines are
// dropped and the schedule re-anchors at the wake, so the next tick follows
// one full period later. Re-anchoring rather than skipping to the old grid
// keeps the next interval a full period; keeping the old phase could put the
// next tick arbitrarily close behind the late one, a burst of two.
//
// Pausing: a paused schedule needs no wake and runs no tick, yet goes on in
// the abstract. Resuming hands the deadlines that passed meanwhile to
// `skipped` as a count (each one a tick that an unpaused scheduler, waking on
// time, would have run) and the next tick is due at the next deadline of the
// same grid. So an owner whose ticks do nothing for a while may pause for that
// while and, by applying the skipped ticks' effect at once, stay exactly where
// an unpaused schedule would have put it.
//
// Threading: single-threaded; `tick` runs inside `wake` and may call `stop`,
// `start` or `setPaused`.
class TickScheduler {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Now = std::function<TimePoint()>;
    using Skipped = std::function<void(std::uint64_t ticks)>;

    static constexpr std::int64_t kTicksPerSecond = 60;

    // `now` is the clock (steady_clock::now in production); `tick` is the work
    // of one tick; `skipped` (may be empty) is told of the ticks a pause
    // passed over, when it ends.
    TickScheduler(Now now, std::function<void()> tick, Skipped skipped = {});

    // Anchors the schedule at the current time; the first tick is due one
    // period later. Restarts the schedule when already running. Keeps the
    // paused state, so a schedule may start paused.
    void start();
    void stop();
    // Started and not stopped, paused or not.
    [[nodiscard]] bool isRunning() const { return running_; }
    void setPaused(bool paused);
    [[nodiscard]] bool isPaused() const { return paused_; }

    // Runs one tick when one is due. Returns the next deadline, or nothing
    // when the scheduler is stopped or paused (also when the tick did that).
    std::optional<TimePoint> wake();

    // Nothing while stopped or paused.
    [[nodiscard]] std::optional<TimePoint> nextDeadline() const;
    [[nodiscard]] std::uint64_t ticksRun() const { return ticksRun_; }
    // How many times a stall made the schedule re-anchor.
    [[nodiscard]] std::uint64_t reanchors() const { return reanchors_; }

private:
    [[nodiscard]] TimePoint deadline(std::int64_t n) const;
    // The number of the last deadline at or before `time`; 0 before the first.
    [[nodiscard]] std::int64_t lastDeadlineBy(TimePoint time) const;

    Now now_;
    std::function<void()> tick_;
    Skipped skipped_;
    bool running_ = false;
    bool paused_ = false;
    TimePoint anchor_{};
    std::int64_t next_ = 1;
    std::uint64_t ticksRun_ = 0;
    std::uint64_t reanchors_ = 0;
};

// The whole-millisecond delay for a timer that must not fire before
// `deadline`: rounded up, never negative.
[[nodiscard]] std::chrono::milliseconds timerDelayUntil(TickScheduler::TimePoint deadline,
                                                        TickScheduler::TimePoint now);

}  // namespace tarnwell
