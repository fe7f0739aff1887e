#include <cstdint>

#include <gtest/gtest.h>

#include "physics/ball.hpp"
#include "physics/named_parameters.hpp"

namespace tarnwell {
namespace {

TEST(InitialBalls, FiveStoppedBallsOnParametersOneToFive) {
    const auto balls = initialBalls();
    ASSERT_EQ(balls.size(), 5u);
    for (std::size_t i = 0; i < balls.size(); ++i) {
        const Ball& b = balls[i];
        EXPECT_EQ(b.assignedParam, static_cast<std::int64_t>(i + 1));
        EXPECT_FALSE(b.isRunning);
        EXPECT_FALSE(b.magnetEnabled);
        EXPECT_EQ(b.magnetStrength, 0.0);
        EXPECT_EQ(b.magnetX, 125.0);
        EXPECT_EQ(b.magnetY, 125.0);
    }
    const Ball& green = balls[2];
    EXPECT_EQ(green.color, BallColor::green);
    EXPECT_EQ(green.pos, (Point{120.0, 90.0}));
    EXPECT_EQ(green.vel, (Size{2.0, -1.2}));
    EXPECT_EQ(green.waveTypeY, WaveType::sine);
    EXPECT_EQ(green.waveTypeX, WaveType::triangle);
    EXPECT_EQ(green.ampY, 3.0);
    EXPECT_EQ(green.phaseX, 1.0);
    EXPECT_EQ(balls[3].waveTypeY, WaveType::square);
    EXPECT_EQ(balls[4].color, BallColor::purple);
    EXPECT_EQ(balls[4].freqX, 0.8);
}

TEST(NamedNRPNs, FortyOneNamesInNumberOrder) {
    const auto& table = namedNRPNs();
    ASSERT_EQ(table.size(), 41u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].number, static_cast<std::int64_t>(i + 1));
    }
    EXPECT_EQ(table[0].name, "Odd harmonics A");
    EXPECT_EQ(table[2].name, "Harmonic partials A");
    EXPECT_EQ(table[9].name, "Harmonic tilt B");
    EXPECT_EQ(table[35].name, "Octave F");
    EXPECT_EQ(table[36].name, "regen left");
    EXPECT_EQ(table[40].name, "regen mix");

    EXPECT_EQ(assignedParamLabel(1), ": Odd harmonics A");
    EXPECT_EQ(assignedParamLabel(41), ": regen mix");
    EXPECT_EQ(assignedParamLabel(42), "Param #42");
    EXPECT_EQ(assignedParamLabel(0), "Param #0");
}

}  // namespace
}  // namespace tarnwell
