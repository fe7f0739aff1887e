#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tarnwell {

// What carries the bytes to a destination. Software ports and USB take
// anything the panel sends; a 5-pin DIN cable runs at 31,250 baud, ten bits a
// byte.
enum class LinkSpeed : std::uint8_t {
    softwareUsb,
    din,
};

inline constexpr std::int64_t kDinBytesPerSecond = 3125;
// What pacing lets onto a DIN link: nine tenths of it. The bytes reach the
// link's interface a JACK period at a time and a late release may catch up
// with the next, so a tenth of headroom keeps every 100 ms window within the
// cable's capacity, not only the long-run average.
inline constexpr std::int64_t kDinPacedBytesPerSecond = kDinBytesPerSecond * 9 / 10;

[[nodiscard]] constexpr std::string_view linkSpeedText(LinkSpeed speed) {
    return speed == LinkSpeed::din ? "DIN MIDI" : "Software/USB";
}

// The user's link choice per destination name, as a plain value the shell
// loads from and stores to its settings. A name not listed is Software/USB.
struct LinkChoices {
    std::map<std::string, LinkSpeed, std::less<>> speeds;
    // Paces sends to DIN links to their budget; off by default.
    bool dinPacing = false;

    [[nodiscard]] LinkSpeed speedOf(std::string_view name) const {
        const auto it = speeds.find(name);
        return it == speeds.end() ? LinkSpeed::softwareUsb : it->second;
    }

    friend bool operator==(const LinkChoices&, const LinkChoices&) = default;
};

}  // namespace tarnwell
