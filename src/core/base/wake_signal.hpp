#pragma once

#include <atomic>

namespace tarnwell {

// Tells the main thread that something is ready for it, from any thread,
// including a MIDI system's real-time callback: `notify` sets a flag with one
// lock-free atomic operation and, only when the flag was clear, writes one
// byte to a pipe. Neither blocks, locks or allocates. The main loop watches
// `fd` (readable means notified) and calls `take` before it looks at what is
// ready, so a notification that arrives while it works is never lost: it
// makes the descriptor readable again.
//
// Without a pipe (the system refused one) `fd` is -1 and the owner must look
// on its own; `take` still reports notifications.
//
// Threading: `notify` from any thread; `take` and `fd` on one thread.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void notify() noexcept;
    // Clears the notification; returns whether there was one.
    bool take() noexcept;
    [[nodiscard]] int fd() const { return fds_[0]; }
    // Bytes written to the pipe so far: how often the watcher was woken.
    [[nodiscard]] unsigned long long wakeups() const { return wakeups_.load(); }

private:
    std::atomic<bool> pending_{false};
    std::atomic<unsigned long long> wakeups_{0};
    int fds_[2] = {-1, -1};  // read end, write end; both non-blocking
};

}  // namespace tarnwell
