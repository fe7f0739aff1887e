#include "core/midi/spsc_ring.hpp"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

RingEvent message(std::uint32_t n) {
    RingEvent e;
    e.bytes = {static_cast<std::uint8_t>(n & 0xFF), static_cast<std::uint8_t>((n >> 8) & 0xFF),
               static_cast<std::uint8_t>((n >> 16) & 0xFF)};
    return e;
}

std::uint32_t number(const RingEvent& e) {
    return e.bytes[0] | (e.bytes[1] << 8) | (e.bytes[2] << 16);
}

std::vector<RingEvent> group(std::uint32_t first, std::size_t count) {
    std::vector<RingEvent> out;
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(message(first + static_cast<std::uint32_t>(i)));
    }
    return out;
}

TEST(SpscRingTest, AGroupIsStoredWholeOrNotAtAll) {
    SpscRing ring(8);
    EXPECT_TRUE(ring.pushAll(group(0, 4)));
    EXPECT_TRUE(ring.pushAll(group(4, 3)));
    EXPECT_FALSE(ring.pushAll(group(7, 2))) << "one slot left, two needed";
    EXPECT_EQ(ring.readable(), 7u) << "a refused group leaves nothing behind";
    EXPECT_TRUE(ring.pushAll(group(7, 1)));
    EXPECT_FALSE(ring.pushAll(group(8, 1)));
    EXPECT_FALSE(ring.pushAll(group(0, 9))) << "larger than the ring";
}

TEST(SpscRingTest, UncommittedEventsStayFirstInLineAcrossTheWrap) {
    SpscRing ring(8);
    std::uint32_t next = 0;
    std::uint32_t expected = 0;
    for (int round = 0; round < 50; ++round) {
        while (ring.pushAll(group(next, 3))) {
            next += 3;
        }
        // Look at more than is taken, as a consumer whose output refuses part.
        const std::size_t looked = ring.readable();
        for (std::size_t i = 0; i < looked; ++i) {
            EXPECT_EQ(number(ring.peek(i)), expected + i);
        }
        const std::size_t taken = 1 + static_cast<std::size_t>(round) % looked;
        ring.commit(taken);
        expected += static_cast<std::uint32_t>(taken);
        if (ring.readable() > 0) {
            EXPECT_EQ(number(ring.peek(0)), expected) << "round " << round;
        }
    }
    EXPECT_EQ(ring.discardAll(), next - expected);
    EXPECT_EQ(ring.readable(), 0u);
}

TEST(SpscRingTest, ConsumerOnAnotherThreadSeesWholeGroupsInOrder) {
    SpscRing ring(64);
    constexpr std::uint32_t kGroups = 20000;
    std::thread producer([&] {
        for (std::uint32_t g = 0; g < kGroups;) {
            if (ring.pushAll(group(g * 4, 4))) {
                ++g;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::uint32_t consumed = 0;
    bool wholeGroups = true;
    bool inOrder = true;
    std::size_t step = 1;
    while (consumed < kGroups * 4) {
        const std::size_t ready = ring.readable();
        wholeGroups = wholeGroups && (consumed + ready) % 4 == 0;
        const std::size_t take = std::min(ready, step);
        for (std::size_t i = 0; i < take; ++i) {
            inOrder = inOrder && number(ring.peek(i)) == ((consumed + i) & 0xFFFFFF);
        }
        ring.commit(take);
        consumed += static_cast<std::uint32_t>(take);
        step = step % 7 + 1;
    }
    producer.join();
    EXPECT_TRUE(wholeGroups) << "the consumer saw part of a group";
    EXPECT_TRUE(inOrder);
}

}  // namespace
}  // namespace tarnwell
