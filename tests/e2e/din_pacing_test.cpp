// A DIN link with pacing on, over a real JACK server, timed at the receiving port.
#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "core/midi/jack_service.hpp"
#include "core/midi/midi_manager.hpp"
#include "e2e/e2e_fixture.hpp"
#include "testing/din_stream.hpp"

namespace tarnwell {
namespace {

using namespace test;

TEST_F(JackE2eTest, PacedDinLinkStaysInBudgetSendsWholeSequencesAndLetsHandEditsThrough) {
    JackSink sink;
    ASSERT_TRUE(sink.ok());
    ManualQueue queue;
    auto service = std::make_shared<JackMidiService>(JackMidiService::Options{serverName()});
    auto manager = MidiManager::create(service, queue);
    manager->setLinkChoices({.speeds = {{JackSink::kPort, LinkSpeed::din}}, .dinPacing = true});
    ASSERT_TRUE(connectByIndex(queue, *manager, JackSink::kPort));
    ASSERT_TRUE(manager->pacingActive());

    const DinStreamResult r = runDinStream(queue, *manager, sink, 2s);

    ASSERT_TRUE(r.wellFormed) << "a sequence was split or damaged on the way";
    ASSERT_FALSE(r.arrivals.empty());
    // Over the whole stream, no more than the link carries (the first and
    // last stamps are each up to a period late or early).
    const double seconds = static_cast<double>(r.arrivals.back().at - r.arrivals.front().at) / 1e6;
    EXPECT_LE(static_cast<double>(r.arrivals.size() * 12), 3125.0 * seconds + 5 * 12)
        << r.arrivals.size() << " sequences in " << seconds << " s";
    // In 100 ms, 312.5 bytes. The sink sees each period's events at once, and
    // a busy machine runs late periods back to back: its windows may hold a
    // few periods' worth more.
    EXPECT_LE(r.maxBytesSentIn100ms, 312u);
    EXPECT_LE(r.maxBytesIn100ms, 312u + 6 * 12);
    EXPECT_LT(r.arrivals.size(), r.offered) << "five balls offer more than DIN carries";

    // Every ball ends on its latest value, every hand edit arrives, and only
    // the ball values already on their way get in ahead of it.
    for (const auto& [ball, value] : r.lastSent) {
        const auto last = std::find_if(r.arrivals.rbegin(), r.arrivals.rend(),
                                       [&](const DinArrival& a) { return a.number == ball; });
        ASSERT_NE(last, r.arrivals.rend());
        EXPECT_EQ(last->value, value) << "ball " << ball;
    }
    // A hand edit sent together with the next one (the loop stalled) is
    // replaced by it in the pacer: the control ends on its latest value.
    ASSERT_GE(r.handLatencyUs.size(), 15u);
    for (std::size_t h = 0; h < r.handLatencyUs.size(); ++h) {
        if (!r.handHandedOver[h]) {
            ASSERT_LT(h + 1, r.handLatencyUs.size()) << "the last hand edit never left";
            continue;
        }
        EXPECT_GE(r.handLatencyUs[h], 0) << "hand edit " << h + 1 << " lost after it left";
        EXPECT_LE(r.ballsAheadOfHand[h], 4) << "hand edit " << h + 1 << " waited behind balls";
    }
    EXPECT_GE(r.handLatencyUs.back(), 0) << "the control ends on its latest edit";
    const auto worst = *std::ranges::max_element(r.handLatencyUs);
    std::cout << "DIN pacing: " << r.arrivals.size() << " of " << r.offered
              << " sequences delivered, max " << r.maxBytesIn100ms
              << " bytes in 100 ms, worst hand edit " << worst / 1000.0 << " ms\n";
}

}  // namespace
}  // namespace tarnwell
