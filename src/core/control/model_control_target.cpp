#include "core/control/model_control_target.hpp"

#include <algorithm>

#include "core/base/main_queue.hpp"
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

ModelControlTarget::ModelControlTarget(Model& model, MainQueue& queue, const TimeSource& clock)
    : model_(model),
      queue_(queue),
      clock_(clock),
      morph_(&model.morph()),
      self_(std::make_shared<ModelControlTarget*>(this)) {
    // Undo or redo while a turn is open ends it, so the next move is a step
    // of its own and not lost inside a gesture whose step was taken back.
    historyConnection_ = model_.history().changed.connect([this] {
        if (!editing_) {
            endTurn();
        }
    });
}

ModelControlTarget::~ModelControlTarget() {
    endTurn();
}

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

void ModelControlTarget::setValue(ControlId control, double value) {
    if (!isValidControl(control)) {
        return;
    }
    const ControlInfo& info = controlInfo(control);
    if (info.type != ControlType::continuous) {
        return;
    }
    value = std::clamp(value, info.minimum, info.maximum);
    touch(control);
    editing_ = true;
    if (control.kind == ControlKind::parameter) {
        model_.controller().editParameter(control.index, value);
    } else if (control.kind == ControlKind::morph) {
        if (morph_ != nullptr) {
            morph_->setMorphPosition(value);
        }
    } else if (const auto field = ballField(control.kind)) {
        model_.physics().editBall(control.index,
                                  [field, value](Ball& ball) { ball.*field = value; });
    }
    editing_ = false;
}

void ModelControlTarget::setOn(ControlId control, bool on) {
    if (!isValidControl(control) || controlInfo(control).type != ControlType::onOff) {
        return;
    }
    endTurn();
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

void ModelControlTarget::touch(ControlId control) {
    const std::chrono::nanoseconds now = clock_.now();
    if (turnOpen_ && (control != turnControl_ || now - lastMove_ >= kJoinWindow)) {
        endTurn();
    }
    if (!turnOpen_) {
        turnOpen_ = true;
        turnControl_ = control;
        beginGesture(control);
    }
    lastMove_ = now;
    armEnd(kJoinWindow);
}

void ModelControlTarget::armEnd(std::chrono::nanoseconds after) {
    if (endArmed_) {
        return;
    }
    endArmed_ = true;
    std::weak_ptr<ModelControlTarget*> weak = self_;
    queue_.postAfter(std::chrono::ceil<std::chrono::milliseconds>(after), [weak] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        ModelControlTarget& target = **self;
        target.endArmed_ = false;
        if (!target.turnOpen_) {
            return;
        }
        const auto quiet = target.clock_.now() - target.lastMove_;
        if (quiet >= kJoinWindow) {
            target.endTurn();
        } else {
            target.armEnd(kJoinWindow - quiet);
        }
    });
}

void ModelControlTarget::endTurn() {
    if (!turnOpen_) {
        return;
    }
    turnOpen_ = false;
    endGesture(turnControl_);
}

void ModelControlTarget::beginGesture(ControlId control) {
    if (control.kind == ControlKind::parameter) {
        model_.controller().beginGesture();
    } else if (control.kind == ControlKind::morph) {
        if (morph_ != nullptr) {
            morph_->beginMorphGesture();
        }
    } else {
        model_.physics().beginGesture();
    }
}

void ModelControlTarget::endGesture(ControlId control) {
    if (control.kind == ControlKind::parameter) {
        model_.controller().endGesture();
    } else if (control.kind == ControlKind::morph) {
        if (morph_ != nullptr) {
            morph_->endMorphGesture();
        }
    } else {
        model_.physics().endGesture();
    }
}

}  // namespace tarnwell
