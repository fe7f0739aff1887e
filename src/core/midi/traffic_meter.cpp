#include "core/midi/traffic_meter.hpp"

#include "core/midi/sent_sequence.hpp"

namespace tarnwell {

void TrafficMeter::sample(std::chrono::nanoseconds now, std::uint64_t totalSequences) {
    grew_ = !samples_.empty() && totalSequences != samples_.back().total;
    samples_.push_back({now, totalSequences});
    // Keeps one sample at or before the window's start, so the rate spans it.
    while (samples_.size() > 2 && now - samples_[1].time >= window_) {
        samples_.pop_front();
    }
}

double TrafficMeter::sequencesPerSecond() const {
    if (samples_.size() < 2) {
        return 0.0;
    }
    const std::chrono::duration<double> span = samples_.back().time - samples_.front().time;
    if (span.count() <= 0.0) {
        return 0.0;
    }
    return static_cast<double>(samples_.back().total - samples_.front().total) / span.count();
}

double TrafficMeter::messagesPerSecond() const {
    return sequencesPerSecond() * kSequenceMessages;
}

double TrafficMeter::bytesPerSecond() const {
    return sequencesPerSecond() * kSequenceBytes;
}

double TrafficMeter::load(std::int64_t budget) const {
    return budget > 0 ? bytesPerSecond() / static_cast<double>(budget) : 0.0;
}

}  // namespace tarnwell
