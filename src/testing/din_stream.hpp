#pragma once

// Five balls' stream to a JACK sink through a paced DIN link, with a hand
// edit every so often, and what the sink saw: shared by the end-to-end test
// that checks the budget and the measurement that reports it.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <thread>
#include <vector>

#include "core/midi/midi_manager.hpp"
#include "testing/jack_peer.hpp"
#include "testing/manual_queue.hpp"

namespace tarnwell::test {

struct DinArrival {
    std::int64_t number = 0;
    std::int64_t value = 0;
    jack_time_t at = 0;  // when the sink saw the sequence's last message
};

struct DinStreamResult {
    std::vector<DinArrival> arrivals;
    bool wellFormed = true;  // the events formed whole sequences, in order
    std::size_t offered = 0;
    // Per hand edit: microseconds from its send to its arrival (-1: did not
    // arrive), how many ball values arrived between the two, and whether the
    // manager handed it to the service at all. All hand edits go to one
    // control, so one that never left the pacer was replaced there by the
    // next edit, sent before it could leave (the stream's loop stalled past
    // an edit's due time and sent two at once); one that left and did not
    // arrive was lost on the way.
    std::vector<double> handLatencyUs;
    std::vector<int> ballsAheadOfHand;
    std::vector<bool> handHandedOver;
    std::map<std::int64_t, std::int64_t> lastSent;  // ball parameter -> value
    // The most bytes the sink saw in any 100 ms starting at an arrival, and
    // the most the manager handed to the service in any 100 ms.
    std::size_t maxBytesIn100ms = 0;
    std::size_t maxBytesSentIn100ms = 0;
};

// The most bytes of 12-byte sequences at `times` (sorted) in any window of
// `window` starting at one of them.
template <typename Time, typename Duration>
std::size_t maxBytesInWindow(const std::vector<Time>& times, Duration window) {
    std::size_t most = 0;
    std::size_t j = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        j = std::max(j, i);
        while (j < times.size() && times[j] - times[i] < window) {
            ++j;
        }
        most = std::max(most, (j - i) * 12);
    }
    return most;
}

// Records each sequence the manager hands to the service, and when.
class HandOvers final : public SendObserver {
public:
    void sequenceSent(const SentSequence& sequence) override {
        times.push_back(sequence.time);
        sequences.push_back(sequence);
    }
    std::vector<std::chrono::nanoseconds> times;
    std::vector<SentSequence> sequences;
};

inline constexpr std::int64_t kDinHandNumber = 20;

// Runs the stream for `duration` on the real clock: the manager must use the
// steady time source, and `queue` is advanced along with it, so the pacer's
// delayed releases run on time.
inline DinStreamResult runDinStream(ManualQueue& queue, MidiManager& manager, const JackSink& sink,
                                    std::chrono::milliseconds duration, int balls = 5,
                                    std::chrono::milliseconds handEvery = 100ms) {
    DinStreamResult r;
    HandOvers sent;
    manager.addSendObserver(&sent);
    const std::size_t firstEvent = sink.count();
    const auto start = Clock::now();
    const auto base = queue.now();
    const auto pump = [&] {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start) + base;
        queue.advance(std::max(elapsed - queue.now(), std::chrono::milliseconds(0)));
    };
    const auto tickPeriod = std::chrono::nanoseconds(std::chrono::seconds(1)) / 60;
    std::vector<jack_time_t> handSent;
    std::int64_t tick = 0;
    while (Clock::now() - start < duration) {
        pump();
        for (; start + tick * tickPeriod <= Clock::now(); ++tick) {
            for (std::int64_t ball = 1; ball <= balls; ++ball) {
                const std::int64_t value = (tick * 97 + ball * 1000) % 16384;
                manager.sendToConnected(value, ball, SendOrigin::physics);
                r.lastSent[ball] = value;
                ++r.offered;
            }
        }
        // Offset from the ticks, so hand edits land while the link is busy.
        const auto handOffset = std::chrono::milliseconds(7);
        while (start + handOffset + static_cast<std::int64_t>(handSent.size()) * handEvery <=
               Clock::now()) {
            handSent.push_back(jack_get_time());
            manager.sendToConnected(static_cast<std::int64_t>(handSent.size()), kDinHandNumber);
            ++r.offered;
        }
        std::this_thread::sleep_for(500us);
    }
    // Drain what the pacer holds, then wait for the sink to go quiet.
    const auto drainDeadline = Clock::now() + 10s;
    std::size_t seen = sink.count();
    auto quietSince = Clock::now();
    while (Clock::now() < drainDeadline) {
        pump();
        if (sink.count() != seen) {
            seen = sink.count();
            quietSince = Clock::now();
        } else if (manager.pacedBacklog() == 0 && Clock::now() - quietSince > 300ms) {
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
    manager.removeSendObserver(&sent);
    r.maxBytesSentIn100ms = maxBytesInWindow(sent.times, std::chrono::nanoseconds(100ms));

    const std::size_t events = sink.count() - firstEvent;
    r.wellFormed = events % 4 == 0;
    constexpr std::uint8_t kControllers[] = {99, 98, 6, 38};
    for (std::size_t i = firstEvent; i + 4 <= firstEvent + events; i += 4) {
        for (std::size_t k = 0; k < 4; ++k) {
            const auto& e = sink.event(i + k);
            r.wellFormed = r.wellFormed && e[0] == 0xB0 && e[1] == kControllers[k];
        }
        const auto& b = [&](std::size_t k) { return sink.event(i + k)[2]; };
        r.arrivals.push_back({(b(0) << 7) | b(1), (b(2) << 7) | b(3), sink.stamp(i + 3)});
    }
    std::vector<jack_time_t> arrivedAt;
    for (const DinArrival& a : r.arrivals) {
        arrivedAt.push_back(a.at);
    }
    r.maxBytesIn100ms = maxBytesInWindow(arrivedAt, jack_time_t{100000});
    for (std::size_t h = 0; h < handSent.size(); ++h) {
        const auto value = static_cast<std::int64_t>(h + 1);
        r.handHandedOver.push_back(std::ranges::any_of(sent.sequences, [&](const SentSequence& s) {
            return s.number == kDinHandNumber && s.value == value;
        }));
        const auto it = std::ranges::find_if(r.arrivals, [&](const DinArrival& a) {
            return a.number == kDinHandNumber && a.value == value;
        });
        if (it == r.arrivals.end()) {
            r.handLatencyUs.push_back(-1);
            r.ballsAheadOfHand.push_back(-1);
            continue;
        }
        r.handLatencyUs.push_back(static_cast<double>(it->at) - static_cast<double>(handSent[h]));
        r.ballsAheadOfHand.push_back(
            static_cast<int>(std::count_if(r.arrivals.begin(), it, [&](const DinArrival& a) {
                return a.at > handSent[h] && a.number != kDinHandNumber;
            })));
    }
    return r;
}

}  // namespace tarnwell::test
