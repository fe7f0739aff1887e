#include "testing/manual_queue.hpp"

#include <utility>

namespace tarnwell {

void ManualQueue::post(Task task) {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(task));
}

void ManualQueue::postAfter(std::chrono::milliseconds delay, Task task) {
    std::lock_guard lock(mutex_);
    delayed_.emplace(now_ + delay, std::move(task));
}

bool ManualQueue::runOne() {
    Task task;
    {
        std::lock_guard lock(mutex_);
        if (ready_.empty()) {
            return false;
        }
        task = std::move(ready_.front());
        ready_.pop_front();
    }
    task();
    return true;
}

std::size_t ManualQueue::runPending() {
    std::size_t ran = 0;
    while (runOne()) {
        ++ran;
    }
    return ran;
}

std::size_t ManualQueue::advance(std::chrono::milliseconds by) {
    std::size_t ran = runPending();
    const auto until = now() + by;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            auto first = delayed_.begin();
            if (first == delayed_.end() || first->first > until) {
                now_ = until;
                break;
            }
            now_ = first->first;
            task = std::move(first->second);
            delayed_.erase(first);
        }
        task();
        ++ran;
        ran += runPending();
    }
    return ran;
}

std::size_t ManualQueue::pendingCount() const {
    std::lock_guard lock(mutex_);
    return ready_.size() + delayed_.size();
}

std::chrono::milliseconds ManualQueue::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

}  // namespace tarnwell
