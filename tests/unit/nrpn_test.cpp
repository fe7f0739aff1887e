#include "core/midi/nrpn.hpp"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

TEST(NrpnEncoding, GoldenSequences) {
    struct Golden {
        std::int64_t parameter;
        std::int64_t value;
        int channel;
        std::vector<unsigned> bytes;
    };
    const std::vector<Golden> cases = {
        {1, 300, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x01, 0xB0, 0x06, 0x02, 0xB0, 0x26, 0x2C}},
        {134, 134, 0, {0xB0, 0x63, 0x01, 0xB0, 0x62, 0x06, 0xB0, 0x06, 0x01, 0xB0, 0x26, 0x06}},
        // Bits above 13 are dropped, not carried.
        {37, 16384, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x25, 0xB0, 0x06, 0x00, 0xB0, 0x26, 0x00}},
        // Channel keeps only its low four bits: 17 is channel 1.
        {1, 300, 17, {0xB1, 0x63, 0x00, 0xB1, 0x62, 0x01, 0xB1, 0x06, 0x02, 0xB1, 0x26, 0x2C}},
    };
    for (const auto& c : cases) {
        const NrpnBytes b = encodeNRPN(c.value, c.parameter, c.channel);
        EXPECT_EQ(std::vector<unsigned>(b.begin(), b.end()), c.bytes) << c.parameter;
    }
}

TEST(NrpnValue, TruncatesInsideTheRangeAndClampsHostileValuesInsteadOfWrapping) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, std::int64_t>> cases = {
        {100.7, 100}, {16382.999, 16382}, {16384.0, 16383},  {inf, 16383},
        {-0.5, 0},    {-inf, 0},          {std::nan(""), 0},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(nrpnValueFromDouble(value), expected) << value;
    }
}

}  // namespace
}  // namespace tarnwell
