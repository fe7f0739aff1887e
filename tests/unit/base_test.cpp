#include <array>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "core/base/random.hpp"
#include "core/base/signal.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

TEST(Signal, DisconnectedSlotsStopAndSlotsConnectedDuringEmissionWaitForTheNext) {
    Signal<> signal;
    int secondCalls = 0;
    int lateCalls = 0;
    std::vector<Connection> late;
    Connection second;
    Connection first = signal.connect([&] {
        second.disconnect();
        late.push_back(signal.connect([&] { ++lateCalls; }));
    });
    second = signal.connect([&] { ++secondCalls; });
    signal.emit();
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(lateCalls, 0);
    signal.emit();
    EXPECT_EQ(lateCalls, 1);
    {
        Connection scoped = signal.connect([&] { ++secondCalls; });
    }
    signal.emit();
    EXPECT_EQ(secondCalls, 0) << "a connection going out of scope ends delivery";
}

TEST(Signal, SlotMayDestroyTheSignalItIsCalledFrom) {
    auto signal = std::make_unique<Signal<>>();
    int calls = 0;
    Connection a = signal->connect([&] { signal.reset(); });
    Connection b = signal->connect([&] { ++calls; });
    signal->emit();
    EXPECT_EQ(calls, 0) << "slots of a destroyed signal are not called";
}

using test::ScriptedRandom;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kTop = std::uint64_t{1} << 53;

TEST(Random, RejectsTheBiasedRemainderAndTheClosedRangeReachesBothEnds) {
    // 2^64 mod 3 = 1, so exactly the top word lies in the incomplete block.
    ScriptedRandom random({kMax, kMax - 1});
    EXPECT_EQ(uniformInclusive(random, 2), (kMax - 1) % 3);
    EXPECT_EQ(random.draws, 2);

    // count = 2^53 + 1; the largest accepted word maps to r = 2^53.
    const std::uint64_t count = kTop + 1;
    const std::uint64_t lastAccepted = kMax - (kMax % count + 1) % count;
    ScriptedRandom top({lastAccepted});
    EXPECT_EQ(uniformClosed(top, 0.0, 16383.0), 16383.0);
    ScriptedRandom half({kTop / 2});
    EXPECT_EQ(uniformClosed(half, 0.0, 16383.0), 16383.0 / 2);
}

}  // namespace
}  // namespace tarnwell
