#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>

#include "core/midi/sent_sequence.hpp"

namespace tarnwell {

class MidiManager;

// Rates of what the panel sends, from samples of the manager's running count
// of sequences taken by whoever shows them (a timer), so counting is all the
// send path does. Main thread only.
class TrafficMeter {
public:
    explicit TrafficMeter(std::chrono::nanoseconds window = std::chrono::seconds(1))
        : window_(window) {}

    // Records the total number of sequences sent by `now`.
    void sample(std::chrono::nanoseconds now, std::uint64_t totalSequences);
    // Forgets every sample and starts again from this one, so a stream that
    // starts after a quiet spell is measured from its start.
    void restart(std::chrono::nanoseconds now, std::uint64_t totalSequences);
    // Whether nothing was sent over the whole window: every rate is 0 and
    // further samples show nothing new until something is sent.
    [[nodiscard]] bool isQuiet() const;

    // Over the samples of the last window; 0 until two samples span time.
    [[nodiscard]] double sequencesPerSecond() const;
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

// Tells once of the next sequence the manager hands to its service, then
// stops listening. What samples the traffic sleeps while nothing is sent and
// arms this to be woken by the first send; once it has fired, the send path
// costs what it costs without observers.
//
// Main thread only; `onSend` runs inside the send and must not send.
class SendWatch final : public SendObserver {
public:
    explicit SendWatch(std::function<void()> onSend) : onSend_(std::move(onSend)) {}
    ~SendWatch() override { disarm(); }
    SendWatch(const SendWatch&) = delete;
    SendWatch& operator=(const SendWatch&) = delete;

    // Listens to `manager`, which must outlive the watch or see `disarm`.
    void arm(MidiManager& manager);
    void disarm();
    [[nodiscard]] bool isArmed() const { return manager_ != nullptr; }

    void sequenceSent(const SentSequence& sequence) override;

private:
    std::function<void()> onSend_;
    MidiManager* manager_ = nullptr;
};

}  // namespace tarnwell
