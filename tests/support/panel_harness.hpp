#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/panel/controller.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"

namespace tarnwell::test {

// Deterministic words for tests that need randomness but not a specific draw.
class SeededRandom final : public RandomSource {
public:
    explicit SeededRandom(std::uint64_t seed = 42) : engine_(seed) {}
    std::uint64_t next64() override { return engine_(); }

private:
    std::mt19937_64 engine_;
};

// A controller on a loopback service with one destination "Synth", connected
// unless asked otherwise.
struct PanelHarness {
    explicit PanelHarness(bool connect = true) {
        synth = service->addDestination("Synth");
        manager = MidiManager::create(service, queue);
        controller = std::make_unique<Controller>(manager, queue, random);
        if (connect) {
            controller->destinationPickerAppeared();
            queue.runPending();
        }
    }

    std::vector<Sent> sent() const { return sentTo(*service, synth); }

    std::shared_ptr<LoopbackMidiService> service = std::make_shared<LoopbackMidiService>();
    ManualQueue queue;
    SeededRandom random;
    EndpointRef synth = 0;
    std::shared_ptr<MidiManager> manager;
    std::unique_ptr<Controller> controller;
};

}  // namespace tarnwell::test
