#include "core/midi/spsc_ring.hpp"

#include <vector>

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

std::vector<RingEvent> group(std::uint32_t first, std::size_t count) {
    std::vector<RingEvent> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i].bytes = {static_cast<std::uint8_t>(first + i), 0, 0};
    }
    return out;
}

TEST(SpscRingTest, GroupsAreStoredWholeOrNotAtAllAndUncommittedEventsStayFirst) {
    SpscRing ring(8);
    EXPECT_TRUE(ring.pushAll(group(0, 4)));
    EXPECT_TRUE(ring.pushAll(group(4, 3)));
    EXPECT_FALSE(ring.pushAll(group(7, 2))) << "one slot left, two needed";
    EXPECT_EQ(ring.readable(), 7u) << "a refused group leaves nothing behind";
    EXPECT_FALSE(ring.pushAll(group(0, 9))) << "larger than the ring";

    // Across many wraps, a consumer that looks at more than it takes.
    std::uint8_t next = 7;
    std::uint8_t expected = 0;
    for (int round = 0; round < 50; ++round) {
        for (int pushes = 0; pushes < 3 && ring.pushAll(group(next, 3)); ++pushes) {
            next = static_cast<std::uint8_t>(next + 3);
        }
        const std::size_t looked = ring.readable();
        for (std::size_t i = 0; i < looked; ++i) {
            ASSERT_EQ(ring.peek(i).bytes[0], static_cast<std::uint8_t>(expected + i)) << round;
        }
        const std::size_t taken = 1 + static_cast<std::size_t>(round) % looked;
        ring.commit(taken);
        expected = static_cast<std::uint8_t>(expected + taken);
    }
    EXPECT_EQ(ring.discardAll(), static_cast<std::uint8_t>(next - expected));
    EXPECT_EQ(ring.readable(), 0u);
}

}  // namespace
}  // namespace tarnwell
