#include "core/panel/nrpn_names.hpp"

#include "core/panel/mode_toggles.hpp"
#include "core/panel/parameters.hpp"

namespace tarnwell {

std::string nrpnName(std::int64_t number) {
    for (const ParameterRow& row : parameterTable()) {
        if (row.number == number) {
            return row.label;
        }
    }
    if (number == kResetDacNumber) {
        return kResetDacText;
    }
    for (std::size_t i = 0; i < nrpnButtonStates.size(); ++i) {
        const ModButtonNumbers& pair = nrpnButtonStates[i];
        const std::string button = "Mod button " + std::to_string(i + 1);
        if (pair.on == number) {
            return button + " on";
        }
        if (pair.off == number) {
            return button + " off";
        }
    }
    for (const ModeToggleInfo& toggle : kModeToggles) {
        if (toggle.onNumber == number) {
            return std::string(toggle.textWhenOn);
        }
        if (toggle.offNumber == number) {
            return std::string(toggle.textWhenOff);
        }
    }
    return "NRPN " + std::to_string(number);
}

std::int64_t controlOfNumber(std::int64_t number) {
    for (const ModButtonNumbers& pair : nrpnButtonStates) {
        if (pair.off == number) {
            return pair.on;
        }
    }
    for (const ModeToggleInfo& toggle : kModeToggles) {
        if (toggle.offNumber == number) {
            return toggle.onNumber;
        }
    }
    return number;
}

}  // namespace tarnwell
