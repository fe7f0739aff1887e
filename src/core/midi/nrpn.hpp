#pragma once

#include <array>
#include <cstdint>

namespace tarnwell {

// Largest 14-bit value: the top of both the NRPN value and the parameter range.
inline constexpr std::int64_t kNrpnMax = 16383;

// One NRPN sequence as it leaves the panel: four 3-byte control changes
// (99 parameter MSB, 98 parameter LSB, 6 data MSB, 38 data LSB), each with its
// own status byte, never running status.
using NrpnBytes = std::array<std::uint8_t, 12>;

// Encodes one sequence. Only the low 14 bits of value and parameter and the low
// 4 bits of the channel are used (16384 encodes as 0, -1 as 0x7F 0x7F); the
// argument order, value before parameter, is the order every caller uses.
[[nodiscard]] NrpnBytes encodeNRPN(std::int64_t value, std::int64_t parameter, int channel);

// Converts a parameter value to the NRPN value it is sent as: clamped into
// 0 to 16383 (NaN counts as 0), then truncated toward zero. Used for every
// double that reaches the wire, so a hostile preset can never wrap around.
[[nodiscard]] std::int64_t nrpnValueFromDouble(double value);

}  // namespace tarnwell
