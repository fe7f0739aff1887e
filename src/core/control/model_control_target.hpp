#pragma once

#include <chrono>
#include <memory>

#include "core/base/signal.hpp"
#include "core/base/time_source.hpp"
#include "core/control/control_engine.hpp"

namespace tarnwell {

class MainQueue;
class Model;

// The owner of the morph position between two presets, once there is one.
class MorphControl {
public:
    virtual ~MorphControl() = default;
    [[nodiscard]] virtual double morphPosition() const = 0;  // 0 to 1
    virtual void setMorphPosition(double position) = 0;
    virtual void beginMorphGesture() = 0;
    virtual void endMorphGesture() = 0;
};

// Drives the real panel from the controller engine, through the same
// operations as a mouse or keyboard edit (Controller::editParameter,
// toggleModButton, setModeToggle, resetDAC, randomizeSliders, the physics
// simulation's ball edits), so grouping copies, sending, undo and the
// modified marker all follow as for a hand edit.
//
// Undo: one knob turn is one step. Moves of one continuous control closer
// than kJoinWindow apart join one step (an open gesture of the model); a
// move of another control, a press or a switch, an undo or redo, or
// kJoinWindow without a move ends it. The end after the pause comes from a
// task posted after a delay, armed only while a turn is open, so nothing
// runs while the controller rests. Another edit made by other means inside
// that half second (a click on dice right after a turn) joins the turn's
// step: undo then takes back both together; nothing is lost, and redo gives
// both back.
//
// Threading: main thread only. `model`, `queue` and `clock` must outlive it.
class ModelControlTarget final : public ControlTarget {
public:
    static constexpr std::chrono::milliseconds kJoinWindow{500};

    ModelControlTarget(Model& model, MainQueue& queue, const TimeSource& clock = steadyTime());
    ~ModelControlTarget() override;
    ModelControlTarget(const ModelControlTarget&) = delete;
    ModelControlTarget& operator=(const ModelControlTarget&) = delete;

    // The morph position's owner: the model's morph unless another is set;
    // while none is (null), the morph control stays at 0 and moves of it do
    // nothing. Ends an open turn first. `morph` must outlive this or be unset.
    void setMorphControl(MorphControl* morph);

    [[nodiscard]] double value(ControlId control) const override;
    void setValue(ControlId control, double value) override;
    void setOn(ControlId control, bool on) override;
    void press(ControlId control) override;

    // Ends the open knob turn now, if any.
    void endTurn();
    [[nodiscard]] bool turnOpen() const { return turnOpen_; }

private:
    void touch(ControlId control);
    void armEnd(std::chrono::nanoseconds after);
    void beginGesture(ControlId control);
    void endGesture(ControlId control);

    Model& model_;
    MainQueue& queue_;
    const TimeSource& clock_;
    MorphControl* morph_ = nullptr;
    Connection historyConnection_;

    bool turnOpen_ = false;
    ControlId turnControl_;
    std::chrono::nanoseconds lastMove_{0};
    bool endArmed_ = false;
    bool editing_ = false;  // inside one of our own edits
    // Delayed tasks hold a weak reference, so one that runs after this
    // object has gone does nothing.
    std::shared_ptr<ModelControlTarget*> self_;
};

}  // namespace tarnwell
