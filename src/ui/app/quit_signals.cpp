#include "ui/app/quit_signals.hpp"

#include <array>
#include <cerrno>
#include <csignal>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace tarnwell {

namespace {

// SIGHUP: the terminal the panel was started from has closed.
constexpr std::array<int, 3> kQuitSignals = {SIGTERM, SIGINT, SIGHUP};

volatile std::sig_atomic_t writeFd = -1;
std::array<struct sigaction, kQuitSignals.size()> previousActions{};

void onQuitSignal(int signal) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    // The socket is non-blocking: with its buffer full a quit is already on
    // its way, and the byte is not needed.
    [[maybe_unused]] const ssize_t written = ::write(writeFd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    writeFd = fds_[1];
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::readSignals);

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kQuitSignals.size(); ++i) {
        ::sigaction(kQuitSignals[i], &action, &previousActions[i]);
    }
}

QuitOnSignals::~QuitOnSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    // The handlers go before the socket, so none writes to a closed (or
    // reused) descriptor.
    for (std::size_t i = 0; i < kQuitSignals.size(); ++i) {
        ::sigaction(kQuitSignals[i], &previousActions[i], nullptr);
    }
    writeFd = -1;
    delete notifier_;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void QuitOnSignals::readSignals() {
    std::array<char, 64> bytes{};
    ssize_t n = 0;
    do {
        n = ::read(fds_[0], bytes.data(), bytes.size());
    } while (n > 0);
    QCoreApplication::quit();
}

}  // namespace tarnwell
