// Cost of one simulation tick with all five balls running: the arithmetic
// alone (no destination connected) and with five NRPN sequences delivered
// through the loopback service.
#include <benchmark/benchmark.h>

#include "connected_loopback.hpp"
#include "core/physics/simulation.hpp"

namespace {

void runTicks(benchmark::State& state, bool connected) {
    tarnwell::bench::ConnectedLoopback loopback(connected);
    tarnwell::PhysicsSimulation simulation(*loopback.manager);
    for (std::size_t i = 0; i < simulation.balls().size(); ++i) {
        simulation.toggleRunning(i);
    }
    std::int64_t ticks = 0;
    for (auto _ : state) {
        simulation.timerTick();
        benchmark::DoNotOptimize(simulation.balls().data());
        if ((++ticks & 0x3FFF) == 0) {
            state.PauseTiming();
            loopback.service->clearRecorded();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_TickFiveBallsUnconnected(benchmark::State& state) {
    runTicks(state, false);
}
BENCHMARK(BM_TickFiveBallsUnconnected);

void BM_TickFiveBallsSending(benchmark::State& state) {
    runTicks(state, true);
}
BENCHMARK(BM_TickFiveBallsSending);

}  // namespace

BENCHMARK_MAIN();
