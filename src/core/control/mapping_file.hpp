#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/control/mapping.hpp"

namespace tarnwell {

// The controller mappings as the musician exports, imports and keeps them.
struct MappingFile {
    // The input source the mappings were made with, by name; absent when
    // none was chosen.
    std::optional<std::string> input;
    std::vector<Mapping> mappings;
    friend bool operator==(const MappingFile&, const MappingFile&) = default;
};

// A small UTF-8 JSON object:
//   {"format": "tarnwell-controller-mappings", "version": 1,
//    "input": "nanoKONTROL2",                      (only when there is one)
//    "mappings": [{"control": "param/7", "source": "cc", "channel": 1,
//                  "number": 74, "mode": "absolute", "min": 0, "max": 16383,
//                  "invert": false, "pickup": "softTakeover", "steps": 128}, ...]}
// "control" is a ControlInfo key; "source" one of "cc", "cc14", "nrpn",
// "rpn", "pitchBend", "channelPressure", "note"; "channel" 1-16 as musicians
// count; "number" is absent for pitch bend and channel pressure. "mode" is
// one of "absolute", "relativeTwosComplement", "relativeSignedBit",
// "relativeBinaryOffset", "toggle", "momentary"; "pickup" "softTakeover" or
// "jump". "min", "max" are in the control's units.
//
// Reading rules: "control", "source", "channel" and "number" are required;
// the others may be left out and take the control's whole range, the mode
// proposeMapping gives, no inversion, soft takeover and 128 steps. Unknown
// members are ignored. A mapping that names a control this version does not
// have (a file from a newer version, a typing slip) is skipped and counted,
// and the reading says which, so the rest still loads. Anything else wrong
// (malformed JSON, a wrong type, a number out of range, a mode that does not
// suit its control or source, a range outside the control's, a newer format
// version, more than kMaxMappingsInFile mappings) refuses the whole file with
// the reason, and nothing is read.
//
// Writing gives exactly the members above, every one present, so whatever
// is accepted is written in a form that reads back equal.
inline constexpr std::size_t kMaxMappingFileBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxMappingFileDepth = 16;
inline constexpr std::size_t kMaxMappingsInFile = 1024;
inline constexpr std::size_t kMaxInputNameBytes = 1024;
inline constexpr int kMappingFileVersion = 1;

struct MappingFileText {
    std::optional<std::string> text;  // absent on failure
    std::string error;
};

// Fails for what could not be read back: a mapping with a problem, too many
// mappings, an input name that is too long or not UTF-8.
[[nodiscard]] MappingFileText encodeMappingFile(const MappingFile& file);

struct MappingFileReading {
    std::optional<MappingFile> file;  // absent when refused
    std::string error;                // "not a mappings file: mapping 3: channel 17 is not 1-16"
    std::size_t skipped = 0;          // mappings naming no control of this version
    std::string warning;              // says which, when any were skipped
};

[[nodiscard]] MappingFileReading decodeMappingFile(std::string_view bytes);

// The file layer: reads whole (refusing a larger file before reading it);
// writes atomically. Saving returns an empty string or the reason.
[[nodiscard]] MappingFileReading readMappingFile(const std::filesystem::path& path);
[[nodiscard]] std::string writeMappingFile(const std::filesystem::path& path,
                                           const MappingFile& file);

}  // namespace tarnwell
