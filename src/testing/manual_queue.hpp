#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>

#include "core/base/main_queue.hpp"
#include "core/base/time_source.hpp"

namespace tarnwell {

// A main queue that runs nothing until told to, so tests can observe the state
// before and after deferred work. Time for delayed tasks is virtual and moves
// only through `advance`.
class ManualQueue final : public MainQueue {
public:
    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;

    // Runs queued tasks until none is left, including tasks they post.
    // Returns how many ran.
    std::size_t runPending();
    // Moves virtual time forward, running delayed tasks as they fall due (each
    // followed by the immediate tasks it posts). Returns how many tasks ran.
    std::size_t advance(std::chrono::milliseconds by);

    [[nodiscard]] std::size_t pendingCount() const;
    [[nodiscard]] std::chrono::milliseconds now() const;

private:
    bool runOne();

    mutable std::mutex mutex_;
    std::deque<Task> ready_;
    std::multimap<std::chrono::milliseconds, Task> delayed_;
    std::chrono::milliseconds now_{0};
};

// The virtual time of a manual queue as a clock, so code that both reads a
// clock and posts delayed tasks sees one time line.
class ManualQueueTime final : public TimeSource {
public:
    explicit ManualQueueTime(const ManualQueue& queue) : queue_(queue) {}
    [[nodiscard]] std::chrono::nanoseconds now() const override { return queue_.now(); }

private:
    const ManualQueue& queue_;
};

}  // namespace tarnwell
