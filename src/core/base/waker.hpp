#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace tarnwell {

// Wakes one waiting thread for one or more reasons, each a bit the owner
// defines. Any thread may wake it, including a JACK process callback and a
// callback that must be as safe as a signal handler: `wake` sets its bits
// with one lock-free atomic operation and, when no reason was pending, writes
// one byte to a pipe. Both are async-signal-safe; neither blocks, locks or
// allocates.
//
// The waiting thread sleeps in `wait` with no timeout of its own, so a thread
// with nothing to do never wakes. Reasons that arrive together are taken
// together; a reason set while the waiter is busy is kept for its next wait.
//
// Threading: `wake` from any thread; `wait` and `take` from one thread.
class Waker {
public:
    using Reasons = std::uint32_t;
    using Clock = std::chrono::steady_clock;

    Waker();
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    void wake(Reasons reasons) noexcept;

    // Blocks until a reason is pending or `deadline` (when given) has passed,
    // then returns and clears the pending reasons: 0 only at the deadline.
    Reasons wait(std::optional<Clock::time_point> deadline = std::nullopt);
    // Returns and clears the pending reasons without waiting.
    Reasons take() noexcept;

    // For a waiter that sleeps in its own loop (an event loop watching `fd`)
    // rather than in `wait`: empties the pipe, then returns and clears the
    // pending reasons. A wake after the emptying writes again, so the
    // descriptor turns readable again and no wake is lost.
    Reasons takeWatched() noexcept;
    // The read end: readable while a reason may be pending. -1 when no pipe
    // could be made; a watcher must then look on its own.
    [[nodiscard]] int fd() const { return fds_[0]; }

    // How often `wait` has returned: a thread's wake-ups, for tests.
    [[nodiscard]] std::uint64_t wakeups() const { return wakeups_.load(); }
    // How often `wake` wrote to the pipe: a watcher's wake-ups.
    [[nodiscard]] std::uint64_t writes() const { return writes_.load(); }

private:
    void drainPipe() noexcept;

    std::atomic<Reasons> pending_{0};
    std::atomic<std::uint64_t> wakeups_{0};
    std::atomic<std::uint64_t> writes_{0};
    // Read end, write end; both non-blocking. -1 when no pipe could be made:
    // `wait` then sleeps in short steps, the only way left to notice a wake.
    int fds_[2] = {-1, -1};
};

}  // namespace tarnwell
