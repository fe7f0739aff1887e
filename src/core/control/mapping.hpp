#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/control/controls.hpp"
#include "core/control/midi_source.hpp"

namespace tarnwell {

// How a mapping reads its source.
enum class MappingMode : std::uint8_t {
    absolute,                // the source's position sets the value
    relativeTwosComplement,  // CC steps: 1-63 up, 127-64 down (-1 to -64)
    relativeSignedBit,       // CC steps: 1-63 up, 65-127 down (bit 6 is the sign)
    relativeBinaryOffset,    // CC steps: 65-127 up, 63-0 down (64 is no step)
    toggle,                  // each press flips the control
    momentary,               // on (or maximum) while held, off (or minimum) on release
};

// What an absolute mapping does while the source and the panel disagree.
enum class Pickup : std::uint8_t {
    softTakeover,  // ignore the source until it reaches or crosses the panel's value
    jump,          // follow at once
};

// Steps of a relative encoder (and of NRPN increment/decrement) from one end
// of a mapping's range to the other, unless the mapping says otherwise.
inline constexpr std::uint16_t kDefaultRelativeSteps = 128;
inline constexpr std::uint16_t kMaxRelativeSteps = 16384;

// One binding of a controller source to a panel control.
//
// The source's 0-16383 position t is spread over [minimum, maximum] (in the
// control's units, within its range), reversed when `inverted`. On/off and
// action controls take a press from a note, or from a controller's value
// crossing its middle (8192), and ignore the range.
struct Mapping {
    ControlId control;
    SourceId source;
    MappingMode mode = MappingMode::absolute;
    double minimum = 0.0;
    double maximum = 0.0;
    bool inverted = false;
    Pickup pickup = Pickup::softTakeover;
    std::uint16_t relativeSteps = kDefaultRelativeSteps;

    friend bool operator==(const Mapping&, const Mapping&) = default;
};

[[nodiscard]] bool isRelative(MappingMode mode);
// Whether `mode` suits a control of `type` driven by a source of `kind`:
// relative modes need a 7-bit controller and a continuous or on/off control;
// a note only presses (toggle or momentary); action controls take presses.
[[nodiscard]] bool modeAllowed(MappingMode mode, ControlType type, SourceKind kind);

// Why `mapping` cannot be used, or empty when it can: the control and source
// exist, the mode suits them, the range lies within the control's (minimum
// not above maximum, both finite) and the relative steps are 1 to 16384.
[[nodiscard]] std::string mappingProblem(const Mapping& mapping);

// A mapping of `control` to `source` with the mode a musician most likely
// means (absolute for a continuous control moved by a position, toggle for an
// on/off control, momentary for an action) and the control's whole range.
[[nodiscard]] Mapping proposeMapping(ControlId control, const SourceId& source);

// The mapping's relative step read from a 7-bit controller value, before
// inversion: positive up, negative down, 0 for none.
[[nodiscard]] int relativeDelta(MappingMode mode, std::uint8_t value);

}  // namespace tarnwell
