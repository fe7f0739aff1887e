#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/base/change_observer.hpp"
#include "core/base/time_source.hpp"
#include "core/history.hpp"
#include "core/panel/controller.hpp"
#include "core/panel/locks.hpp"
#include "core/panel/morph.hpp"
#include "core/panel/mutate.hpp"
#include "core/panel/presets.hpp"
#include "core/panel/resume_file.hpp"
#include "core/physics/simulation.hpp"

namespace tarnwell {

class ControllerInput;
class FileChooser;
class MainQueue;
class MidiManager;
class MidiService;
class RandomSource;

// Everything one running panel is made of, without a view: the single MIDI
// manager, the controller state and its operations, the presets, and the
// physics simulation. Building it registers the MIDI client and lists the
// destinations. The program and the tests assemble it the same way.
//
// Every user action that changes the sound is a step of `history`, recorded
// by the parts as they act; undo and redo put the panel back and send what
// the synthesizer needs to follow.
//
// Threading: main thread only, like every part of it.
class Model final : private ChangeObserver {
public:
    // A null `midiService` means no MIDI system: the panel runs "Not
    // Connected". `queue`, `random`, `chooser` (when given) and `clock` must
    // outlive the model; `clock` times the hardware controller's input.
    Model(std::shared_ptr<MidiService> midiService, MainQueue& queue, RandomSource& random,
          FileChooser* chooser, Presets::Folder documentsFolder,
          const TimeSource& clock = steadyTime());
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    [[nodiscard]] MidiManager& midi() { return *midi_; }
    // The manager for views that must keep it while they live.
    [[nodiscard]] const std::shared_ptr<MidiManager>& sharedMidi() const { return midi_; }
    [[nodiscard]] Controller& controller() { return controller_; }
    [[nodiscard]] Presets& presets() { return presets_; }
    [[nodiscard]] PhysicsSimulation& physics() { return physics_; }
    // The source that randomise and the physics page's dice draw from.
    [[nodiscard]] RandomSource& random() { return random_; }
    [[nodiscard]] History& history() { return history_; }
    // A hardware controller driving the panel; it has no input port until
    // a source is chosen.
    [[nodiscard]] ControllerInput& controllerInput() { return *controllerInput_; }

    // Exploring sounds: the parameters locked against it, Mutate's options,
    // and the morph between two presets.
    [[nodiscard]] Locks& locks() { return locks_; }
    [[nodiscard]] Morph& morph() { return morph_; }
    [[nodiscard]] const MutateOptions& mutateOptions() const { return mutateOptions_; }
    // The percent is kept within 1-100.
    void setMutateOptions(MutateOptions options);
    // Mutates the panel with the options set, from the random source; one
    // undo step. Returns how many parameters moved.
    std::size_t mutate();
    // After each change of the options.
    Signal<> mutateOptionsChanged;

    void undo();
    void redo();
    [[nodiscard]] PanelState currentState() const;

    // The sound as it stands, for the next run to start from.
    [[nodiscard]] ResumeState resumeState() const;
    // Shows a sound from an earlier run without sending it; balls stay
    // stopped. Not an undo step.
    void resume(const ResumeState& state);

private:
    void willChange(std::string_view action) override;
    void beginGesture() override { history_.beginGesture(); }
    void endGesture() override { history_.endGesture(); }
    void restore(const PanelState& state);

    std::shared_ptr<MidiManager> midi_;
    RandomSource& random_;
    Controller controller_;
    Presets presets_;
    PhysicsSimulation physics_;
    History history_;
    Locks locks_;
    MutateOptions mutateOptions_;
    Morph morph_;
    // Last: it drives the parts above.
    std::unique_ptr<ControllerInput> controllerInput_;
};

}  // namespace tarnwell
