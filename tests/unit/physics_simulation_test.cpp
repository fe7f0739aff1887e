#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/physics/simulation.hpp"
#include "support/panel_harness.hpp"
#include "support/scripted_random.hpp"

namespace tarnwell {
namespace {

using test::Sent;

// A simulation whose manager is connected to the loopback destination "Synth".
class PhysicsTest : public ::testing::Test {
protected:
    std::vector<Sent> sent() const { return h.sent(); }
    const Ball& ball(std::size_t i) const { return sim.balls()[i]; }
    void edit(std::size_t i, const std::function<void(Ball&)>& fn) { sim.editBall(i, fn); }

    // Starts ball i at `pos` with no wave push, so it moves by `vel` alone.
    void runWithoutWaves(std::size_t i, Point pos, Velocity vel = {0.0, 0.0}) {
        edit(i, [&](Ball& b) {
            b.pos = pos;
            b.vel = vel;
            b.ampX = 0.0;
            b.ampY = 0.0;
            b.isRunning = true;
        });
    }

    static std::int64_t valueOf(double x) { return static_cast<std::int64_t>(x / 250.0 * 16383.0); }

    test::PanelHarness h;
    std::shared_ptr<LoopbackMidiService>& service = h.service;
    PhysicsSimulation& sim = h.model->physics();
};

TEST_F(PhysicsTest, RedAndBlueBallsFirstTickMoveByVelocityAndWaveAndSendInOrder) {
    sim.toggleRunning(0);
    sim.toggleRunning(1);
    sim.timerTick();
    EXPECT_EQ(sim.time(), 0.016666666666666666);
    EXPECT_NEAR(ball(0).pos.x, 41.5333, 1e-4);
    EXPECT_NEAR(ball(0).pos.y, 42.5024, 1e-4);
    EXPECT_EQ(ball(0).vel, (Velocity{1.5, 1.5})) << "the wave push must not enter the velocity";
    EXPECT_NEAR(ball(1).pos.x, 80.3, 1e-4);
    EXPECT_NEAR(ball(1).pos.y, 60.061, 1e-3);
    EXPECT_EQ(sent(), (std::vector<Sent>{{1, 2721}, {2, 5262}}));
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
    EXPECT_EQ(ball(0).vel, (Velocity{1.5, -1.5}));

    runWithoutWaves(1, {240.5, 9.0}, {1.5, -1.0});
    sim.timerTick();
    EXPECT_EQ(ball(1).vel, (Velocity{-1.5, 1.0}));
    EXPECT_EQ(ball(1).pos, (Point{242.0, 8.0}));

    sim.toggleRunning(0);
    sim.toggleRunning(1);
    service->clearRecorded();
    runWithoutWaves(2, {200.0, 50.0}, {1000.0, -1000.0});
    sim.timerTick();
    EXPECT_EQ(ball(2).pos, (Point{242.0, 8.0}));
    EXPECT_EQ(sent(), (std::vector<Sent>{{3, 15858}}));
}

TEST_F(PhysicsTest, MagnetPullsOnlyItsOwnBallsVelocityFromTheClampedPositionOutsideItsDeadZone) {
    const auto setMagnet = [&](bool enabled, double strength, Point magnet) {
        edit(0, [&](Ball& b) {
            b.magnetEnabled = enabled;
            b.magnetStrength = strength;
            b.magnetX = magnet.x;
            b.magnetY = magnet.y;
        });
    };
    const auto pullAt = [&](bool enabled, double strength, Point magnet) {
        runWithoutWaves(0, {100.0, 100.0});
        setMagnet(enabled, strength, magnet);
        sim.timerTick();
        EXPECT_EQ(ball(0).pos, (Point{100.0, 100.0})) << "the pull shows from the next tick";
        return ball(0).vel;
    };
    const Velocity pulled = pullAt(true, 2.0, {110.0, 100.0});
    EXPECT_NEAR(pulled.dx, 0.2, 1e-12);
    EXPECT_NEAR(pulled.dy, 0.0, 1e-12);
    const Velocity diagonal = pullAt(true, 5.0, {97.0, 96.0});  // distance 5, pull 1
    EXPECT_NEAR(diagonal.dx, -0.6, 1e-12);
    EXPECT_NEAR(diagonal.dy, -0.8, 1e-12);

    EXPECT_EQ(pullAt(true, 2.0, {100.5, 100.5}), (Velocity{0.0, 0.0})) << "inside the dead zone";
    EXPECT_EQ(pullAt(true, 2.0, {101.0, 100.0}), (Velocity{0.0, 0.0})) << "at exactly 1 point";
    EXPECT_EQ(pullAt(true, 0.0, {110.0, 100.0}), (Velocity{0.0, 0.0})) << "strength 0";
    EXPECT_EQ(pullAt(false, 2.0, {110.0, 100.0}), (Velocity{0.0, 0.0})) << "disabled";

    // Bounced and clamped to 242: the pull is 1 / (250 - 242), not 1 / (250 - 245).
    runWithoutWaves(0, {240.0, 125.0}, {5.0, 0.0});
    runWithoutWaves(1, {230.0, 60.0});
    setMagnet(true, 1.0, {250.0, 125.0});
    sim.timerTick();
    EXPECT_EQ(ball(0).pos, (Point{242.0, 125.0}));
    EXPECT_NEAR(ball(0).vel.dx, -5.0 + 1.0 / 8.0, 1e-12);
    EXPECT_EQ(ball(1).vel, (Velocity{0.0, 0.0})) << "another ball's magnet does not act";
}

TEST_F(PhysicsTest, BallsSendInIndexOrderEvenOnOneParameter) {
    for (std::size_t i = 0; i < sim.balls().size(); ++i) {
        sim.toggleRunning(i);
    }
    edit(3, [](Ball& b) { b.assignedParam = 1; });
    sim.timerTick();
    std::vector<Sent> expected;
    for (const Ball& b : sim.balls()) {
        expected.push_back({b.assignedParam, valueOf(b.pos.x)});
    }
    EXPECT_EQ(sent(), expected);
}

TEST_F(PhysicsTest, NothingIsSentWithoutARunningBallOrADestination) {
    sim.toggleRunning(5);
    sim.editBall(9, [](Ball& b) { b.isRunning = true; });
    for (int i = 0; i < 3; ++i) {
        sim.timerTick();
    }
    EXPECT_EQ(sim.time(), 0.016666666666666666 + 0.016666666666666666 + 0.016666666666666666);
    EXPECT_EQ(sim.balls(), initialBalls()) << "an index outside the list changes nothing";

    auto manager = MidiManager::create(service, h.queue);
    PhysicsSimulation unconnected(*manager);
    unconnected.toggleRunning(0);
    unconnected.timerTick();
    EXPECT_NE(unconnected.balls()[0].pos, initialBalls()[0].pos) << "the ball still moves";
    EXPECT_TRUE(service->deliveries().empty());
}

TEST_F(PhysicsTest, DiceDrawsOnlyTheWaveFieldsInOrderFromClosedRangesAndSendsNothing) {
    constexpr std::uint64_t kTop = std::uint64_t{1} << 53;  // draws the top of a closed range
    constexpr std::uint64_t k = kTop / 8;
    std::deque<std::uint64_t> words;
    for (int i = 0; i < 4; ++i) {
        // waveTypeX, waveTypeY, then k/8 of each range for k = 1 ... 6.
        words.insert(words.end(), {1, 2, k, 2 * k, 3 * k, 4 * k, 5 * k, 6 * k});
    }
    words.insert(words.end(), {2, 0, kTop, kTop, kTop, kTop, kTop, kTop});
    test::ScriptedRandom random(words);
    sim.randomizeWaves(random);
    EXPECT_EQ(random.draws, 40);

    const auto withWaves = [](Ball b, WaveType x, WaveType y, std::array<double, 6> v) {
        b.waveTypeX = x;
        b.waveTypeY = y;
        std::tie(b.ampX, b.freqX, b.phaseX, b.ampY, b.freqY, b.phaseY) =
            std::tie(v[0], v[1], v[2], v[3], v[4], v[5]);
        return b;
    };
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ball(i), withWaves(initialBalls()[i], WaveType::square, WaveType::triangle,
                                     {5.0 / 8, 3.0 * 2 / 8, kTwoPi * 3 / 8, 5.0 * 4 / 8,
                                      3.0 * 5 / 8, kTwoPi * 6 / 8}));
    }
    EXPECT_EQ(ball(4), withWaves(initialBalls()[4], WaveType::triangle, WaveType::sine,
                                 {5.0, 3.0, kTwoPi, 5.0, 3.0, kTwoPi}));
    EXPECT_TRUE(service->deliveries().empty());
}

}  // namespace
}  // namespace tarnwell
