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

}  // namespace

const std::vector<std::string>& sliderLabels() {
    static const std::vector<std::string> labels = buildLabels();
    return labels;
}

}  // namespace tarnwell
