#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"
#include "support/fake_file_chooser.hpp"
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

// A model on a loopback service with one destination "Synth", connected
// unless asked otherwise; file dialogs are answered by the test, and there is
// no documents folder until a test sets `documents`.
struct PanelHarness {
    explicit PanelHarness(bool connect = true) {
        synth = service->addDestination("Synth");
        model =
            std::make_unique<Model>(service, queue, random, &chooser, [this] { return documents; });
        if (connect) {
            controller().destinationPickerAppeared();
            queue.runPending();
        }
    }

    Controller& controller() { return model->controller(); }
    Presets& presets() { return model->presets(); }
    MidiManager& manager() { return model->midi(); }
    std::vector<Sent> sent() const { return sentTo(*service, synth); }

    std::shared_ptr<LoopbackMidiService> service = std::make_shared<LoopbackMidiService>();
    ManualQueue queue;
    SeededRandom random;
    FakeFileChooser chooser;
    std::optional<std::filesystem::path> documents;
    EndpointRef synth = 0;
    std::unique_ptr<Model> model;
};

}  // namespace tarnwell::test
