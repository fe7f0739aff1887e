#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <numbers>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/physics/simulation.hpp"
#include "core/physics/tick_scheduler.hpp"
#include "core/physics/wave.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

using test::Sent;

class PhysicsTest : public ::testing::Test {
protected:
    const Ball& ball(std::size_t i) const { return sim.balls()[i]; }

    // Starts ball i at `pos` with no wave push, so it moves by `vel` alone.
    void runWithoutWaves(std::size_t i, Point pos, Velocity vel = {0.0, 0.0}) {
        sim.editBall(i, [&](Ball& b) {
            std::tie(b.pos, b.vel, b.ampX, b.ampY, b.isRunning) =
                std::tuple(pos, vel, 0.0, 0.0, true);
        });
    }
    void setMagnet(std::size_t i, bool enabled, double strength, Point at) {
        sim.editBall(i, [&](Ball& b) {
            std::tie(b.magnetEnabled, b.magnetStrength, b.magnetX, b.magnetY) =
                std::tuple(enabled, strength, at.x, at.y);
        });
    }

    test::PanelHarness h;
    PhysicsSimulation& sim = h.model->physics();
};

TEST_F(PhysicsTest, RedAndBlueBallsFirstTickMoveByVelocityAndWaveAndSendInOrder) {
    sim.toggleRunning(0);
    sim.toggleRunning(1);
    sim.timerTick();
    EXPECT_NEAR(ball(0).pos.x, 41.5333, 1e-4);
    EXPECT_NEAR(ball(0).pos.y, 42.5024, 1e-4);
    EXPECT_EQ(ball(0).vel, (Velocity{1.5, 1.5})) << "the wave push must not enter the velocity";
    EXPECT_NEAR(ball(1).pos.x, 80.3, 1e-4);
    EXPECT_NEAR(ball(1).pos.y, 60.061, 1e-3);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{1, 2721}, {2, 5262}}));
    EXPECT_EQ(ball(2), initialBalls()[2]) << "a stopped ball neither moves nor sends";
}

TEST_F(PhysicsTest, BounceAtExactlyTheMarginMovesByTheOldVelocityAndTheClampHoldsAFastBall) {
    // x + vx = 8.0 and y + vy = 242.0 exactly.
    runWithoutWaves(0, {9.5, 240.5}, {-1.5, 1.5});
    sim.timerTick();
    EXPECT_EQ(ball(0).vel, (Velocity{1.5, -1.5}));
    EXPECT_EQ(ball(0).pos, (Point{8.0, 242.0})) << "the reversed velocity acts from the next tick";
    sim.timerTick();
    EXPECT_EQ(ball(0).pos, (Point{9.5, 240.5}));

    sim.toggleRunning(0);
    h.service->clearRecorded();
    runWithoutWaves(2, {200.0, 50.0}, {1000.0, -1000.0});
    sim.timerTick();
    EXPECT_EQ(ball(2).pos, (Point{242.0, 8.0}));
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{3, 15858}}));
}

TEST_F(PhysicsTest, MagnetPullsOnlyItsOwnBallsVelocityFromTheClampedPositionOutsideItsDeadZone) {
    const auto pullAt = [&](bool enabled, double strength, Point magnet) {
        runWithoutWaves(0, {100.0, 100.0});
        setMagnet(0, enabled, strength, magnet);
        sim.timerTick();
        EXPECT_EQ(ball(0).pos, (Point{100.0, 100.0})) << "the pull shows from the next tick";
        return ball(0).vel;
    };
    const Velocity diagonal = pullAt(true, 5.0, {97.0, 96.0});  // distance 5, pull 1
    EXPECT_NEAR(diagonal.dx, -0.6, 1e-12);
    EXPECT_NEAR(diagonal.dy, -0.8, 1e-12);
    EXPECT_EQ(pullAt(true, 2.0, {101.0, 100.0}), (Velocity{0.0, 0.0})) << "at exactly 1 point";
    EXPECT_EQ(pullAt(false, 2.0, {110.0, 100.0}), (Velocity{0.0, 0.0})) << "disabled";

    // Bounced and clamped to 242: the pull is 1 / (250 - 242), not 1 / (250 - 245).
    runWithoutWaves(0, {240.0, 125.0}, {5.0, 0.0});
    runWithoutWaves(1, {230.0, 60.0});
    setMagnet(0, true, 1.0, {250.0, 125.0});
    sim.timerTick();
    EXPECT_EQ(ball(0).pos, (Point{242.0, 125.0}));
    EXPECT_NEAR(ball(0).vel.dx, -5.0 + 1.0 / 8.0, 1e-12);
    EXPECT_EQ(ball(1).vel, (Velocity{0.0, 0.0})) << "another ball's magnet does not act";
}

TEST_F(PhysicsTest, NothingIsSentWithoutARunningBallOrADestination) {
    sim.toggleRunning(5);
    sim.editBall(9, [](Ball& b) { b.isRunning = true; });
    sim.timerTick();
    EXPECT_EQ(sim.balls(), initialBalls()) << "an index outside the list changes nothing";

    auto manager = MidiManager::create(h.service, h.queue);
    PhysicsSimulation unconnected(*manager);
    unconnected.toggleRunning(0);
    unconnected.timerTick();
    EXPECT_NE(unconnected.balls()[0].pos, initialBalls()[0].pos) << "the ball still moves";
    EXPECT_TRUE(h.service->deliveries().empty());
}

TEST_F(PhysicsTest, DiceDrawsOnlyTheWaveFieldsInOrderFromClosedRangesAndSendsNothing) {
    constexpr std::uint64_t kTop = std::uint64_t{1} << 53;  // draws the top of a closed range
    constexpr std::uint64_t k = kTop / 8;
    std::deque<std::uint64_t> words;
    for (int i = 0; i < 4; ++i) {  // waveTypeX, waveTypeY, then k/8 of each range for k = 1 ... 6
        words.insert(words.end(), {1, 2, k, 2 * k, 3 * k, 4 * k, 5 * k, 6 * k});
    }
    words.insert(words.end(), {2, 0, kTop, kTop, kTop, kTop, kTop, kTop});
    test::ScriptedRandom random(words);
    sim.randomizeWaves(random);
    EXPECT_EQ(random.draws, 40);

    const auto withWaves = [](Ball b, WaveType x, WaveType y, std::array<double, 6> v) {
        std::tie(b.waveTypeX, b.waveTypeY, b.ampX, b.freqX, b.phaseX, b.ampY, b.freqY, b.phaseY) =
            std::tie(x, y, v[0], v[1], v[2], v[3], v[4], v[5]);
        return b;
    };
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ball(i), withWaves(initialBalls()[i], WaveType::square, WaveType::triangle,
                                     {5.0 / 8, 3.0 * 2 / 8, kTwoPi * 3 / 8, 5.0 * 4 / 8,
                                      3.0 * 5 / 8, kTwoPi * 6 / 8}));
    }
    EXPECT_EQ(ball(4), withWaves(initialBalls()[4], WaveType::triangle, WaveType::sine,
                                 {5.0, 3.0, kTwoPi, 5.0, 3.0, kTwoPi}));
    EXPECT_TRUE(h.service->deliveries().empty());
}

constexpr double kPi = std::numbers::pi;

TEST(WaveValue, ShapesStartAtZeroPlusOneAndMinusOneAndTheTriangleIsPeriodicBelowZero) {
    for (const double freq : {0.0, 2.7}) {
        EXPECT_EQ(waveValue(WaveType::sine, 0.0, freq, 0.0), 0.0);
        EXPECT_EQ(waveValue(WaveType::square, 0.0, freq, 0.0), 1.0);
        EXPECT_EQ(waveValue(WaveType::triangle, 0.0, freq, 0.0), -1.0);
    }
    EXPECT_EQ(waveValue(WaveType::square, 1.0, 1.0, kPi + 0.01), -1.0);
    EXPECT_NEAR(waveValue(WaveType::triangle, kPi, 1.0, 0.0), 1.0, 1e-12);
    EXPECT_NEAR(waveValue(WaveType::triangle, -kPi / 2, 1.0, 0.0), 0.0, 1e-12);
    // A truncating remainder in place of the floor leaves [-1, 1] here.
    for (const double angle : {-0.3, -2.0, -7.5, -40.0}) {
        const double v = waveValue(WaveType::triangle, angle, 1.0, 0.0);
        EXPECT_NEAR(v, waveValue(WaveType::triangle, angle + 6 * kPi, 1.0, 0.0), 1e-9) << angle;
    }
}

using namespace std::chrono_literals;
using TimePoint = TickScheduler::TimePoint;

// A scheduler on a clock that moves only when the test moves it.
class TickSchedulerTest : public ::testing::Test {
protected:
    TimePoint now = TimePoint{} + 1000s;
    int ticks = 0;
    TickScheduler scheduler{[this] { return now; }, [this] { ++ticks; }};
};

TEST_F(TickSchedulerTest, DeadlinesComeFromTheTickNumberSoALateTickKeepsTheGrid) {
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
    now += 500ms;
    const auto next = scheduler.wake();
    EXPECT_EQ(next, now + 16'666'666ns);
    for (int i = 0; i < 5; ++i) {
        now += 1ms;
        scheduler.wake();
    }
    EXPECT_EQ(ticks, 1) << "missed deadlines are not caught up in a burst";
    EXPECT_EQ(scheduler.reanchors(), 1u);

    // A timer set for the deadline never fires before it.
    EXPECT_EQ(timerDelayUntil(now + 16'666'666ns, now), 17ms);
    EXPECT_EQ(timerDelayUntil(now - 5ms, now), 0ms);
}

TEST_F(TickSchedulerTest, APauseCountsItsDeadlinesAndResumesOnTheSameGrid) {
    std::vector<std::uint64_t> skips;
    TickScheduler paused{[this] { return now; }, [this] { ++ticks; },
                         [&](std::uint64_t n) { skips.push_back(n); }};
    const TimePoint start = now;
    paused.setPaused(true);
    paused.start();
    EXPECT_EQ(paused.nextDeadline(), std::nullopt) << "started paused: nothing to wake for";
    now = start + 16'666'666ns;  // exactly the first deadline: it counts
    paused.setPaused(false);
    EXPECT_EQ(skips, std::vector<std::uint64_t>{1});
    EXPECT_EQ(paused.nextDeadline(), start + 33'333'333ns);
    now += 16'666'667ns;
    paused.wake();
    EXPECT_EQ(ticks, 1);
    paused.setPaused(true);
    EXPECT_EQ(paused.wake(), std::nullopt);
    now = start + 3600s + 1ms;  // an hour later, between deadlines
    paused.setPaused(false);
    EXPECT_EQ(skips.back(), 3600u * 60 - 2) << "every deadline since the last tick";
    EXPECT_EQ(paused.nextDeadline(), start + 3600s + 16'666'666ns);
    EXPECT_EQ(ticks, 1) << "skipped ticks are not run";
    EXPECT_EQ(paused.reanchors(), 0u);
}

// A ball started, stopped, left alone and started again under a timer that sleeps
// while no ball runs sends each value when a timer that never slept would.
TEST(PhysicsClockTest, ABallRestartedAfterTheTimerSleptSendsWhatAnAlwaysRunningTimerWould) {
    TimePoint now = TimePoint{} + 1000s;
    struct Universe {
        explicit Universe(const TickScheduler::Now& clock)
            : scheduler(
                  clock,
                  [this] {
                      sim.timerTick();
                      sentAt.resize(test::sentTo(*h.service, h.synth).size(), at);
                  },
                  [this](std::uint64_t n) { sim.skipTicks(n); }) {}
        void wakeIfDue(TimePoint time) {
            at = time;
            if (const auto due = scheduler.nextDeadline(); due && *due <= time) {
                scheduler.wake();
            }
        }
        test::PanelHarness h;
        PhysicsSimulation& sim = h.model->physics();
        TimePoint at{};
        std::vector<TimePoint> sentAt;  // when each sequence on the wire left
        TickScheduler scheduler;
    };
    const auto clock = [&now] { return now; };
    Universe always(clock);
    Universe sleeper(clock);
    // Wired as the application wires it.
    const Connection follow = sleeper.sim.changed.connect([&](PhysicsChange change) {
        if (change == PhysicsChange::settings) {
            sleeper.scheduler.setPaused(!sleeper.sim.anyRunning());
        }
    });
    sleeper.scheduler.setPaused(!sleeper.sim.anyRunning());
    always.scheduler.start();
    sleeper.scheduler.start();

    // Start, stop, start, stop; the first two on a tick's deadline.
    const std::vector<TimePoint> toggles = {now + 250ms, now + 1250ms, now + 8731ms, now + 9500ms};
    std::size_t next = 0;
    // Timers that wake on time: a tick due now runs before a click made now.
    for (const TimePoint end = now + 10s; now < end; now += 250us) {
        always.wakeIfDue(now);
        sleeper.wakeIfDue(now);
        if (next < toggles.size() && now >= toggles[next]) {
            always.sim.toggleRunning(0);
            sleeper.sim.toggleRunning(0);
            ++next;
        }
    }
    const auto sent = test::sentTo(*sleeper.h.service, sleeper.h.synth);
    ASSERT_EQ(sent, test::sentTo(*always.h.service, always.h.synth));
    ASSERT_EQ(sent.size(), 60u + 47u);  // ticks 16 to 75, then 524 to 570
    EXPECT_EQ(sleeper.sentAt, always.sentAt) << "each value leaves at the same tick";
    EXPECT_EQ(sleeper.scheduler.ticksRun(), sent.size()) << "it ticked only while the ball ran";
    // Started once more, the sleeper catches up at once.
    always.wakeIfDue(now);
    always.sim.toggleRunning(0);
    sleeper.sim.toggleRunning(0);
    EXPECT_EQ(sleeper.sim.time(), always.sim.time()) << "bit for bit";
    EXPECT_EQ(sleeper.sim.balls(), always.sim.balls());
}

}  // namespace
}  // namespace tarnwell
