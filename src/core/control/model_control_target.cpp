#include "core/control/model_control_target.hpp"

#include <algorithm>

#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"

namespace tarnwell {

namespace {

double Ball::*ballField(ControlKind kind) {
    switch (kind) {
        case ControlKind::ballAmpX:
            return &Ball::ampX;
        case ControlKind::ballAmpY:
            return &Ball::ampY;
        case ControlKind::ballFreqX:
            return &Ball::freqX;
        case ControlKind::ballFreqY:
            return &Ball::freqY;
        case ControlKind::ballPhaseX:
            return &Ball::phaseX;
        case ControlKind::ballPhaseY:
            return &Ball::phaseY;
        case ControlKind::ballMagnetStrength:
            return &Ball::magnetStrength;
        default:
            return nullptr;
    }
}

}  // namespace

ModelControlTarget::ModelControlTarget(Model& model, const TimeSource& clock)
    : model_(model), clock_(clock), morph_(&model.morph()) {}

ModelControlTarget::~ModelControlTarget() = default;

void ModelControlTarget::setMorphControl(MorphControl* morph) {
    endTurn();
    morph_ = morph;
}

double ModelControlTarget::value(ControlId control) const {
    if (!isValidControl(control)) {
        return 0.0;
    }
    const std::size_t i = control.index;
    switch (control.kind) {
        case ControlKind::parameter:
            return model_.controller().sliderValues()[i];
        case ControlKind::modButton:
            return model_.controller().modButtonPressed()[i] ? 1.0 : 0.0;
        case ControlKind::modeSwitch:
            return model_.controller().modeToggle(static_cast<ModeToggle>(i)) ? 1.0 : 0.0;
        case ControlKind::morph:
            return morph_ != nullptr ? morph_->morphPosition() : 0.0;
        case ControlKind::resetDac:
        case ControlKind::dice:
        case ControlKind::calibrate:
        case ControlKind::physicsDice:
            return 0.0;
        default:
            break;
    }
    const auto& balls = model_.physics().balls();
    if (i >= balls.size()) {
        return 0.0;
    }
    if (control.kind == ControlKind::ballRun) {
        return balls[i].isRunning ? 1.0 : 0.0;
    }
    const auto field = ballField(control.kind);
    return field != nullptr ? balls[i].*field : 0.0;
}

bool ModelControlTarget::turnOpen() const {
    return turnOpen_ && clock_.now() - lastMove_ < kJoinWindow &&
           model_.history().newestStep() == turnStep_;
}

void ModelControlTarget::setValue(ControlId control, double value) {
    if (!isValidControl(control)) {
        return;
    }
    const ControlInfo& info = controlInfo(control);
    if (info.type != ControlType::continuous) {
        return;
    }
    value = std::clamp(value, info.minimum, info.maximum);
    History& history = model_.history();
    const std::chrono::nanoseconds now = clock_.now();
    const bool joins = turnOpen() && control == turnControl_;
    {
        const History::JoinScope join(history, joins ? turnStep_ : 0);
        const MidiManager::OriginScope origin(model_.midi(), SendOrigin::controller);
        if (control.kind == ControlKind::parameter) {
            model_.controller().editParameter(control.index, value);
        } else if (control.kind == ControlKind::morph) {
            if (morph_ != nullptr) {
                morph_->setMorphPositionNow(value);
            }
        } else if (const auto field = ballField(control.kind)) {
            model_.physics().editBall(control.index,
                                      [field, value](Ball& ball) { ball.*field = value; });
        }
    }
    turnOpen_ = true;
    turnControl_ = control;
    turnStep_ = history.newestStep();
    lastMove_ = now;
}

void ModelControlTarget::setOn(ControlId control, bool on) {
    if (!isValidControl(control) || controlInfo(control).type != ControlType::onOff) {
        return;
    }
    endTurn();
    const MidiManager::OriginScope origin(model_.midi(), SendOrigin::controller);
    Controller& controller = model_.controller();
    switch (control.kind) {
        case ControlKind::modButton:
            if (controller.modButtonPressed()[control.index] != on) {
                controller.toggleModButton(control.index);
            }
            return;
        case ControlKind::modeSwitch:
            controller.setModeToggle(static_cast<ModeToggle>(control.index), on);
            return;
        case ControlKind::ballRun: {
            const auto& balls = model_.physics().balls();
            if (control.index < balls.size() && balls[control.index].isRunning != on) {
                model_.physics().toggleRunning(control.index);
            }
            return;
        }
        default:
            return;
    }
}

void ModelControlTarget::press(ControlId control) {
    if (!isValidControl(control)) {
        return;
    }
    endTurn();
    const MidiManager::OriginScope origin(model_.midi(), SendOrigin::controller);
    switch (control.kind) {
        case ControlKind::resetDac:
            model_.controller().resetDAC();
            return;
        case ControlKind::dice:
            model_.controller().randomizeSliders("dice");
            return;
        case ControlKind::calibrate:
            model_.controller().randomizeSliders("calibrate");
            return;
        case ControlKind::physicsDice:
            model_.physics().randomizeWaves(model_.random());
            return;
        default:
            return;
    }
}

bool controlHasDefault(ControlId control) {
    if (!isValidControl(control)) {
        return false;
    }
    switch (control.kind) {
        case ControlKind::resetDac:
        case ControlKind::dice:
        case ControlKind::calibrate:
        case ControlKind::physicsDice:
        case ControlKind::morph:
            return false;
        default:
            return true;
    }
}

bool resetControlToDefault(Model& model, ControlId control) {
    if (!controlHasDefault(control)) {
        return false;
    }
    Controller& controller = model.controller();
    const std::size_t i = control.index;
    switch (control.kind) {
        case ControlKind::parameter:
            // A new panel starts with every parameter at 0.
            if (controller.sliderValues()[i] != 0.0) {
                controller.editParameter(control.index, 0.0);
            }
            return true;
        case ControlKind::modButton:
            if (controller.modButtonPressed()[i]) {
                controller.toggleModButton(control.index);
            }
            return true;
        case ControlKind::modeSwitch:
            controller.setModeToggle(static_cast<ModeToggle>(i), false);
            return true;
        default:
            break;
    }
    PhysicsSimulation& physics = model.physics();
    if (i >= physics.balls().size() || i >= initialBalls().size()) {
        return false;
    }
    if (control.kind == ControlKind::ballRun) {
        if (physics.balls()[i].isRunning) {
            physics.toggleRunning(i);
        }
        return true;
    }
    const auto field = ballField(control.kind);
    if (field == nullptr) {
        return false;
    }
    const double initial = initialBalls()[i].*field;
    if (physics.balls()[i].*field != initial) {
        physics.editBall(i, [field, initial](Ball& ball) { ball.*field = initial; });
    }
    return true;
}

}  // namespace tarnwell
