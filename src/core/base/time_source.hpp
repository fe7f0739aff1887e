#pragma once

#include <chrono>

namespace tarnwell {

// Monotonic time as a duration since an arbitrary, fixed origin. Injected
// wherever the core measures time, so tests run on a clock they move by hand.
//
// Threading: `now` may be called from any thread.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    [[nodiscard]] virtual std::chrono::nanoseconds now() const = 0;
};

class SteadyTimeSource final : public TimeSource {
public:
    [[nodiscard]] std::chrono::nanoseconds now() const override {
        return std::chrono::steady_clock::now().time_since_epoch();
    }
};

// The process's one steady clock.
[[nodiscard]] inline const TimeSource& steadyTime() {
    static const SteadyTimeSource clock;
    return clock;
}

}  // namespace tarnwell
