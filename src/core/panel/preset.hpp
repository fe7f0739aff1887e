#pragma once

#include <vector>

#include "core/panel/mode_toggles.hpp"
#include "core/panel/parameters.hpp"

namespace tarnwell {

// A snapshot of the sound-relevant panel state. The lists normally hold 42
// values and 8 flags, but presets read from files may hold other lengths.
struct MidiSliderPreset {
    std::vector<double> values = std::vector<double>(kParameterCount, 0.0);
    std::vector<bool> modStates = std::vector<bool>(kModButtonCount, false);
    bool voiceModeToggle = false;
    bool drumModeToggle = false;
    bool filterModeToggle = false;
    bool regenModeToggle = false;
    bool regen2ModeToggle = false;

    friend bool operator==(const MidiSliderPreset&, const MidiSliderPreset&) = default;
};

inline constexpr int kInitialPresetCount = 100;

// The preset's copy of a mode switch. `midimodeToggle` is not stored in
// presets and reads as false.
[[nodiscard]] constexpr bool presetToggle(const MidiSliderPreset& preset, ModeToggle toggle) {
    switch (toggle) {
        case ModeToggle::voiceModeToggle:
            return preset.voiceModeToggle;
        case ModeToggle::DrumModeToggle:
            return preset.drumModeToggle;
        case ModeToggle::FilterModeToggle:
            return preset.filterModeToggle;
        case ModeToggle::regenModeToggle:
            return preset.regenModeToggle;
        case ModeToggle::regen2ModeToggle:
            return preset.regen2ModeToggle;
        case ModeToggle::midimodeToggle:
            return false;
    }
    return false;
}

}  // namespace tarnwell
