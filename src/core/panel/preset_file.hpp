#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/panel/mode_toggles.hpp"
#include "core/panel/preset.hpp"

namespace tarnwell {

// The preset file: a compact UTF-8 JSON array with one object per preset,
// each written with the seven members "values", "modStates",
// "voiceModeToggle", "drumModeToggle", "filterModeToggle", "regenModeToggle",
// "regen2ModeToggle", in that order, then "name" when the preset has one.
// Numbers are written in their shortest form that reads back to the same
// double. A reader that ignores members it does not know (every earlier
// release of this panel does) reads a named preset as an unnamed one.

// What a preset file may hold. Reading refuses a file that goes past any of
// these, and writing refuses a list that does, so whatever the panel accepts
// it can write, and whatever it writes it reads back.
inline constexpr std::size_t kMaxPresetsInFile = 50'000;
inline constexpr std::size_t kMaxValuesPerPreset = 64;     // the panel uses 42
inline constexpr std::size_t kMaxModStatesPerPreset = 16;  // the panel uses 8
// In Unicode code points, after the name is normalised (see below).
inline constexpr std::size_t kMaxPresetNameLength = 64;
// Nesting deeper than a preset file ever needs (array, object, array) plus
// room for arbitrary unknown members, which are skipped and never written.
inline constexpr std::size_t kMaxPresetFileDepth = 64;

namespace preset_file_detail {
// The longest text a double is written as ("-2.2250738585072014e-308").
inline constexpr std::size_t kMaxNumberBytes = 24;
// A name is written as UTF-8 with only '"' and '\' escaped (two bytes each):
// at most four bytes a code point.
inline constexpr std::size_t kMaxNameBytes = 4 * kMaxPresetNameLength;

constexpr std::size_t listBytes(std::size_t count, std::size_t itemBytes) {
    return count == 0 ? 0 : count * itemBytes + (count - 1);  // items and commas
}
constexpr std::size_t maxPresetBytes() {
    std::size_t bytes = std::string_view(R"({"values":[)").size() +
                        listBytes(kMaxValuesPerPreset, kMaxNumberBytes) +
                        std::string_view(R"(],"modStates":[)").size() +
                        listBytes(kMaxModStatesPerPreset, std::string_view("false").size()) +
                        std::string_view("]").size();
    for (const ModeToggleInfo& toggle : kModeToggles) {
        if (!toggle.presetKey.empty()) {
            bytes += std::string_view(R"(,"":false)").size() + toggle.presetKey.size();
        }
    }
    return bytes + std::string_view(R"(,"name":"")").size() + kMaxNameBytes +
           std::string_view("}").size();
}
}  // namespace preset_file_detail

// The longest file the writer can produce for a list within the bounds.
inline constexpr std::size_t kMaxWrittenPresetFileBytes =
    2 + preset_file_detail::listBytes(kMaxPresetsInFile, preset_file_detail::maxPresetBytes());
// Reading refuses files larger than this before parsing anything. It follows
// from the bounds (the longest written file, rounded up to whole MiB), so no
// list the panel holds can outgrow it however its numbers are spelled.
inline constexpr std::size_t kMaxPresetFileBytes =
    (kMaxWrittenPresetFileBytes + (std::size_t{1} << 20) - 1) >> 20 << 20;

// A preset's name as the panel stores it: control characters and line or
// paragraph separators become spaces, white space (Unicode's White_Space) is
// trimmed from both ends, and the rest is cut to kMaxPresetNameLength code
// points (never inside a UTF-8 sequence) and trimmed again. Invalid UTF-8 is
// repaired: each ill-formed sequence becomes U+FFFD. Normalising a normalised
// name changes nothing; an empty result means an unnamed preset.
[[nodiscard]] std::string normalisedPresetName(std::string_view text);

struct PresetEncoding {
    std::optional<std::string> text;  // absent on failure
    std::string error;
};

// Writes a list as a preset file. Refuses, with the reason, a list beyond the
// bounds above or holding a value that JSON cannot hold (NaN or infinite).
// The text returned has been read back and found equal (doubles bit for bit,
// so -0 stays -0) and within kMaxPresetFileBytes; were it ever not, the list
// is refused rather than written as a file the panel cannot read.
[[nodiscard]] PresetEncoding encodePresetFile(const std::vector<MidiSliderPreset>& presets);

struct PresetDecoding {
    std::optional<std::vector<MidiSliderPreset>> presets;  // absent on failure
    std::string error;  // "not a preset file: object 3 lacks regen2ModeToggle"
};

// Reads a whole preset file. Members may stand in any order; the seven are
// required with their JSON types (true/false for flags, numbers with or
// without fraction or exponent for values), "name" is optional and a string
// when present (normalised as above); other members are ignored. Any
// violation rejects the whole file, as does going past a bound above or
// anything but whitespace after the top-level array. Arrays shorter than the
// panel's 42 values and 8 flags are accepted as they are.
[[nodiscard]] PresetDecoding decodePresetFile(std::string_view bytes);

// Whether two lists are the same, doubles compared bit for bit.
[[nodiscard]] bool samePresets(const std::vector<MidiSliderPreset>& a,
                               const std::vector<MidiSliderPreset>& b);

}  // namespace tarnwell
