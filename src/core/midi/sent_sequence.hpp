#pragma once

#include <chrono>
#include <cstdint>

#include "core/midi/midi_service.hpp"

namespace tarnwell {

// Who asked for a send. Pacing lets hand edits overtake the balls' stream; a
// move on a hardware controller is a hand edit, shown apart in the monitor.
enum class SendOrigin : std::uint8_t {
    hand,
    physics,
    controller,
};

// "hand", "physics", "controller", as the monitor shows them.
[[nodiscard]] constexpr const char* originName(SendOrigin origin) {
    switch (origin) {
        case SendOrigin::physics:
            return "physics";
        case SendOrigin::controller:
            return "controller";
        case SendOrigin::hand:
            break;
    }
    return "hand";
}

// One NRPN sequence (four control changes, twelve bytes) as the panel sends it.
struct SentSequence {
    std::chrono::nanoseconds time{0};  // when it reached the MIDI service
    EndpointRef destination = 0;
    std::int64_t number = 0;
    std::int64_t value = 0;
    SendOrigin origin = SendOrigin::hand;
};

inline constexpr std::int64_t kSequenceMessages = 4;
inline constexpr std::int64_t kSequenceBytes = 12;

// Told of every sequence the manager hands to its service (after pacing).
// Called on the main thread, inside the send; must not send.
class SendObserver {
public:
    virtual ~SendObserver() = default;
    virtual void sequenceSent(const SentSequence& sequence) = 0;
};

}  // namespace tarnwell
