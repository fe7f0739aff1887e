#include "core/control/controls.hpp"

#include <array>

#include "core/midi/nrpn.hpp"
#include "core/physics/simulation.hpp"

namespace tarnwell {

namespace {

constexpr std::size_t kFirstModButton = kParameterCount;
constexpr std::size_t kFirstSwitch = kFirstModButton + kUnitCount;
constexpr std::size_t kFirstCommand = kFirstSwitch + kModeToggleCount;  // resetDac ... physicsDice
constexpr std::size_t kFirstBall = kFirstCommand + 4;
constexpr std::size_t kMorphSlot = kFirstBall + kBallControlKinds * kLearnableBalls;
static_assert(kMorphSlot + 1 == kControlCount);

struct BallControl {
    ControlKind kind;
    std::string_view key;
    std::string_view name;  // as the physics page labels it
    double maximum;
};

using Sim = PhysicsSimulation;
constexpr std::array<BallControl, kBallControlKinds> kBallControls = {{
    {ControlKind::ballAmpX, "ampX", "Amp X", Sim::kMaxAmplitude},
    {ControlKind::ballAmpY, "ampY", "Amp Y", Sim::kMaxAmplitude},
    {ControlKind::ballFreqX, "freqX", "Freq X", Sim::kMaxFrequency},
    {ControlKind::ballFreqY, "freqY", "Freq Y", Sim::kMaxFrequency},
    {ControlKind::ballPhaseX, "phaseX", "Phase X", Sim::kMaxPhase},
    {ControlKind::ballPhaseY, "phaseY", "Phase Y", Sim::kMaxPhase},
    {ControlKind::ballMagnetStrength, "magnetStrength", "Magnet Strength", Sim::kMaxMagnetStrength},
    {ControlKind::ballRun, "run", "Start/Stop", 1.0},
}};

constexpr std::size_t ballKindOffset(ControlKind kind) {
    return static_cast<std::size_t>(kind) - static_cast<std::size_t>(ControlKind::ballAmpX);
}
static_assert(ballKindOffset(ControlKind::ballRun) + 1 == kBallControlKinds);

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

ControlInfo onOff(ControlId id, std::string key, std::string name) {
    return {id, std::move(key), std::move(name), ControlType::onOff, 0.0, 1.0};
}

ControlInfo action(ControlId id, std::string key, std::string name) {
    return {id, std::move(key), std::move(name), ControlType::action, 0.0, 1.0};
}

std::vector<ControlInfo> buildControls() {
    std::vector<ControlInfo> table;
    table.reserve(kControlCount);
    const auto& labels = sliderLabels();
    for (std::uint8_t i = 0; i < kParameterCount; ++i) {
        table.push_back({{ControlKind::parameter, i},
                         "param/" + std::to_string(nrpnNumberOfIndex(i)),
                         labels[i],
                         ControlType::continuous,
                         0.0,
                         static_cast<double>(kNrpnMax)});
    }
    for (std::uint8_t unit = 0; unit < kUnitCount; ++unit) {
        const char letter = static_cast<char>('A' + unit);
        table.push_back(onOff({ControlKind::modButton, unit}, std::string("mod/") + letter,
                              std::string("multiplication ") + letter));
    }
    for (const ModeToggleInfo& info : kModeToggles) {
        table.push_back(onOff({ControlKind::modeSwitch, static_cast<std::uint8_t>(info.toggle)},
                              "switch/" + std::to_string(info.onNumber),
                              std::string(trimmed(info.textWhenOff)) + " / " +
                                  std::string(trimmed(info.textWhenOn))));
    }
    table.push_back(action({ControlKind::resetDac, 0}, "resetDAC", kResetDacText));
    table.push_back(action({ControlKind::dice, 0}, "dice", "dice"));
    table.push_back(action({ControlKind::calibrate, 0}, "calibrate", "calibrate"));
    table.push_back(action({ControlKind::physicsDice, 0}, "physics/dice", "Dice (physics)"));
    for (std::uint8_t ball = 0; ball < kLearnableBalls; ++ball) {
        const std::string prefix = std::to_string(ball + 1);
        for (const BallControl& control : kBallControls) {
            ControlInfo info{{control.kind, ball},
                             "ball/" + prefix + "/" + std::string(control.key),
                             "Ball " + prefix + " " + std::string(control.name),
                             ControlType::continuous,
                             0.0,
                             control.maximum};
            if (control.kind == ControlKind::ballRun) {
                info.type = ControlType::onOff;
            }
            table.push_back(std::move(info));
        }
    }
    table.push_back({{ControlKind::morph, 0}, "morph", "Morph", ControlType::continuous, 0.0, 1.0});
    return table;
}

}  // namespace

const std::vector<ControlInfo>& learnableControls() {
    static const std::vector<ControlInfo> table = buildControls();
    return table;
}

std::size_t controlSlot(ControlId id) {
    const std::size_t i = id.index;
    switch (id.kind) {
        case ControlKind::parameter:
            return i < kParameterCount ? i : kControlCount;
        case ControlKind::modButton:
            return i < kUnitCount ? kFirstModButton + i : kControlCount;
        case ControlKind::modeSwitch:
            return i < kModeToggleCount ? kFirstSwitch + i : kControlCount;
        case ControlKind::resetDac:
        case ControlKind::dice:
        case ControlKind::calibrate:
        case ControlKind::physicsDice:
            return i == 0 ? kFirstCommand + static_cast<std::size_t>(id.kind) -
                                static_cast<std::size_t>(ControlKind::resetDac)
                          : kControlCount;
        case ControlKind::morph:
            return i == 0 ? kMorphSlot : kControlCount;
        default:
            if (id.kind >= ControlKind::ballAmpX && id.kind <= ControlKind::ballRun &&
                i < static_cast<std::size_t>(kLearnableBalls)) {
                return kFirstBall + i * kBallControlKinds + ballKindOffset(id.kind);
            }
            return kControlCount;
    }
}

bool isValidControl(ControlId id) {
    return controlSlot(id) < kControlCount;
}

const ControlInfo& controlInfo(ControlId id) {
    return learnableControls()[controlSlot(id)];
}

std::optional<ControlId> controlFromKey(std::string_view key) {
    for (const ControlInfo& info : learnableControls()) {
        if (info.key == key) {
            return info.id;
        }
    }
    return std::nullopt;
}

}  // namespace tarnwell
