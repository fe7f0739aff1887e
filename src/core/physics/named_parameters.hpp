#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwell {

// A parameter a ball can drive: its NRPN number and the name the physics page
// shows for it.
struct NamedNRPN {
    std::int64_t number;
    std::string name;
    friend bool operator==(const NamedNRPN&, const NamedNRPN&) = default;
};

// The 41 parameters a ball can drive, in ascending order of number: six per
// unit A to F ("Odd harmonics A" ... "Octave F"), then the five regen
// parameters 37 to 41; the short names of the parameter table.
[[nodiscard]] const std::vector<NamedNRPN>& namedNRPNs();

// The text under a ball's title: ": " and the name of `number`, or
// "Param #<number>" for a number outside the table.
[[nodiscard]] std::string assignedParamLabel(std::int64_t number);

}  // namespace tarnwell
