#include <chrono>
#include <csignal>
#include <future>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include <pthread.h>

#include <gtest/gtest.h>

#include "core/base/random.hpp"
#include "core/base/signal.hpp"
#include "core/base/waker.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

TEST(Signal, DisconnectedSlotsStopAndSlotsConnectedDuringEmissionWaitForTheNext) {
    Signal<> signal;
    int secondCalls = 0, lateCalls = 0;
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

Waker* signalledWaker = nullptr;
extern "C" void wakeFromSignal(int) {
    signalledWaker->wake(8);
}

TEST(Waker, ReasonsGivenBeforeOrDuringAWaitComeTogetherAndASignalHandlerMayGiveThem) {
    using namespace std::chrono_literals;
    Waker waker;
    waker.wake(1);
    waker.wake(4);
    EXPECT_EQ(waker.wait(), 5u) << "reasons given while the waiter was busy are kept";
    EXPECT_EQ(waker.take(), 0u);
    EXPECT_EQ(waker.wait(Waker::Clock::now() + 5ms), 0u) << "nothing pending: the deadline ends it";

    // A waiter with no deadline sleeps until another thread wakes it.
    auto woken = std::async(std::launch::async, [&] { return waker.wait(); });
    EXPECT_EQ(woken.wait_for(20ms), std::future_status::timeout);
    waker.wake(2);
    ASSERT_EQ(woken.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(woken.get(), 2u);

    // From a signal handler that interrupts the waiter itself.
    signalledWaker = &waker;
    struct sigaction action {};
    action.sa_handler = wakeFromSignal;
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    std::promise<pthread_t> started;
    auto signalled = std::async(std::launch::async, [&] {
        started.set_value(pthread_self());
        return waker.wait();
    });
    const pthread_t waiter = started.get_future().get();
    std::this_thread::sleep_for(5ms);  // most likely inside poll by now; either way it must wake
    pthread_kill(waiter, SIGUSR1);
    const bool ready = signalled.wait_for(10s) == std::future_status::ready;
    if (!ready) {
        waker.wake(16);  // let the thread end so the test fails instead of hanging
    }
    EXPECT_EQ(signalled.get(), 8u);
    sigaction(SIGUSR1, &previous, nullptr);
}

// The closed range's ends and fractions are checked through the physics page's Dice.
TEST(Random, RejectsTheBiasedRemainder) {
    // 2^64 mod 3 = 1, so exactly the top word lies in the incomplete block.
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    test::ScriptedRandom random({kMax, kMax - 1});
    EXPECT_EQ(uniformInclusive(random, 2), (kMax - 1) % 3);
    EXPECT_EQ(random.draws, 2);
}

}  // namespace
}  // namespace tarnwell
