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

// The closed range's ends and fractions are checked through the physics page's Dice.
TEST(Random, RejectsTheBiasedRemainder) {
    // 2^64 mod 3 = 1, so exactly the top word lies in the incomplete block.
    ScriptedRandom random({kMax, kMax - 1});
    EXPECT_EQ(uniformInclusive(random, 2), (kMax - 1) % 3);
    EXPECT_EQ(random.draws, 2);
}

}  // namespace
}  // namespace tarnwell
