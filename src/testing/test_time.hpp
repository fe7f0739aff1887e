#pragma once

#include <chrono>
#include <cstdlib>

namespace tarnwell::test {

// How many times longer than on a quiet machine a test's wait may last: the
// one setting TARNWELL_TEST_TIME_SCALE (default 1; the test script raises it
// for the sanitizer builds). Deadlines are scaled by it; a quiet period a
// wait looks for is not, as it measures a peer, not the machine.
inline double testTimeScale() {
    static const double scale = [] {
        const char* text = std::getenv("TARNWELL_TEST_TIME_SCALE");
        const double parsed = text != nullptr ? std::strtod(text, nullptr) : 1.0;
        return parsed >= 1.0 ? parsed : 1.0;
    }();
    return scale;
}

inline std::chrono::milliseconds scaled(std::chrono::milliseconds timeout) {
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(
        static_cast<double>(timeout.count()) * testTimeScale()));
}

}  // namespace tarnwell::test
