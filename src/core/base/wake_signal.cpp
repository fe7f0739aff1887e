#include "core/base/wake_signal.hpp"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tarnwell {

WakeSignal::WakeSignal() {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    for (const int fd : fds) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    fds_[0] = fds[0];
    fds_[1] = fds[1];
}

WakeSignal::~WakeSignal() {
    for (const int fd : fds_) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void WakeSignal::notify() noexcept {
    if (pending_.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    if (fds_[1] >= 0) {
        const unsigned char byte = 1;
        // A full pipe already wakes the reader; nothing else can go wrong
        // that the reader could act on.
        [[maybe_unused]] const auto written = write(fds_[1], &byte, 1);
        wakeups_.fetch_add(1, std::memory_order_relaxed);
    }
}

bool WakeSignal::take() noexcept {
    if (fds_[0] >= 0) {
        unsigned char buffer[64];
        while (read(fds_[0], buffer, sizeof buffer) > 0) {
        }
    }
    return pending_.exchange(false, std::memory_order_acq_rel);
}

}  // namespace tarnwell
