#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/panel/mode_toggles.hpp"
#include "core/panel/parameters.hpp"

namespace tarnwell {

// Every control of the panel that a hardware controller can drive.
enum class ControlKind : std::uint8_t {
    parameter,   // index: parameter index 0-41
    modButton,   // index: unit 0-5 ("multiplication")
    modeSwitch,  // index: the ModeToggle
    resetDac,
    dice,
    calibrate,
    physicsDice,  // the physics page's dice: new waves for every ball
    ballAmpX,     // index: ball 0-4, for this and every ball kind below
    ballAmpY,
    ballFreqX,
    ballFreqY,
    ballPhaseX,
    ballPhaseY,
    ballMagnetStrength,
    ballRun,  // start / stop
    morph,    // the morph position between two presets, 0 to 1
};

struct ControlId {
    ControlKind kind = ControlKind::parameter;
    std::uint8_t index = 0;
    friend bool operator==(const ControlId&, const ControlId&) = default;
};

// How a control takes a value.
enum class ControlType : std::uint8_t {
    continuous,  // a value in [minimum, maximum]
    onOff,       // a state that is on or off (mod buttons, switches, start/stop)
    action,      // a press that does something (Reset DAC, dice)
};

struct ControlInfo {
    ControlId id;
    // Stable and persisted: "param/1" (by NRPN number), "mod/A", "switch/130"
    // (by the switch's on number), "resetDAC", "dice", "calibrate",
    // "physics/dice", "ball/1/ampX" ... "ball/5/run", "morph".
    std::string key;
    // As the panel labels the control, for lists and tooltips.
    std::string name;
    ControlType type = ControlType::continuous;
    // In the units the control shows; 0 and 1 for on/off and action controls.
    double minimum = 0.0;
    double maximum = 1.0;
};

// The balls whose controls are learnable: the physics page's five.
inline constexpr int kLearnableBalls = 5;
inline constexpr std::size_t kBallControlKinds = 8;  // ballAmpX ... ballRun
inline constexpr std::size_t kControlCount =
    kParameterCount + kUnitCount + kModeToggleCount + 4 + kBallControlKinds * kLearnableBalls + 1;

// Every learnable control, in a fixed order: position i is controlSlot() i.
[[nodiscard]] const std::vector<ControlInfo>& learnableControls();
// A dense number 0 to kControlCount - 1, for tables indexed by control. A
// ControlId that names no control (an index out of range) gives kControlCount.
[[nodiscard]] std::size_t controlSlot(ControlId id);
[[nodiscard]] bool isValidControl(ControlId id);
// The control's row; `id` must be valid.
[[nodiscard]] const ControlInfo& controlInfo(ControlId id);
[[nodiscard]] std::optional<ControlId> controlFromKey(std::string_view key);

}  // namespace tarnwell
