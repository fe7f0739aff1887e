// Preset file costs: encoding and decoding the usual 100 presets, and a whole
// import (read, decode, replace the list, recall the first preset) of a
// 10,000-preset file.
#include <filesystem>
#include <random>

#include <benchmark/benchmark.h>

#include "core/base/file_io.hpp"
#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"
#include "core/panel/preset_file.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"

namespace {

std::vector<tarnwell::MidiSliderPreset> randomPresets(std::size_t count) {
    std::mt19937_64 engine(3);
    std::uniform_real_distribution<double> value(0.0, 16383.0);
    std::vector<tarnwell::MidiSliderPreset> presets(count);
    for (auto& p : presets) {
        for (auto& v : p.values) {
            v = value(engine);
        }
        p.modeToggles[static_cast<std::size_t>(tarnwell::ModeToggle::filterModeToggle)] =
            engine() % 2 == 0;
    }
    return presets;
}

void BM_Encode100Presets(benchmark::State& state) {
    const auto presets = randomPresets(100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarnwell::encodePresetFile(presets));
    }
}
BENCHMARK(BM_Encode100Presets)->Unit(benchmark::kMicrosecond);

void BM_Decode100Presets(benchmark::State& state) {
    const std::string text = *tarnwell::encodePresetFile(randomPresets(100)).text;
    state.counters["bytes"] = static_cast<double>(text.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarnwell::decodePresetFile(text));
    }
}
BENCHMARK(BM_Decode100Presets)->Unit(benchmark::kMicrosecond);

void BM_Import10000PresetFile(benchmark::State& state) {
    const auto file = std::filesystem::temp_directory_path() / "tarnwell-bench-10000.json";
    const std::string text = *tarnwell::encodePresetFile(randomPresets(10000)).text;
    if (!tarnwell::writeFileAtomically(file, text).empty()) {
        state.SkipWithError("could not write the test file");
        return;
    }
    state.counters["bytes"] = static_cast<double>(text.size());

    auto service = std::make_shared<tarnwell::LoopbackMidiService>();
    service->addDestination("Synth");
    tarnwell::ManualQueue queue;
    tarnwell::SystemRandom random;
    tarnwell::Model model(service, queue, random, nullptr, {});
    for (auto _ : state) {
        const auto read = tarnwell::readWholeFile(file, tarnwell::kMaxPresetFileBytes);
        auto decoded = tarnwell::decodePresetFile(*read.bytes);
        model.presets().replacePresets(std::move(*decoded.presets));
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_Import10000PresetFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
