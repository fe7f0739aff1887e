#include "core/base/signal.hpp"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

TEST(Signal, ConnectionScopeEndsDelivery) {
    Signal<int> signal;
    std::vector<int> seen;
    {
        Connection c = signal.connect([&](int v) { seen.push_back(v); });
        signal.emit(1);
    }
    signal.emit(2);
    EXPECT_EQ(seen, std::vector<int>{1});
    EXPECT_EQ(signal.slotCount(), 0u);
}

TEST(Signal, SlotsDisconnectedDuringEmissionAreNotCalledAndNewOnesWaitForTheNext) {
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
}

TEST(Signal, SlotMayDestroyTheSignalItIsCalledFrom) {
    auto signal = std::make_unique<Signal<>>();
    int calls = 0;
    Connection a = signal->connect([&] { signal.reset(); });
    Connection b = signal->connect([&] { ++calls; });
    signal->emit();
    EXPECT_EQ(calls, 0) << "slots of a destroyed signal are not called";
}

}  // namespace
}  // namespace tarnwell
