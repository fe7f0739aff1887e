#include "core/midi/spsc_ring.hpp"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>
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

// A real producer and consumer thread, as the main thread and the JACK process
// thread use the ring: groups of varied size pushed while the consumer peeks
// at and commits a varied share of what it sees, across many wraps of a small
// ring. Every value arrives once, in order, and a group is never seen in part.
TEST(SpscRingTest, AProducerAndAConsumerThreadPassEveryGroupWholeAndInOrder) {
    constexpr std::uint32_t kGroups = 200000;
    SpscQueue<std::uint32_t> ring(64);
    std::atomic<bool> producerDone{false};
    std::atomic<bool> consumerGaveUp{false};
    std::uint32_t refused = 0;

    std::thread producer([&] {
        std::vector<std::uint32_t> items;
        std::uint32_t next = 0;
        for (std::uint32_t g = 0; g < kGroups; ++g) {
            // Each group starts with its size, then counts on: size, n, n+1, ...
            const std::uint32_t size = 1 + g % 7;
            items.assign(1, size);
            for (std::uint32_t i = 1; i < size; ++i) {
                items.push_back(next++);
            }
            while (!ring.pushAll(items)) {
                if (consumerGaveUp.load(std::memory_order_acquire)) {
                    return;
                }
                ++refused;
                std::this_thread::yield();
            }
        }
        producerDone.store(true, std::memory_order_release);
    });

    std::uint32_t expected = 0;
    std::uint32_t groups = 0;
    std::uint32_t round = 0;
    bool ordered = true;
    while (ordered) {
        const bool finished = producerDone.load(std::memory_order_acquire);
        std::size_t ready = ring.readable();
        if (ready == 0) {
            if (finished) {
                break;
            }
            std::this_thread::yield();
            continue;
        }
        // Take only whole groups, and sometimes fewer than are ready, so the
        // consumer lags and the producer meets a full ring.
        std::size_t at = 0;
        const std::uint32_t wanted = 1 + ++round % 5;
        for (std::uint32_t taken = 0; taken < wanted && at < ready; ++taken) {
            const std::uint32_t size = ring.peek(at);
            if (size < 1 || size > 7 || at + size > ready) {
                ordered = false;  // a group seen in part, or a torn slot
                break;
            }
            for (std::uint32_t i = 1; i < size; ++i) {
                if (ring.peek(at + i) != expected++) {
                    ordered = false;
                }
            }
            at += size;
            ++groups;
        }
        ring.commit(at);
    }
    consumerGaveUp.store(true, std::memory_order_release);
    producer.join();
    ASSERT_TRUE(ordered) << "after " << groups << " groups";
    EXPECT_EQ(groups, kGroups);
    EXPECT_EQ(ring.readable(), 0u);
    std::printf("the producer met a full ring %u times\n", refused);
}

}  // namespace
}  // namespace tarnwell
