#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/panel/preset.hpp"

namespace tarnwell {

// The preset file: a compact UTF-8 JSON array with one object per preset,
// each written with exactly the seven members "values", "modStates",
// "voiceModeToggle", "drumModeToggle", "filterModeToggle", "regenModeToggle",
// "regen2ModeToggle", in that order. Numbers are written in their shortest
// form that reads back to the same double.

// Reading refuses files larger than this before parsing anything.
inline constexpr std::size_t kMaxPresetFileBytes = std::size_t{16} << 20;
// Nesting deeper than a preset file ever needs (array, object, array) plus
// room for arbitrary unknown members, which are skipped.
inline constexpr std::size_t kMaxPresetFileDepth = 64;

struct PresetEncoding {
    std::optional<std::string> text;  // absent on failure
    std::string error;
};

// Fails only for a value that JSON cannot hold (NaN or infinite); such a list
// is not written at all rather than written as a file that cannot be read.
[[nodiscard]] PresetEncoding encodePresetFile(const std::vector<MidiSliderPreset>& presets);

struct PresetDecoding {
    std::optional<std::vector<MidiSliderPreset>> presets;  // absent on failure
    std::string error;  // "not a preset file: object 3 lacks regen2ModeToggle"
};

// Reads a whole preset file. Members may stand in any order; all seven are
// required with their JSON types (true/false for flags, numbers with or
// without fraction or exponent for values); other members are ignored. Any
// violation rejects the whole file, as does anything but whitespace after the
// top-level array. Array lengths are not checked here.
[[nodiscard]] PresetDecoding decodePresetFile(std::string_view bytes);

}  // namespace tarnwell
