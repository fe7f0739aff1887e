// Preset file costs: encoding (which reads its text back before returning it)
// and decoding the usual 100 presets, the same for the largest list a file
// may hold with every number and name as long as written text gets (the
// worst case of an import and of a save), and a whole import (read, decode,
// replace the list, recall the first preset) of a 10,000-preset file.
#include <array>
#include <charconv>
#include <cmath>
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

// Every number 24 characters long when written, every name 64 four-byte
// characters, 50,000 presets of 64 values and 16 flags.
std::vector<tarnwell::MidiSliderPreset> largestPresets() {
    std::mt19937_64 engine(5);
    std::vector<double> longest;
    while (longest.size() < tarnwell::kMaxValuesPerPreset) {
        const double value = -std::ldexp(1.0 + static_cast<double>(engine() >> 12) * 0x1p-52,
                                         -1070 + static_cast<int>(engine() % 700));
        std::array<char, 32> text{};
        if (std::to_chars(text.data(), text.data() + text.size(), value).ptr - text.data() == 24) {
            longest.push_back(value);
        }
    }
    tarnwell::MidiSliderPreset preset;
    preset.values = longest;
    preset.modStates.assign(tarnwell::kMaxModStatesPerPreset, false);
    for (std::size_t i = 0; i < tarnwell::kMaxPresetNameLength; ++i) {
        preset.name += "\xF0\x9F\x8E\xB9";
    }
    return std::vector<tarnwell::MidiSliderPreset>(tarnwell::kMaxPresetsInFile, preset);
}

void BM_EncodeLargestList(benchmark::State& state) {
    const auto presets = largestPresets();
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarnwell::encodePresetFile(presets));
    }
    state.counters["bytes"] = static_cast<double>(tarnwell::kMaxWrittenPresetFileBytes);
}
BENCHMARK(BM_EncodeLargestList)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DecodeLargestFile(benchmark::State& state) {
    const std::string text = *tarnwell::encodePresetFile(largestPresets()).text;
    state.counters["bytes"] = static_cast<double>(text.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarnwell::decodePresetFile(text));
    }
}
BENCHMARK(BM_DecodeLargestFile)->Unit(benchmark::kMillisecond)->Iterations(3);

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
