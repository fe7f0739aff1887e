#pragma once

#include <QObject>

class QSocketNotifier;

namespace tarnwell {

// Turns SIGTERM, SIGINT and SIGHUP into QCoreApplication::quit(), so that a signal
// ends the program the way closing its window does.
//
// The handler only writes the signal's number to a socket pair, which is
// async-signal-safe; the main thread reads it through a QSocketNotifier. A
// signal that arrives before the event loop runs is acted on once it does.
// The handler gives way to the default action after its first signal, so a
// second signal still ends a program that hangs while quitting.
//
// One instance at a time, made and destroyed on the main thread; destroying
// it restores the handlers that were installed before.
class QuitOnSignals final : public QObject {
public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

    // False when the socket pair could not be made; signals then keep their
    // earlier handling.
    [[nodiscard]] bool installed() const { return notifier_ != nullptr; }

private:
    void readSignals();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tarnwell
