#include "core/midi/nrpn.hpp"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using Bytes = std::vector<unsigned>;

Bytes encoded(std::int64_t value, std::int64_t parameter, int channel = 0) {
    const NrpnBytes b = encodeNRPN(value, parameter, channel);
    return Bytes(b.begin(), b.end());
}

struct Golden {
    std::int64_t parameter;
    std::int64_t value;
    int channel;
    Bytes bytes;
};

TEST(NrpnEncoding, GoldenSequences) {
    const std::vector<Golden> cases = {
        {1, 300, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x01, 0xB0, 0x06, 0x02, 0xB0, 0x26, 0x2C}},
        {41, 16383, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x29, 0xB0, 0x06, 0x7F, 0xB0, 0x26, 0x7F}},
        {100, 127, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x64, 0xB0, 0x06, 0x00, 0xB0, 0x26, 0x7F}},
        {134, 134, 0, {0xB0, 0x63, 0x01, 0xB0, 0x62, 0x06, 0xB0, 0x06, 0x01, 0xB0, 0x26, 0x06}},
        // Value and parameter swapped in the argument list give other bytes.
        {300, 200, 0, {0xB0, 0x63, 0x02, 0xB0, 0x62, 0x2C, 0xB0, 0x06, 0x01, 0xB0, 0x26, 0x48}},
        // Bits above 13 are dropped, not carried.
        {37, 16384, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x25, 0xB0, 0x06, 0x00, 0xB0, 0x26, 0x00}},
        {1, -1, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x01, 0xB0, 0x06, 0x7F, 0xB0, 0x26, 0x7F}},
        // Channel keeps only its low four bits: 17 is channel 1.
        {1, 300, 17, {0xB1, 0x63, 0x00, 0xB1, 0x62, 0x01, 0xB1, 0x06, 0x02, 0xB1, 0x26, 0x2C}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encoded(c.value, c.parameter, c.channel), c.bytes)
            << "parameter " << c.parameter << " value " << c.value << " channel " << c.channel;
    }
}

TEST(NrpnValue, TruncatesInsideTheRangeAndClampsHostileValuesInsteadOfWrapping) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, std::int64_t>> cases = {
        {100.7, 100}, {5000.4, 5000},   {16383.0, 16383}, {16382.999, 16382},
        {0.9, 0},     {16384.0, 16383}, {1e300, 16383},   {inf, 16383},
        {-0.5, 0},    {-1e300, 0},      {-inf, 0},        {std::nan(""), 0},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(nrpnValueFromDouble(value), expected) << value;
    }
}

}  // namespace
}  // namespace tarnwell
