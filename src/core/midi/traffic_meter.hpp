#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

namespace tarnwell {

// Rates of what the panel sends, from samples of the manager's running count
// of sequences taken by whoever shows them (a timer), so counting is all the
// send path does. Main thread only.
class TrafficMeter {
public:
    explicit TrafficMeter(std::chrono::nanoseconds window = std::chrono::seconds(1))
        : window_(window) {}

    // Records the total number of sequences sent by `now`.
    void sample(std::chrono::nanoseconds now, std::uint64_t totalSequences);

    // Over the samples of the last window; 0 until two samples span time.
    [[nodiscard]] double sequencesPerSecond() const;
    [[nodiscard]] double messagesPerSecond() const;
    [[nodiscard]] double bytesPerSecond() const;
    // Bytes a second as a share of `budget` bytes a second (1.0 = full);
    // 0 for an unlimited (0) budget.
    [[nodiscard]] double load(std::int64_t budget) const;
    // Whether the count grew between the last two samples.
    [[nodiscard]] bool sentSinceLastSample() const { return grew_; }

private:
    struct Sample {
        std::chrono::nanoseconds time;
        std::uint64_t total;
    };
    std::chrono::nanoseconds window_;
    std::deque<Sample> samples_;
    bool grew_ = false;
};

}  // namespace tarnwell
