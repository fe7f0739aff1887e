#include "core/panel/parameters.hpp"

namespace tarnwell {

namespace {

constexpr std::array<std::string_view, kSlotsPerUnit> kSlotTexts = {
    "f/oh*n = (2n -1 ) f Odd harmonics",
    "f/eh*n = 2n/f Even harmonics",
    "f/hp*n = nf harmonic Partials",
    "HT(n) Harmonic Tilt",
    "T = (f) Tuning",
    "0 = 2k/f Octave",
};

constexpr std::array<std::string_view, kParameterCount - kUnitCount* kSlotsPerUnit> kRegenLabels = {
    "regeneration left", "regeneration right", "regen filter",
    "regen feedback",    "regen mix",          "<N/F+Q(n) = 3",
};

std::vector<std::string> buildLabels() {
    std::vector<std::string> labels;
    labels.reserve(kParameterCount);
    for (int unit = 0; unit < kUnitCount; ++unit) {
        const char letter = static_cast<char>('A' + unit);
        for (const auto slot : kSlotTexts) {
            labels.push_back(std::string(slot) + ' ' + letter);
        }
    }
    for (const auto label : kRegenLabels) {
        labels.emplace_back(label);
    }
    return labels;
}

std::vector<std::vector<ModButtonNumbers>> buildModButtons() {
    std::vector<std::vector<ModButtonNumbers>> table;
    for (int i = 0; i < kModButtonCount; ++i) {
        table.push_back({ModButtonNumbers{102 + 2 * i, 103 + 2 * i}});
    }
    return table;
}

}  // namespace

const std::vector<std::string>& sliderLabels() {
    static const std::vector<std::string> labels = buildLabels();
    return labels;
}

const std::vector<std::vector<ModButtonNumbers>>& nrpnButtonStates() {
    static const std::vector<std::vector<ModButtonNumbers>> table = buildModButtons();
    return table;
}

}  // namespace tarnwell
