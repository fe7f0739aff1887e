// CPU cost of the controller input on the main thread: a hardware controller's
// stream of 1,000 messages a second, written into the input ring as a MIDI
// system's real-time callback would, then drained, parsed, recognised,
// mapped and coalesced once per window frame (60 a second). Reported per
// message; at 1,000 messages a second, 1 us per message is 0.1 % of a core.
//
// The stream, per 100 messages: 60 knob moves (7-bit CC on 8 mapped knobs),
// 10 14-bit pairs (20 messages), 2 NRPN moves (8 messages), 6 notes passed on
// through thru, 6 clock bytes.
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/base/random.hpp"
#include "core/control/control_engine.hpp"
#include "core/control/model_control_target.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"

namespace {

using namespace tarnwell;
using Event = std::vector<std::uint8_t>;

constexpr std::size_t kMessagesPerSecond = 1000;
constexpr std::size_t kFramesPerSecond = 60;

// One second of the stream, one delivered event per message.
std::vector<Event> oneSecond() {
    std::vector<Event> events;
    std::uint8_t v = 0;
    while (events.size() < kMessagesPerSecond) {
        for (int i = 0; i < 60; ++i) {
            events.push_back({0xB0, static_cast<std::uint8_t>(20 + i % 8), v});
            v = static_cast<std::uint8_t>((v + 1) & 0x7F);
        }
        for (int i = 0; i < 10; ++i) {
            events.push_back({0xB1, 1, v});
            events.push_back({0xB1, 33, static_cast<std::uint8_t>(127 - v)});
        }
        for (int i = 0; i < 2; ++i) {
            events.push_back({0xB2, 99, 0});
            events.push_back({0xB2, 98, 7});
            events.push_back({0xB2, 6, v});
            events.push_back({0xB2, 38, 0});
        }
        for (int i = 0; i < 3; ++i) {
            events.push_back({0x93, static_cast<std::uint8_t>(60 + i), 100});
            events.push_back({0x83, static_cast<std::uint8_t>(60 + i), 0});
        }
        for (int i = 0; i < 6; ++i) {
            events.push_back({0xF8});
        }
    }
    events.resize(kMessagesPerSecond);
    return events;
}

std::vector<Mapping> mappings() {
    std::vector<Mapping> out;
    for (std::uint8_t i = 0; i < 8; ++i) {
        out.push_back(
            proposeMapping({ControlKind::parameter, i},
                           {SourceKind::controlChange, 0, static_cast<std::uint16_t>(20 + i)}));
    }
    out.push_back(
        proposeMapping({ControlKind::parameter, 10}, {SourceKind::controlChange14, 1, 1}));
    out.push_back(proposeMapping({ControlKind::ballAmpX, 0}, {SourceKind::nrpn, 2, 7}));
    for (Mapping& m : out) {
        m.pickup = Pickup::jump;  // every move reaches the panel
    }
    return out;
}

class NullTarget final : public ControlTarget {
public:
    [[nodiscard]] double value(ControlId) const override { return 0.0; }
    void setValue(ControlId, double v) override { benchmark::DoNotOptimize(v); }
    void setOn(ControlId, bool) override {}
    void press(ControlId) override {}
};

class CountingThru final : public ThruSink {
public:
    void forward(std::span<const std::uint8_t> messages) override { bytes += messages.size(); }
    std::size_t bytes = 0;
};

// Runs the stream through ring, engine and frames; one iteration is one
// second of input.
// With a queue, its virtual time moves a frame at a time and its tasks run
// (grouped copies, the end of a knob turn); `tidy` runs untimed after each
// second.
void runStream(benchmark::State& state, ControlTarget& target, ManualQueue* queue,
               const std::function<void()>& tidy = {}) {
    const std::vector<Event> events = oneSecond();
    MidiInputRing ring(4096);
    MidiInputWriter writer(ring);
    CountingThru thru;
    ControlEngine engine(target, &thru);
    engine.setMappings(mappings());
    engine.setThru(true);
    const std::size_t perFrame = kMessagesPerSecond / kFramesPerSecond + 1;
    std::chrono::nanoseconds now{0};
    for (auto _ : state) {
        for (std::size_t i = 0; i < events.size(); i += perFrame) {
            const std::size_t end = std::min(events.size(), i + perFrame);
            for (std::size_t e = i; e < end; ++e) {
                writer.write(0, now.count(), events[e]);
            }
            engine.drain(ring);
            now += std::chrono::microseconds(16667);
            engine.frame(now);
            if (queue != nullptr) {
                queue->advance(std::chrono::milliseconds(17));
            }
        }
        if (tidy) {
            state.PauseTiming();
            tidy();
            state.ResumeTiming();
        }
    }
    state.counters["per_message"] =
        benchmark::Counter(static_cast<double>(state.iterations() * events.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["lost"] = static_cast<double>(writer.droppedEvents());
    benchmark::DoNotOptimize(thru.bytes);
}

// Parse, recognise, map and coalesce, with a panel that costs nothing.
void BM_ControllerStream(benchmark::State& state) {
    NullTarget target;
    runStream(state, target, nullptr);
}
BENCHMARK(BM_ControllerStream)->Unit(benchmark::kMicrosecond);

// The same driving the real panel: each frame's values become edits that
// record undo steps and send NRPN sequences through the loopback service.
void BM_ControllerStreamToPanel(benchmark::State& state) {
    auto service = std::make_shared<LoopbackMidiService>();
    service->addDestination("Synth");
    ManualQueue queue;
    SystemRandom random;
    Model model(service, queue, random, nullptr, [] { return std::nullopt; });
    model.controller().destinationPickerAppeared();
    queue.runPending();
    ManualQueueTime clock(queue);
    ModelControlTarget target(model, clock);
    runStream(state, target, &queue, [&service] { service->clearRecorded(); });
}
BENCHMARK(BM_ControllerStreamToPanel)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
