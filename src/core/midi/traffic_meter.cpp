#include "core/midi/traffic_meter.hpp"

#include "core/midi/midi_manager.hpp"
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

void TrafficMeter::restart(std::chrono::nanoseconds now, std::uint64_t totalSequences) {
    samples_.clear();
    grew_ = false;
    samples_.push_back({now, totalSequences});
}

bool TrafficMeter::isQuiet() const {
    return samples_.empty() || samples_.front().total == samples_.back().total;
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

void SendWatch::arm(MidiManager& manager) {
    if (manager_ == &manager) {
        return;
    }
    disarm();
    manager_ = &manager;
    manager.addSendObserver(this);
}

void SendWatch::disarm() {
    if (manager_ != nullptr) {
        manager_->removeSendObserver(this);
        manager_ = nullptr;
    }
}

void SendWatch::sequenceSent(const SentSequence&) {
    disarm();
    if (onSend_) {
        onSend_();
    }
}

}  // namespace tarnwell
