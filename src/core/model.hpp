#pragma once

#include <memory>

#include "core/panel/controller.hpp"
#include "core/panel/presets.hpp"
#include "core/physics/simulation.hpp"

namespace tarnwell {

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
// Threading: main thread only, like every part of it.
class Model {
public:
    // A null `midiService` means no MIDI system: the panel runs "Not
    // Connected". `queue`, `random` and `chooser` (when given) must outlive
    // the model.
    Model(std::shared_ptr<MidiService> midiService, MainQueue& queue, RandomSource& random,
          FileChooser* chooser, Presets::Folder documentsFolder);
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    [[nodiscard]] MidiManager& midi() { return *midi_; }
    [[nodiscard]] Controller& controller() { return controller_; }
    [[nodiscard]] Presets& presets() { return presets_; }
    [[nodiscard]] PhysicsSimulation& physics() { return physics_; }
    // The source that randomise and the physics page's dice draw from.
    [[nodiscard]] RandomSource& random() { return random_; }

private:
    std::shared_ptr<MidiManager> midi_;
    RandomSource& random_;
    Controller controller_;
    Presets presets_;
    PhysicsSimulation physics_;
};

}  // namespace tarnwell
