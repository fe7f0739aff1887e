#pragma once

#include <mutex>
#include <utility>

#include "core/midi/midi_service.hpp"

namespace tarnwell {

// Holds a service's setup-changed handler. `set` runs on the main thread while
// `notify` runs on whatever thread the service learns of a change. The handler
// runs under the lock, so once `set({})` has returned the previous handler is
// not running and will not be called again.
class SetupChangedRelay {
public:
    void set(MidiService::SetupChangedHandler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

    void notify() {
        std::lock_guard lock(mutex_);
        if (handler_) {
            handler_();
        }
    }

private:
    std::mutex mutex_;
    MidiService::SetupChangedHandler handler_;
};

}  // namespace tarnwell
