#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tarnwell {

// One slot of the send ring: a 3-byte channel message, or a marker the
// consumer interprets (the JACK service uses markers to switch destinations in
// stream order). `marker` is 0 for a message.
struct RingEvent {
    std::array<std::uint8_t, 3> bytes{};
    std::uint8_t marker = 0;

    friend bool operator==(const RingEvent&, const RingEvent&) = default;
};

// A lock-free single-producer single-consumer ring of fixed-size records `T`
// (trivially copyable; the send path uses RingEvent, the controller input its
// own record).
//
// Contract:
// - Exactly one thread at a time acts as producer (pushAll) and one as
//   consumer (readable, peek, commit, discardAll). The roles may move to
//   another thread only across a synchronisation point (thread start or join,
//   a mutex, or a client activation that starts the consumer thread).
// - pushAll stores a whole group or nothing: the consumer never sees part of a
//   group it has not been able to see whole. It never blocks and never
//   allocates.
// - The consumer looks at events in order with peek and removes them only by
//   commit, so an event it cannot deliver now stays first in line.
// - readable() and the const observers may be called from any thread; from a
//   thread that is neither producer nor consumer the answer is approximate.
template <typename T>
class SpscQueue {
public:
    // Capacity is rounded up to a power of two, at least 2.
    explicit SpscQueue(std::size_t minCapacity)
        : capacity_(std::bit_ceil(minCapacity < 2 ? std::size_t{2} : minCapacity)),
          mask_(capacity_ - 1),
          slots_(std::make_unique<T[]>(capacity_)) {}

    SpscQueue(const SpscQueue&) = delete;
    SpscQueue& operator=(const SpscQueue&) = delete;

    [[nodiscard]] std::size_t capacity() const { return capacity_; }

    // Producer. Appends all of `events` or, when they do not all fit, none.
    bool pushAll(std::span<const T> events) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        if (capacity_ - (head - tail) < events.size()) {
            return false;
        }
        for (std::size_t i = 0; i < events.size(); ++i) {
            slots_[(head + i) & mask_] = events[i];
        }
        head_.store(head + events.size(), std::memory_order_release);
        return true;
    }

    // Consumer: how many events are ready, in order, starting at peek(0).
    // Other threads get an estimate: the tail is read first, so the head read
    // after it is never behind it and the count never wraps.
    [[nodiscard]] std::size_t readable() const {
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        return head_.load(std::memory_order_acquire) - tail;
    }

    // Consumer: the event `offset` places after the oldest; offset < readable().
    [[nodiscard]] const T& peek(std::size_t offset) const {
        return slots_[(tail_.load(std::memory_order_relaxed) + offset) & mask_];
    }

    // Consumer: removes the `count` oldest events; count <= readable().
    void commit(std::size_t count) {
        tail_.store(tail_.load(std::memory_order_relaxed) + count, std::memory_order_release);
    }

    // Consumer: removes every event readable now. Returns how many.
    std::size_t discardAll() {
        const std::size_t count = readable();
        commit(count);
        return count;
    }

private:
    const std::size_t capacity_;
    const std::size_t mask_;
    std::unique_ptr<T[]> slots_;
    // Monotonic positions; the slot index is position & mask_. Kept on separate
    // cache lines so producer and consumer do not share one.
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

using SpscRing = SpscQueue<RingEvent>;

}  // namespace tarnwell
