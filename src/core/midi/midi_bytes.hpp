#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarnwell {

// The length of a MIDI message that starts with `status`: 3 for note,
// controller, polyphonic pressure and pitch bend messages and song position,
// 2 for program change, channel pressure, time code and song select, 1 for
// tune request and real-time bytes; 0 for what cannot start a message that is
// passed on whole (a data byte, system-exclusive, the undefined 0xF4 and
// 0xF5).
[[nodiscard]] constexpr std::size_t midiMessageLength(std::uint8_t status) {
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        const std::uint8_t type = status & 0xF0;
        return type == 0xC0 || type == 0xD0 ? 2 : 3;
    }
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        case 0xF6:
            return 1;
        default:
            return status >= 0xF8 ? 1 : 0;
    }
}

// Calls `each(std::span<const std::uint8_t>)` for every whole message of
// `bytes`, in order. Stops at the first byte that starts no message or a
// message cut short; returns whether all of `bytes` was whole messages.
template <typename Each>
bool forEachMidiMessage(std::span<const std::uint8_t> bytes, Each&& each) {
    while (!bytes.empty()) {
        const std::size_t length = midiMessageLength(bytes.front());
        if (length == 0 || length > bytes.size()) {
            return false;
        }
        for (std::size_t i = 1; i < length; ++i) {
            if (bytes[i] >= 0x80) {
                return false;
            }
        }
        each(bytes.first(length));
        bytes = bytes.subspan(length);
    }
    return true;
}

}  // namespace tarnwell
