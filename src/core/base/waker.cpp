#include "core/base/waker.hpp"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tarnwell {

static_assert(std::atomic<Waker::Reasons>::is_always_lock_free,
              "wake must be async-signal-safe, so its atomic must be lock-free");

namespace {

bool setFlags(int fd) {
    const int status = fcntl(fd, F_GETFL);
    const int descriptor = fcntl(fd, F_GETFD);
    return status >= 0 && descriptor >= 0 && fcntl(fd, F_SETFL, status | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, descriptor | FD_CLOEXEC) == 0;
}

}  // namespace

Waker::Waker() {
    if (pipe(fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    if (!setFlags(fds_[0]) || !setFlags(fds_[1])) {
        close(fds_[0]);
        close(fds_[1]);
        fds_[0] = fds_[1] = -1;
    }
}

Waker::~Waker() {
    for (const int fd : fds_) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void Waker::wake(Reasons reasons) noexcept {
    // Only the first reason since the last take writes: the pipe holds at
    // most a byte or two and a burst of wakes costs one system call.
    if (pending_.fetch_or(reasons, std::memory_order_acq_rel) == 0 && fds_[1] >= 0) {
        const char byte = 1;
        const int saved = errno;  // a signal handler must leave errno as it was
        while (write(fds_[1], &byte, 1) < 0 && errno == EINTR) {
        }
        errno = saved;
        writes_.fetch_add(1, std::memory_order_relaxed);
    }
}

Waker::Reasons Waker::takeWatched() noexcept {
    if (fds_[0] >= 0) {
        drainPipe();
    }
    return take();
}

Waker::Reasons Waker::take() noexcept {
    return pending_.exchange(0, std::memory_order_acq_rel);
}

void Waker::drainPipe() noexcept {
    char buffer[64];
    while (read(fds_[0], buffer, sizeof buffer) > 0) {
    }
}

Waker::Reasons Waker::wait(std::optional<Clock::time_point> deadline) {
    while (true) {
        // Emptied before the reasons are read: a wake after this point sees
        // no reason pending and writes again, so the poll below returns.
        if (fds_[0] >= 0) {
            drainPipe();
        }
        if (const Reasons reasons = take(); reasons != 0) {
            wakeups_.fetch_add(1, std::memory_order_relaxed);
            return reasons;
        }
        int timeoutMs = -1;
        if (deadline) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                wakeups_.fetch_add(1, std::memory_order_relaxed);
                return 0;
            }
            timeoutMs =
                static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        }
        if (fds_[0] < 0) {
            constexpr int kStepMs = 10;
            std::this_thread::sleep_for(
                std::chrono::milliseconds(timeoutMs < 0 ? kStepMs : std::min(timeoutMs, kStepMs)));
            continue;
        }
        pollfd readable{fds_[0], POLLIN, 0};
        const int rc = poll(&readable, 1, timeoutMs);
        if (rc < 0 && errno != EINTR) {
            // Nothing sensible is left but not to spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

}  // namespace tarnwell
