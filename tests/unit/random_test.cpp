#include "core/base/random.hpp"

#include <array>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "support/scripted_random.hpp"

namespace tarnwell {
namespace {

using test::ScriptedRandom;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kTop = std::uint64_t{1} << 53;

TEST(Random, RejectsTheBiasedRemainderAndDrawsAgain) {
    // 2^64 mod 3 = 1, so exactly the top word lies in the incomplete block.
    ScriptedRandom random({kMax, kMax - 1});
    EXPECT_EQ(uniformInclusive(random, 2), (kMax - 1) % 3);
    EXPECT_EQ(random.draws, 2);
}

TEST(Random, ClosedRangeReachesBothEnds) {
    // count = 2^53 + 1; the largest accepted word maps to r = 2^53.
    const std::uint64_t count = kTop + 1;
    const std::uint64_t remainder = (kMax % count + 1) % count;
    const std::uint64_t lastAccepted = kMax - remainder;
    ASSERT_EQ(lastAccepted % count, kTop);

    ScriptedRandom top({lastAccepted});
    EXPECT_EQ(uniformClosed(top, 0.0, 16383.0), 16383.0);
    ScriptedRandom bottom({0});
    EXPECT_EQ(uniformClosed(bottom, 0.0, 16383.0), 0.0);
    ScriptedRandom half({kTop / 2});
    EXPECT_EQ(uniformClosed(half, 0.0, 16383.0), 16383.0 / 2);
}

TEST(Random, SystemSourceSpreadsOverTheRange) {
    SystemRandom random;
    std::array<int, 3> counts{};
    double lo = 1e9;
    double hi = -1e9;
    for (int i = 0; i < 30000; ++i) {
        ++counts[uniformIndex(random, 3)];
        const double v = uniformClosed(random, 0.0, 5.0);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    for (int c : counts) {
        EXPECT_GT(c, 9000);  // expectation 10000, sigma ~82
    }
    EXPECT_GE(lo, 0.0);
    EXPECT_LE(hi, 5.0);
    EXPECT_LT(lo, 0.01);
    EXPECT_GT(hi, 4.99);
}

}  // namespace
}  // namespace tarnwell
