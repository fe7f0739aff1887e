#include "core/panel/parameters.hpp"

namespace tarnwell {

namespace {

// The six slots of a unit: the slider label's text (the unit's letter
// follows), the short name a list or the monitor uses (the letter follows),
// and what the slot sets, in words.
struct SlotRow {
    std::string_view label;
    std::string_view shortName;
    std::string_view meaning;
};

constexpr std::array<SlotRow, kSlotsPerUnit> kSlots = {{
    {"f/oh*n = (2n -1 ) f Odd harmonics", "Odd harmonics", "The level of the odd harmonics"},
    {"f/eh*n = 2n/f Even harmonics", "Even harmonics", "The level of the even harmonics"},
    {"f/hp*n = nf harmonic Partials", "Harmonic partials", "The level of the harmonic partials"},
    {"HT(n) Harmonic Tilt", "Harmonic tilt", "The tilt of the harmonic spectrum"},
    {"T = (f) Tuning", "Tuning", "The tuning"},
    {"0 = 2k/f Octave", "Octave", "The octave"},
}};

// The Regen tab's six, whole. The last has no short name: no ball drives it.
constexpr std::array<SlotRow, kParameterCount - kUnitCount* kSlotsPerUnit> kRegen = {{
    {"regeneration left", "regen left", "The regeneration of the left channel"},
    {"regeneration right", "regen right", "The regeneration of the right channel"},
    {"regen filter", "regen filter", "The filter of the regeneration"},
    {"regen feedback", "regen feedback", "The feedback of the regeneration"},
    {"regen mix", "regen mix", "The mix of the regeneration"},
    {"<N/F+Q(n) = 3", "", "The further regeneration parameter"},
}};

std::vector<ParameterRow> buildTable() {
    std::vector<ParameterRow> table;
    table.reserve(kParameterCount);
    const auto add = [&table](std::string label, std::string shortName, std::string meaning) {
        const auto index = static_cast<std::int64_t>(table.size());
        const std::int64_t number = nrpnNumberOfIndex(index);
        table.push_back({index, number, std::move(label), std::move(shortName),
                         std::move(meaning) + "; sends NRPN " + std::to_string(number) + "."});
    };
    for (int unit = 0; unit < kUnitCount; ++unit) {
        const std::string letter(1, static_cast<char>('A' + unit));
        for (const SlotRow& slot : kSlots) {
            add(std::string(slot.label) + ' ' + letter, std::string(slot.shortName) + ' ' + letter,
                std::string(slot.meaning) + " of unit " + letter);
        }
    }
    for (const SlotRow& regen : kRegen) {
        add(std::string(regen.label), std::string(regen.shortName), std::string(regen.meaning));
    }
    return table;
}

std::vector<std::string> buildLabels() {
    std::vector<std::string> labels;
    for (const ParameterRow& row : parameterTable()) {
        labels.push_back(row.label);
    }
    return labels;
}

}  // namespace

const std::vector<ParameterRow>& parameterTable() {
    static const std::vector<ParameterRow> table = buildTable();
    return table;
}

std::string parameterDescription(std::int64_t index) {
    if (index < 0 || index >= kParameterCount) {
        return {};
    }
    return parameterTable()[static_cast<std::size_t>(index)].description;
}

const std::vector<std::string>& sliderLabels() {
    static const std::vector<std::string> labels = buildLabels();
    return labels;
}

}  // namespace tarnwell
