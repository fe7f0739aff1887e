#pragma once

#include <cstdint>
#include <string>

namespace tarnwell {

// What an NRPN number means on this panel, in the words the panel shows: a
// parameter's slider label, "Reset DAC", a mod button with its state, or the
// text a mode switch shows in the state the number selects. Numbers the panel
// never sends are named "NRPN <n>".
[[nodiscard]] std::string nrpnName(std::int64_t number);
// The control an NRPN number belongs to: a mod button's or a mode switch's
// on and off numbers give the on number; every other number is its own.
[[nodiscard]] std::int64_t controlOfNumber(std::int64_t number);

}  // namespace tarnwell
