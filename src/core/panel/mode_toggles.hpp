#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnwell {

// The six Boolean mode switches of the panel, named after their state fields.
enum class ModeToggle : std::uint8_t {
    voiceModeToggle,
    drumModeToggle,
    filterModeToggle,
    regenModeToggle,
    regen2ModeToggle,
    midiModeToggle,
};
inline constexpr std::size_t kModeToggleCount = 6;

struct ModeToggleInfo {
    ModeToggle toggle;
    // The switch's field in the panel's state, as stored files name it.
    std::string_view stateName;
    // Sent as both value and parameter when the switch turns on / off.
    std::int64_t onNumber;
    std::int64_t offNumber;
    std::string_view textWhenOff;
    std::string_view textWhenOn;
    // The member that holds the switch in a preset file; empty for a switch
    // that presets do not store.
    std::string_view presetKey;
    // What the switch does, in words, for a tooltip.
    std::string_view meaning;
};

// One row per switch, in the order of the enumeration: adding a switch is
// adding a row. The texts are shown verbatim (" channel assign on" keeps its
// leading space).
inline constexpr std::array<ModeToggleInfo, kModeToggleCount> kModeToggles = {{
    {ModeToggle::voiceModeToggle, "voiceModeToggle", 130, 131, "Voice allocation A",
     "Voice allocation B", "voiceModeToggle", "Switches the voice allocation between A and B"},
    {ModeToggle::drumModeToggle, "DrumModeToggle", 132, 133, "PNP off", "PNP on", "drumModeToggle",
     "Switches the PNP (drum) mode on or off"},
    {ModeToggle::filterModeToggle, "FilterModeToggle", 134, 135, "regen filter A", "regen filter B",
     "filterModeToggle", "Switches the regeneration filter between A and B"},
    {ModeToggle::regenModeToggle, "regenModeToggle", 136, 137, "regen mode C", "regen mode D",
     "regenModeToggle", "Switches the regeneration between modes C and D"},
    {ModeToggle::regen2ModeToggle, "regen2ModeToggle", 138, 139, "regen mode A", "regen mode B",
     "regen2ModeToggle", "Switches the regeneration between modes A and B"},
    {ModeToggle::midiModeToggle, "midimodeToggle", 140, 141, "channel assign off",
     " channel assign on", "", "Switches the MIDI channel assignment on or off"},
}};

[[nodiscard]] constexpr const ModeToggleInfo& modeToggleInfo(ModeToggle toggle) {
    return kModeToggles[static_cast<std::size_t>(toggle)];
}

[[nodiscard]] constexpr std::string_view modeToggleText(ModeToggle toggle, bool on) {
    return on ? modeToggleInfo(toggle).textWhenOn : modeToggleInfo(toggle).textWhenOff;
}

[[nodiscard]] constexpr bool isStoredInPresets(ModeToggle toggle) {
    return !modeToggleInfo(toggle).presetKey.empty();
}

}  // namespace tarnwell
