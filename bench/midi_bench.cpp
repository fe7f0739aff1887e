// Cost of the send path without a platform MIDI system: encoding alone, and
// encoding plus delivery through the loopback service via the manager.
#include <benchmark/benchmark.h>

#include "connected_loopback.hpp"
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

void BM_SendThroughLoopback(benchmark::State& state) {
    tarnwell::bench::ConnectedLoopback loopback;
    auto& service = loopback.service;
    auto& manager = loopback.manager;
    std::int64_t n = 0;
    for (auto _ : state) {
        manager->sendToConnected(n & 0x3FFF, 1 + (n % 42));
        ++n;
        if ((n & 0xFFFF) == 0) {
            state.PauseTiming();
            service->clearRecorded();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendThroughLoopback);

}  // namespace

BENCHMARK_MAIN();
