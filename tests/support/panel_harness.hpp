#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"
#include "core/panel/file_chooser.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"

namespace tarnwell::test {

// Deterministic words for tests that need randomness but not a specific draw.
class SeededRandom final : public RandomSource {
public:
    std::uint64_t next64() override { return engine_(); }

private:
    std::mt19937_64 engine_{42};
};

// Replays scripted words, then zeros, and counts the draws.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::deque<std::uint64_t> words) : words_(std::move(words)) {}
    std::uint64_t next64() override {
        ++draws;
        const auto w = words_.empty() ? 0 : words_.front();
        if (!words_.empty()) {
            words_.pop_front();
        }
        return w;
    }
    int draws = 0;

private:
    std::deque<std::uint64_t> words_;
};

// Holds the shown dialog so a test answers it, as the user would, after the
// operation has returned. answer() is false when no dialog is shown.
class FakeFileChooser final : public FileChooser {
public:
    void chooseFileToOpen(Choice done) override { pending_ = std::move(done); }
    void chooseFileToSave(Choice done) override { pending_ = std::move(done); }
    bool answer(std::optional<std::filesystem::path> file) {
        auto done = std::exchange(pending_, {});
        return done ? (done(std::move(file)), true) : false;
    }

private:
    Choice pending_;
};

// A model on a loopback service with one destination "Synth", connected
// unless asked otherwise; there is no documents folder until a test sets one.
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
