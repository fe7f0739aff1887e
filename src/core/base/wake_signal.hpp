#pragma once

#include "core/base/waker.hpp"

namespace tarnwell {

// Tells the main thread that something is ready for it, from any thread,
// including a MIDI system's real-time callback: `notify` neither blocks, locks
// nor allocates (see Waker). The main loop watches `fd` (readable means
// notified) and calls `take` before it looks at what is ready, so a
// notification that arrives while it works is never lost: it makes the
// descriptor readable again.
//
// Without a pipe (the system refused one) `fd` is -1 and the owner must look
// on its own; `take` still reports notifications.
//
// Threading: `notify` from any thread; `take` and `fd` on one thread.
class WakeSignal {
public:
    void notify() noexcept { waker_.wake(1); }
    // Clears the notification; returns whether there was one.
    bool take() noexcept { return waker_.takeWatched() != 0; }
    [[nodiscard]] int fd() const { return waker_.fd(); }
    // How often the watcher was woken.
    [[nodiscard]] unsigned long long wakeups() const { return waker_.writes(); }

private:
    Waker waker_;
};

}  // namespace tarnwell
