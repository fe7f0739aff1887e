#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnwell {

// The shape of a ball's push along one axis. The numeric value is the case
// index: the order of the pickers and of `kAllWaveTypes`.
enum class WaveType : std::uint8_t { sine, square, triangle };

// 2π as the wave function and the phase controls use it.
inline constexpr double kTwoPi = 6.283185307179586;

inline constexpr std::array<WaveType, 3> kAllWaveTypes = {WaveType::sine, WaveType::square,
                                                          WaveType::triangle};

// "Sine", "Square" or "Triangle": the text shown in pickers and the identity
// of a picker item.
[[nodiscard]] std::string_view rawValue(WaveType type);

// Accepts exactly the three raw values (case-sensitive, whole string).
[[nodiscard]] std::optional<WaveType> waveTypeFromRaw(std::string_view raw);

// The wave at angle t * freq + phase (the product rounded before the sum), in
// [-1, 1]. The square counts sin = 0 as positive; the triangle has period 2π
// and starts at its minimum, -1 at angle 0, +1 at π.
[[nodiscard]] double waveValue(WaveType type, double t, double freq, double phase);

}  // namespace tarnwell
