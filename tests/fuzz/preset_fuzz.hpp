#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "core/panel/preset.hpp"

namespace tarnwell::test {

struct CheckedFile {
    std::optional<std::vector<MidiSliderPreset>> presets;  // absent when refused
    std::size_t writtenBytes = 0;                          // what the panel writes for them
};

// Reads `bytes` as an imported preset file and, when they are accepted,
// checks that the presets are written within the read limit, read back the
// same and recall without fault; aborts on any breach.
CheckedFile checkPresetFile(std::string_view bytes);

}  // namespace tarnwell::test
