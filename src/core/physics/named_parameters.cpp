#include "core/physics/named_parameters.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/panel/parameters.hpp"

namespace tarnwell {

namespace {

constexpr std::array<std::string_view, kSlotsPerUnit> kSlotNames = {
    "Odd harmonics", "Even harmonics", "Harmonic partials", "Harmonic tilt", "Tuning", "Octave",
};

constexpr std::array<std::string_view, 5> kRegenNames = {
    "regen left", "regen right", "regen filter", "regen feedback", "regen mix",
};

std::vector<NamedNRPN> buildTable() {
    std::vector<NamedNRPN> table;
    table.reserve(kUnitCount * kSlotsPerUnit + kRegenNames.size());
    std::int64_t number = 1;
    for (int unit = 0; unit < kUnitCount; ++unit) {
        const char letter = static_cast<char>('A' + unit);
        for (const auto slot : kSlotNames) {
            table.push_back({number++, std::string(slot) + ' ' + letter});
        }
    }
    for (const auto regen : kRegenNames) {
        table.push_back({number++, std::string(regen)});
    }
    return table;
}

}  // namespace

const std::vector<NamedNRPN>& namedNRPNs() {
    static const std::vector<NamedNRPN> table = buildTable();
    return table;
}

std::string assignedParamLabel(std::int64_t number) {
    const auto& table = namedNRPNs();
    const auto entry =
        std::ranges::find_if(table, [&](const NamedNRPN& e) { return e.number == number; });
    if (entry == table.end()) {
        return "Param #" + std::to_string(number);
    }
    return ": " + entry->name;
}

}  // namespace tarnwell
