#include "core/model.hpp"

#include "core/midi/midi_manager.hpp"

namespace tarnwell {

Model::Model(std::shared_ptr<MidiService> midiService, MainQueue& queue, RandomSource& random,
             FileChooser* chooser, Presets::Folder documentsFolder)
    : midi_(MidiManager::create(std::move(midiService), queue)),
      random_(random),
      controller_(*midi_, queue, random),
      presets_(controller_, chooser, std::move(documentsFolder)),
      physics_(*midi_) {}

Model::~Model() = default;

}  // namespace tarnwell
