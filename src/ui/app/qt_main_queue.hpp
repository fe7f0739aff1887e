#pragma once

#include <QObject>
#include <QPointer>

#include "core/base/main_queue.hpp"

namespace tarnwell {

// The main queue on the Qt event loop. Tasks are delivered as queued events to
// an object living on the main thread, so they run in the order posted, after
// the current event has been handled. Posting is safe from any thread; tasks
// still pending when the queue is destroyed are dropped.
class QtMainQueue final : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;
    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;

    // Runs at once the tasks posted so far (and those they post), for the
    // time after the event loop has ended; delayed tasks are not run.
    void runPosted();

private:
    QObject* context_;
};

}  // namespace tarnwell
