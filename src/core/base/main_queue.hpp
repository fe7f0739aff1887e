#pragma once

#include <chrono>
#include <functional>

namespace tarnwell {

// The main thread's task queue. Everything that changes panel state runs on
// the main thread; work that must wait for the current turn to finish, or that
// arrives from another thread, is posted here.
//
// Contract: tasks run on the main thread, one at a time, in the order they were
// posted (delayed tasks in order of their due time). `post` and `postAfter` may
// be called from any thread.
class MainQueue {
public:
    using Task = std::function<void()>;

    virtual ~MainQueue() = default;
    virtual void post(Task task) = 0;
    virtual void postAfter(std::chrono::milliseconds delay, Task task) = 0;
};

}  // namespace tarnwell
