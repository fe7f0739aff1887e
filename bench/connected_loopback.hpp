#pragma once

#include <memory>

#include "core/midi/midi_manager.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"

namespace tarnwell::bench {

// A manager on a loopback service with one destination "Synth", connected
// unless asked otherwise, so sends are delivered and recorded.
struct ConnectedLoopback {
    explicit ConnectedLoopback(bool connect = true) {
        service->addDestination("Synth");
        manager = MidiManager::create(service, queue);
        if (connect) {
            manager->connectToDestination(0);
            queue.runPending();
        }
    }

    std::shared_ptr<LoopbackMidiService> service = std::make_shared<LoopbackMidiService>();
    ManualQueue queue;
    std::shared_ptr<MidiManager> manager;
};

}  // namespace tarnwell::bench
