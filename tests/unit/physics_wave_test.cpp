#include <numbers>

#include <gtest/gtest.h>

#include "core/physics/named_parameters.hpp"
#include "core/physics/wave.hpp"

namespace tarnwell {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(WaveType, OnlyTheExactRawValuesConstructACase) {
    for (const WaveType type : kAllWaveTypes) {
        EXPECT_EQ(waveTypeFromRaw(rawValue(type)), type);
    }
    EXPECT_EQ(rawValue(WaveType::triangle), "Triangle");
    for (const char* raw : {"sine", "Sine ", " Sine", "SINE", "", "Triangles"}) {
        EXPECT_FALSE(waveTypeFromRaw(raw)) << '"' << raw << '"';
    }
}

TEST(WaveValue, ShapesStartAtZeroPlusOneAndMinusOneAndFrequencyZeroHoldsThePhase) {
    for (const double freq : {0.0, 2.7}) {
        EXPECT_EQ(waveValue(WaveType::sine, 0.0, freq, 0.0), 0.0);
        EXPECT_EQ(waveValue(WaveType::square, 0.0, freq, 0.0), 1.0);
        EXPECT_EQ(waveValue(WaveType::triangle, 0.0, freq, 0.0), -1.0);
    }
    EXPECT_EQ(waveValue(WaveType::square, 1.0, 1.0, kPi + 0.01), -1.0);
    for (const WaveType type : kAllWaveTypes) {
        EXPECT_EQ(waveValue(type, 1234.5, 0.0, 0.8), waveValue(type, 0.0, 1.0, 0.8));
    }
}

TEST(WaveValue, TriangleIsPeriodicOnBothSidesOfZero) {
    EXPECT_NEAR(waveValue(WaveType::triangle, kPi, 1.0, 0.0), 1.0, 1e-12);
    EXPECT_NEAR(waveValue(WaveType::triangle, kPi / 2, 1.0, 0.0), 0.0, 1e-12);
    EXPECT_NEAR(waveValue(WaveType::triangle, 3 * kPi / 2, 1.0, 0.0), 0.0, 1e-12);
    EXPECT_NEAR(waveValue(WaveType::triangle, -kPi / 2, 1.0, 0.0), 0.0, 1e-12);
    // A truncating remainder in place of the floor leaves [-1, 1] here.
    for (const double angle : {-0.3, -2.0, -7.5, -40.0}) {
        const double v = waveValue(WaveType::triangle, angle, 1.0, 0.0);
        EXPECT_NEAR(v, waveValue(WaveType::triangle, angle + 6 * kPi, 1.0, 0.0), 1e-9) << angle;
    }
}

TEST(NamedNRPNs, FortyOneNamesInNumberOrderAndTheirLabels) {
    const auto& table = namedNRPNs();
    ASSERT_EQ(table.size(), 41u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].number, static_cast<std::int64_t>(i + 1));
    }
    EXPECT_EQ(table[2].name, "Harmonic partials A");
    EXPECT_EQ(table[9].name, "Harmonic tilt B");
    EXPECT_EQ(table[35].name, "Octave F");
    EXPECT_EQ(table[36].name, "regen left");
    EXPECT_EQ(assignedParamLabel(42), "Param #42");
}

}  // namespace
}  // namespace tarnwell
