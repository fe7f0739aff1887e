#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwell {

// The synthesizer's parameter layout: six units A to F of six slots each,
// then five regen parameters and one further parameter, 42 in all. A parameter
// index (0 to 41) is sent as NRPN number index + 1.
inline constexpr int kUnitCount = 6;
inline constexpr int kSlotsPerUnit = 6;
inline constexpr int kParameterCount = 42;
// The group of indices 36 to 41 (the Regen tab); it has no link flag.
inline constexpr int kRegenGroup = 6;

inline constexpr std::int64_t kResetDacNumber = 100;
inline constexpr const char* kResetDacText = "Reset DAC";
// The value every mod button and the DAC reset send.
inline constexpr std::int64_t kCommandValue = 127;

[[nodiscard]] constexpr std::int64_t nrpnNumberOfIndex(std::int64_t index) {
    return index + 1;
}
[[nodiscard]] constexpr std::int64_t groupOfIndex(std::int64_t index) {
    return index / kSlotsPerUnit;
}
[[nodiscard]] constexpr std::int64_t slotOfIndex(std::int64_t index) {
    return index % kSlotsPerUnit;
}
// Everything the panel says about one parameter, in one row: the one table
// labels, short names, tooltips and NRPN numbers come from.
struct ParameterRow {
    std::int64_t index;
    std::int64_t number;      // the NRPN number it is sent on
    std::string label;        // shown above its slider, verbatim
    std::string shortName;    // in lists and the monitor; empty where no ball drives it
    std::string description;  // one sentence for a tooltip, with the NRPN number
};

// The 42 rows, by parameter index.
[[nodiscard]] const std::vector<ParameterRow>& parameterTable();
// The labels column of the table, by parameter index (`sliderLabels`).
[[nodiscard]] const std::vector<std::string>& sliderLabels();
// The description column; empty for an index outside the table.
[[nodiscard]] std::string parameterDescription(std::int64_t index);

// NRPN numbers of one mod button: `on` while its flag is set, `off` otherwise.
struct ModButtonNumbers {
    std::int64_t on;
    std::int64_t off;
};
inline constexpr int kModButtonCount = 8;
// Mod button i sends 102 + 2i when set and 103 + 2i when cleared. Buttons 0
// to 5 belong to units A to F; 6 and 7 have no button and change only
// through presets.
inline constexpr std::array<ModButtonNumbers, kModButtonCount> nrpnButtonStates = [] {
    std::array<ModButtonNumbers, kModButtonCount> table{};
    for (int i = 0; i < kModButtonCount; ++i) {
        table[static_cast<std::size_t>(i)] = {102 + 2 * i, 103 + 2 * i};
    }
    return table;
}();

}  // namespace tarnwell
