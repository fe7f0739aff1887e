#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "testing/loopback_service.hpp"

namespace tarnwell::test {

// One NRPN sequence as a peer decodes it from the wire.
struct Sent {
    std::int64_t parameter;
    std::int64_t value;
    friend bool operator==(const Sent&, const Sent&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Sent& s) {
        return os << "{param " << s.parameter << ", value " << s.value << "}";
    }
};

// Decodes a byte stream of 12-byte NRPN sequences. A stream that is not made
// of well-formed sequences on channel 0 yields a sentinel entry, so the
// comparison fails visibly.
inline std::vector<Sent> decodeSequences(const std::vector<std::uint8_t>& bytes) {
    std::vector<Sent> out;
    if (bytes.size() % 12 != 0) {
        out.push_back({-1, -1});
        return out;
    }
    for (std::size_t i = 0; i < bytes.size(); i += 12) {
        const std::uint8_t* b = &bytes[i];
        const bool wellFormed = b[0] == 0xB0 && b[1] == 99 && b[3] == 0xB0 && b[4] == 98 &&
                                b[6] == 0xB0 && b[7] == 6 && b[9] == 0xB0 && b[10] == 38;
        if (!wellFormed) {
            out.push_back({-2, -2});
            continue;
        }
        out.push_back({(b[2] << 7) | b[5], (b[8] << 7) | b[11]});
    }
    return out;
}

inline std::vector<Sent> sentTo(const LoopbackMidiService& service, EndpointRef endpoint) {
    return decodeSequences(service.bytesFor(endpoint));
}

}  // namespace tarnwell::test
