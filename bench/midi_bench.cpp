// Cost of the send path without a platform MIDI system: encoding alone, and
// encoding plus delivery through the loopback service via the manager, also
// with the MIDI monitor recording.
#include <benchmark/benchmark.h>

#include "connected_loopback.hpp"
#include "core/midi/monitor_feed.hpp"
#include "core/midi/nrpn.hpp"

namespace {

void BM_EncodeNRPN(benchmark::State& state) {
    std::int64_t n = 0;
    for (auto _ : state) {
        auto bytes = tarnwell::encodeNRPN(n & 0x3FFF, (n >> 3) & 0x3FFF, 0);
        benchmark::DoNotOptimize(bytes);
        ++n;
    }
}
BENCHMARK(BM_EncodeNRPN);

// Sends one sequence per iteration, clearing the loopback's record now and
// then outside the timing so memory stays flat.
void sendEachIteration(benchmark::State& state, tarnwell::bench::ConnectedLoopback& loopback) {
    std::int64_t n = 0;
    for (auto _ : state) {
        loopback.manager->sendToConnected(n & 0x3FFF, 1 + (n % 42));
        ++n;
        if ((n & 0xFFFF) == 0) {
            state.PauseTiming();
            loopback.service->clearRecorded();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SendThroughLoopback(benchmark::State& state) {
    tarnwell::bench::ConnectedLoopback loopback;
    sendEachIteration(state, loopback);
}
BENCHMARK(BM_SendThroughLoopback);

// The same with the MIDI monitor open: every sequence is also recorded.
void BM_SendThroughLoopbackWithMonitor(benchmark::State& state) {
    tarnwell::bench::ConnectedLoopback loopback;
    tarnwell::MonitorFeed feed([](tarnwell::EndpointRef) { return std::string("Synth"); });
    loopback.manager->addSendObserver(&feed);
    sendEachIteration(state, loopback);
    loopback.manager->removeSendObserver(&feed);
}
BENCHMARK(BM_SendThroughLoopbackWithMonitor);

}  // namespace

BENCHMARK_MAIN();
