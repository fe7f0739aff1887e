#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/panel/preset.hpp"

namespace tarnwell::test {

struct CheckedFile {
    std::optional<std::vector<MidiSliderPreset>> presets;  // absent when refused
    std::size_t writtenBytes = 0;                          // what the panel writes for them
};

// Reads `bytes` as an imported file; accepted presets must be written within
// the read limit, read back the same and recall without fault, or it aborts.
CheckedFile checkPresetFile(std::string_view bytes);

// A preset file made for the round-trip check, with what reading it must give.
struct GeneratedFile {
    std::string label;
    std::string bytes;
    bool accepted = true;
    // When set, the presets it must read as (doubles bit for bit).
    std::optional<std::vector<MidiSliderPreset>> presets;
    // When set, the exact size of the file the panel writes for it.
    std::optional<std::size_t> writtenBytes;
};

// Files at and just past the bounds of the preset file (sizes, numbers,
// names), made and handed over one at a time.
void forEachBoundFile(const std::function<void(GeneratedFile)>& check);

// `count` well-formed files of random presets from `seed`: random member
// order, white space, number spellings, unknown members and Unicode names.
void forEachRandomFile(std::uint64_t seed, std::size_t count,
                       const std::function<void(GeneratedFile)>& check);

}  // namespace tarnwell::test
