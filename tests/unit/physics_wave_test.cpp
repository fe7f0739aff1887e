#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "physics/wave.hpp"

namespace tarnwell {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(WaveType, RawValuesAreExactAndNothingElseIsAccepted) {
    ASSERT_EQ(kAllWaveTypes.size(), 3u);
    EXPECT_EQ(static_cast<int>(kAllWaveTypes[0]), 0);
    EXPECT_EQ(static_cast<int>(kAllWaveTypes[2]), 2);
    EXPECT_EQ(sizeof(WaveType), 1u);
    for (const char* raw : {"Sine", "Square", "Triangle"}) {
        const auto type = waveTypeFromRaw(raw);
        ASSERT_TRUE(type) << raw;
        EXPECT_EQ(rawValue(*type), raw);
    }
    EXPECT_EQ(waveTypeFromRaw("Square"), WaveType::square);
    for (const char* raw : {"sine", "Sine ", " Sine", "SINE", "", "Sin", "Triangles"}) {
        EXPECT_FALSE(waveTypeFromRaw(raw)) << '"' << raw << '"';
    }
}

TEST(WaveValue, AtAngleZeroTheShapesStartAtZeroPlusOneAndMinusOne) {
    for (const double freq : {0.0, 1.0, 2.7}) {
        EXPECT_EQ(waveValue(WaveType::sine, 0.0, freq, 0.0), 0.0);
        EXPECT_EQ(waveValue(WaveType::square, 0.0, freq, 0.0), 1.0);
        EXPECT_EQ(waveValue(WaveType::triangle, 0.0, freq, 0.0), -1.0);
    }
    EXPECT_EQ(waveValue(WaveType::square, 1.0, 1.0, kPi + 0.01), -1.0);
}

TEST(WaveValue, TriangleIsPeriodicOnBothSidesOfZero) {
    EXPECT_NEAR(waveValue(WaveType::triangle, kPi, 1.0, 0.0), 1.0, 1e-12);
    EXPECT_NEAR(waveValue(WaveType::triangle, kPi / 2, 1.0, 0.0), 0.0, 1e-12);
    EXPECT_NEAR(waveValue(WaveType::triangle, 3 * kPi / 2, 1.0, 0.0), 0.0, 1e-12);
    // A truncating remainder instead of the floor leaves [-1, 1] here.
    for (const double angle : {-0.3, -kPi / 2, -2.0, -7.5, -40.0}) {
        const double v = waveValue(WaveType::triangle, angle, 1.0, 0.0);
        EXPECT_GE(v, -1.0);
        EXPECT_LE(v, 1.0);
        EXPECT_NEAR(v, waveValue(WaveType::triangle, angle + 2 * kPi, 1.0, 0.0), 1e-9) << angle;
        EXPECT_NEAR(v, waveValue(WaveType::triangle, angle + 6 * kPi, 1.0, 0.0), 1e-9) << angle;
    }
    EXPECT_NEAR(waveValue(WaveType::triangle, -kPi / 2, 1.0, 0.0), 0.0, 1e-12);
}

TEST(WaveValue, FrequencyZeroHoldsEachShapeAtItsPhase) {
    for (const WaveType type : kAllWaveTypes) {
        for (const double phase : {0.0, 0.8, 4.0}) {
            EXPECT_EQ(waveValue(type, 1234.5, 0.0, phase), waveValue(type, 0.0, 1.0, phase));
        }
    }
}

}  // namespace
}  // namespace tarnwell
