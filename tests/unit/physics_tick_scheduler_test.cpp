#include <chrono>
#include <cstdint>
#include <optional>

#include <gtest/gtest.h>

#include "core/physics/tick_scheduler.hpp"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using TimePoint = TickScheduler::TimePoint;

// A scheduler on a clock that moves only when the test moves it.
class TickSchedulerTest : public ::testing::Test {
protected:
    TimePoint now = TimePoint{} + 1000s;
    int ticks = 0;
    TickScheduler scheduler{[this] { return now; }, [this] { ++ticks; }};
};

TEST_F(TickSchedulerTest, DeadlinesComeFromTheTickNumberSoTheyNeverDrift) {
    const TimePoint start = now;
    scheduler.start();
    EXPECT_EQ(scheduler.nextDeadline(), start + 16'666'666ns);
    // A driver that wakes up to 9 ms late but never a full period late.
    std::uint64_t lateness = 0;
    while (ticks < 216'000) {
        const auto due = scheduler.nextDeadline();
        ASSERT_TRUE(due);
        lateness = (lateness * 7919 + 13) % 9'000'000;
        now = *due + std::chrono::nanoseconds(lateness);
        ASSERT_TRUE(scheduler.wake());
        if (ticks == 60) {
            EXPECT_EQ(scheduler.nextDeadline(), start + 1s + 16'666'666ns);
        }
    }
    // One hour at exactly 60 per second: tick 216000 was due at start + 3600 s
    // to the nanosecond, and the next one follows on the same grid.
    EXPECT_EQ(scheduler.nextDeadline(), start + 3600s + 16'666'666ns);
    EXPECT_LT(now - (start + 3600s), 9ms);
    EXPECT_EQ(scheduler.reanchors(), 0u);
    EXPECT_EQ(scheduler.ticksRun(), 216'000u);
}

TEST_F(TickSchedulerTest, EarlyWakeWaitsAndALateTickKeepsTheGrid) {
    const TimePoint start = now;
    scheduler.start();
    now += 16ms;
    EXPECT_EQ(scheduler.wake(), start + 16'666'666ns);
    EXPECT_EQ(ticks, 0);
    now = start + 16'666'666ns + 15ms;
    EXPECT_EQ(scheduler.wake(), start + 33'333'333ns);
    now += 2ms;
    EXPECT_EQ(scheduler.wake(), start + 50ms) << "the next tick keeps its own deadline";
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(scheduler.reanchors(), 0u);
}

TEST_F(TickSchedulerTest, StallGivesOneLateTickThenAFullPeriod) {
    scheduler.start();
    for (int i = 0; i < 10; ++i) {
        now = *scheduler.nextDeadline();
        scheduler.wake();
    }
    now += 500ms;
    const TimePoint stallEnd = now;
    const auto next = scheduler.wake();
    EXPECT_EQ(ticks, 11);
    EXPECT_EQ(next, stallEnd + 16'666'666ns);
    for (int i = 0; i < 5; ++i) {
        now += 1ms;
        scheduler.wake();
    }
    EXPECT_EQ(ticks, 11) << "missed deadlines are not caught up in a burst";
    EXPECT_EQ(scheduler.reanchors(), 1u);
    now = *next;
    scheduler.wake();
    EXPECT_EQ(ticks, 12);
}

TEST_F(TickSchedulerTest, StoppedSchedulerRunsNothingAndRestartReanchors) {
    scheduler.start();
    now += 1s;
    scheduler.stop();
    EXPECT_EQ(scheduler.wake(), std::nullopt);
    EXPECT_EQ(ticks, 0);
    scheduler.start();
    EXPECT_EQ(scheduler.nextDeadline(), now + 16'666'666ns);

    // A tick that stops the scheduler gets no next deadline.
    TickScheduler stopping([&] { return now; }, [&] { stopping.stop(); });
    stopping.start();
    now += 20ms;
    EXPECT_EQ(stopping.wake(), std::nullopt);
    EXPECT_FALSE(stopping.isRunning());
}

TEST(TimerDelay, RoundsUpSoATimerNeverFiresEarly) {
    const TimePoint now{};
    EXPECT_EQ(timerDelayUntil(now + 16'666'666ns, now), 17ms);
    EXPECT_EQ(timerDelayUntil(now + 16ms, now), 16ms);
    EXPECT_EQ(timerDelayUntil(now + 1ns, now), 1ms);
    EXPECT_EQ(timerDelayUntil(now - 5ms, now), 0ms);
}

}  // namespace
}  // namespace tarnwell
