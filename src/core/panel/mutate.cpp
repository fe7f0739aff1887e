#include "core/panel/mutate.hpp"

#include <algorithm>
#include <cmath>

#include "core/base/random.hpp"
#include "core/midi/nrpn.hpp"
#include "core/panel/controller.hpp"
#include "core/panel/locks.hpp"
#include "core/panel/parameters.hpp"

namespace tarnwell {

int clampedMutatePercent(int percent) {
    return std::clamp(percent, kMinMutatePercent, kMaxMutatePercent);
}

std::vector<double> mutatedValues(const std::vector<double>& values,
                                  const std::vector<bool>& linkedTabs, const Locks& locks,
                                  int percent, RandomSource& random) {
    constexpr auto kTop = static_cast<double>(kNrpnMax);
    const double reach = kTop * clampedMutatePercent(percent) / 100.0;
    const auto linked = [&linkedTabs](std::int64_t unit) {
        return unit < kUnitCount && static_cast<std::size_t>(unit) < linkedTabs.size() &&
               linkedTabs[static_cast<std::size_t>(unit)];
    };
    std::int64_t lead = -1;
    std::array<bool, kSlotsPerUnit> slotHeld{};
    for (std::int64_t unit = 0; unit < kUnitCount; ++unit) {
        if (!linked(unit)) {
            continue;
        }
        lead = lead < 0 ? unit : lead;
        for (std::int64_t slot = 0; slot < kSlotsPerUnit; ++slot) {
            slotHeld[static_cast<std::size_t>(slot)] = slotHeld[static_cast<std::size_t>(slot)] ||
                                                       locks.isLocked(unit * kSlotsPerUnit + slot);
        }
    }

    std::vector<double> out = values;
    for (std::size_t i = 0; i < out.size() && i < static_cast<std::size_t>(kParameterCount); ++i) {
        const auto index = static_cast<std::int64_t>(i);
        const std::int64_t unit = groupOfIndex(index);
        const std::int64_t slot = slotOfIndex(index);
        if (linked(unit)) {
            if (slotHeld[static_cast<std::size_t>(slot)]) {
                continue;
            }
            if (unit != lead) {
                // The lead's index is lower, so its new value is already drawn.
                out[i] = out[static_cast<std::size_t>(lead * kSlotsPerUnit + slot)];
                continue;
            }
        } else if (locks.isLocked(index)) {
            continue;
        }
        const double from = std::isfinite(out[i]) ? out[i] : 0.0;
        out[i] = std::clamp(from + uniformClosed(random, -reach, reach), 0.0, kTop);
    }
    return out;
}

std::array<bool, kModeToggleCount> mutatedToggles(const std::array<bool, kModeToggleCount>& toggles,
                                                  int percent, RandomSource& random) {
    std::array<bool, kModeToggleCount> out = toggles;
    const auto chance = static_cast<std::uint64_t>(clampedMutatePercent(percent));
    for (const ModeToggleInfo& info : kModeToggles) {
        if (!isStoredInPresets(info.toggle)) {
            continue;
        }
        // A draw from 0 to 199 below `percent`: a chance of percent / 200.
        if (uniformInclusive(random, 199) < chance) {
            const auto at = static_cast<std::size_t>(info.toggle);
            out[at] = !out[at];
        }
    }
    return out;
}

std::size_t mutate(Controller& controller, const Locks& locks, RandomSource& random,
                   const MutateOptions& options) {
    const std::vector<double>& before = controller.sliderValues();
    std::vector<double> values =
        mutatedValues(before, controller.linkedTabs(), locks, options.percent, random);
    std::array<bool, kModeToggleCount> toggles{};
    for (const ModeToggleInfo& info : kModeToggles) {
        toggles[static_cast<std::size_t>(info.toggle)] = controller.modeToggle(info.toggle);
    }
    const std::array<bool, kModeToggleCount> togglesBefore = toggles;
    if (options.switches) {
        toggles = mutatedToggles(toggles, options.percent, random);
    }
    std::size_t moved = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        moved += values[i] != before[i] ? 1 : 0;
    }
    if (moved == 0 && toggles == togglesBefore) {
        return 0;
    }
    controller.setExploredSound("mutate", values, controller.modButtonPressed(), toggles);
    return moved;
}

}  // namespace tarnwell
