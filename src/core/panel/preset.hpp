#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/panel/mode_toggles.hpp"
#include "core/panel/parameters.hpp"

namespace tarnwell {

// A snapshot of the sound-relevant panel state. The lists normally hold 42
// values and 8 flags, but presets read from files may hold other lengths.
// `modeToggles` is indexed by ModeToggle; a switch that presets do not store
// (see `isStoredInPresets`) stays false.
struct MidiSliderPreset {
    std::vector<double> values = std::vector<double>(kParameterCount, 0.0);
    std::vector<bool> modStates = std::vector<bool>(kModButtonCount, false);
    std::array<bool, kModeToggleCount> modeToggles{};
    // What the musician called it; empty for an unnamed preset. Stored as an
    // optional eighth member of the preset object, after the seven others.
    std::string name;

    [[nodiscard]] bool modeToggle(ModeToggle toggle) const {
        return modeToggles[static_cast<std::size_t>(toggle)];
    }

    friend bool operator==(const MidiSliderPreset&, const MidiSliderPreset&) = default;
};

inline constexpr int kInitialPresetCount = 100;

}  // namespace tarnwell
