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

// Two threads, as the main and JACK threads use it; a group is its size (1 to
// 15), then the next values of one count. The consumer mostly spins, so it
// often looks while a group is being stored: a ring that published a group in
// parts failed here in 20 runs of 20.
TEST(SpscRingTest, AProducerAndAConsumerThreadPassEveryGroupWholeAndInOrder) {
    constexpr std::uint32_t kGroups = 1000000;
    SpscQueue<std::uint32_t> ring(64);
    std::atomic<bool> producerDone{false};
    std::atomic<bool> consumerGaveUp{false};
    std::uint32_t refused = 0;
    std::thread producer([&] {
        std::vector<std::uint32_t> items;
        for (std::uint32_t g = 0, next = 0; g < kGroups; ++g) {
            for (items.assign(1, 1 + g % 15); items.size() < items[0];) {
                items.push_back(next++);
            }
            for (; !ring.pushAll(items); ++refused) {
                if (consumerGaveUp.load(std::memory_order_acquire)) {
                    return;
                }
                std::this_thread::yield();
            }
        }
        producerDone.store(true, std::memory_order_release);
    });

    std::uint32_t expected = 0;
    std::uint32_t groups = 0;
    std::uint32_t idle = 0;
    bool ordered = true;
    for (std::uint32_t round = 0; ordered; ++round) {
        const bool finished = producerDone.load(std::memory_order_acquire);
        const std::size_t ready = ring.readable();
        if (ready == 0 && finished) {
            break;
        }
        // Whole groups only, sometimes fewer than ready, so the ring fills up.
        std::size_t at = 0;
        for (std::uint32_t taken = 0; ordered && taken <= round % 5 && at < ready; ++taken) {
            const std::uint32_t size = ring.peek(at);
            ordered = size >= 1 && size <= 15 && at + size <= ready;  // else torn or in part
            for (std::uint32_t i = 1; ordered && i < size; ++i) {
                ordered = ring.peek(at + i) == expected++;
            }
            at += ordered ? size : 0;
            groups += ordered ? 1 : 0;
        }
        ring.commit(at);
        // Mostly spinning, to look while a group is being stored.
        if (ready == 0 && ++idle % 16384 == 0) {
            std::this_thread::yield();
        }
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
