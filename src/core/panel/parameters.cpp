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

// What each slot of a unit sets, in words, for tooltips.
constexpr std::array<std::string_view, kSlotsPerUnit> kSlotMeanings = {
    "The level of the odd harmonics",
    "The level of the even harmonics",
    "The level of the harmonic partials",
    "The tilt of the harmonic spectrum",
    "The tuning",
    "The octave",
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

constexpr std::array<std::string_view, kParameterCount - kUnitCount* kSlotsPerUnit> kRegenMeanings =
    {
        "The regeneration of the left channel", "The regeneration of the right channel",
        "The filter of the regeneration",       "The feedback of the regeneration",
        "The mix of the regeneration",          "The further regeneration parameter",
};

}  // namespace

std::string parameterDescription(std::int64_t index) {
    if (index < 0 || index >= kParameterCount) {
        return {};
    }
    const std::string number = std::to_string(nrpnNumberOfIndex(index));
    if (index >= kUnitCount * kSlotsPerUnit) {
        return std::string(
                   kRegenMeanings[static_cast<std::size_t>(index - kUnitCount * kSlotsPerUnit)]) +
               "; sends NRPN " + number + ".";
    }
    const char unit = static_cast<char>('A' + groupOfIndex(index));
    return std::string(kSlotMeanings[static_cast<std::size_t>(slotOfIndex(index))]) + " of unit " +
           unit + "; sends NRPN " + number + ".";
}

const std::vector<std::string>& sliderLabels() {
    static const std::vector<std::string> labels = buildLabels();
    return labels;
}

}  // namespace tarnwell
