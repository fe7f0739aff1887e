#pragma once

#include <chrono>
#include <cstdint>

#include "core/base/signal.hpp"
#include "core/base/time_source.hpp"
#include "core/control/control_engine.hpp"

namespace tarnwell {

class Model;

// The owner of the morph position between two presets, once there is one.
// `setMorphPositionNow` sets the panel before it returns (the controller
// engine paces its moves to one a frame already) and records its undo step
// through the model's history like any edit, so the moves of one knob turn
// join one step.
class MorphControl {
public:
    virtual ~MorphControl() = default;
    [[nodiscard]] virtual double morphPosition() const = 0;  // 0 to 1
    virtual void setMorphPositionNow(double position) = 0;
};

// Drives the real panel from the controller engine, through the same
// operations as a mouse or keyboard edit (Controller::editParameter,
// toggleModButton, setModeToggle, resetDAC, randomizeSliders, the physics
// simulation's ball edits), so grouping copies, sending, undo and the
// modified marker all follow as for a hand edit. Everything it sends goes out
// as SendOrigin::controller: paced like a hand edit, shown apart in the
// monitor.
//
// Undo: one knob turn is one step. A move of a continuous control joins the
// step of the previous move when that move was of the same control, less
// than kJoinWindow before, and its step is still the newest (History's
// JoinScope). So a move of another control, a press or a switch, an edit by
// any other means (a click on dice right after a turn), an undo or redo, or
// a pause of kJoinWindow starts a new step; and no other edit ever joins a
// knob's step. Nothing runs while the controller rests: the pause is
// measured when the next move comes.
//
// Threading: main thread only. `model` and `clock` must outlive it.
class ModelControlTarget final : public ControlTarget {
public:
    static constexpr std::chrono::milliseconds kJoinWindow{500};

    explicit ModelControlTarget(Model& model, const TimeSource& clock = steadyTime());
    ~ModelControlTarget() override;
    ModelControlTarget(const ModelControlTarget&) = delete;
    ModelControlTarget& operator=(const ModelControlTarget&) = delete;

    // The morph position's owner: the model's morph unless another is set;
    // while none is (null), the morph control stays at 0 and moves of it do
    // nothing. `morph` must outlive this or be unset.
    void setMorphControl(MorphControl* morph);

    [[nodiscard]] double value(ControlId control) const override;
    void setValue(ControlId control, double value) override;
    void setOn(ControlId control, bool on) override;
    void press(ControlId control) override;

    // Ends the open knob turn now, if any: the next move is a step of its own.
    void endTurn() { turnOpen_ = false; }
    // Whether the next move of the last control moved would join its step.
    [[nodiscard]] bool turnOpen() const;

private:
    Model& model_;
    const TimeSource& clock_;
    MorphControl* morph_ = nullptr;

    bool turnOpen_ = false;
    ControlId turnControl_;
    std::uint64_t turnStep_ = 0;
    std::chrono::nanoseconds lastMove_{0};
};

// Puts `control` back to the value a new panel starts with, as one hand edit
// (one undo step): a parameter to 0, a ball setting to the ball's first
// setting, a button or switch off, a ball stopped. Returns false, changing
// nothing, for a control without such a value (Reset DAC, dice, morph).
bool resetControlToDefault(Model& model, ControlId control);
// Whether `control` has a value to reset to.
[[nodiscard]] bool controlHasDefault(ControlId control);

}  // namespace tarnwell
