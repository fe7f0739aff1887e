// What the panel sends, also on a slow link, and what it shows about it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/midi/din_pacer.hpp"
#include "core/midi/monitor_feed.hpp"
#include "core/midi/nrpn.hpp"
#include "core/midi/traffic_meter.hpp"
#include "core/panel/nrpn_names.hpp"
#include "core/panel/parameters.hpp"
#include "core/physics/named_parameters.hpp"
#include "core/physics/simulation.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using test::Sent;

SentSequence seq(std::int64_t number, std::int64_t value, SendOrigin origin = SendOrigin::hand,
                 std::chrono::nanoseconds time = 0ns) {
    return SentSequence{time, 1, number, value, origin};
}

std::vector<Sent> drain(DinPacer& pacer, std::chrono::nanoseconds now) {
    std::vector<Sent> out;
    while (auto s = pacer.release(now)) {
        out.push_back({s->number, s->value});
    }
    return out;
}

TEST(DinPacerTest, WhileBusyKeepsTheLatestValuePerParameterAndHandAndControllerEditsGoFirst) {
    DinPacer pacer;
    pacer.offer(seq(1, 10, SendOrigin::physics));
    EXPECT_EQ(drain(pacer, 0ns), (std::vector<Sent>{{1, 10}})) << "an idle link sends at once";

    // While the link is busy: ball values, then a hand edit and a controller knob.
    for (int tick = 0; tick < 3; ++tick) {
        for (std::int64_t ball = 1; ball <= 5; ++ball) {
            pacer.offer(seq(ball, 100 * tick + ball, SendOrigin::physics));
        }
    }
    pacer.offer(seq(100, 127));
    pacer.offer(seq(7, 1));
    pacer.offer(seq(7, 2, SendOrigin::controller));
    EXPECT_EQ(pacer.keptCount(), 7u);
    EXPECT_EQ(pacer.replacedCount(), 11u);
    EXPECT_TRUE(drain(pacer, 3839us).empty()) << "nothing may leave before the slot ends";
    EXPECT_EQ(pacer.nextRelease(), 3840us) << "twelve bytes at 3,125 bytes a second";

    // One sequence per slot: edits in arrival order, then each ball's latest.
    std::vector<Sent> out;
    for (auto t = 3840us; pacer.keptCount() > 0; t += 3840us) {
        const auto released = drain(pacer, t);
        ASSERT_EQ(released.size(), 1u) << "at " << t.count() << " us";
        out.push_back(released.front());
    }
    EXPECT_EQ(out, (std::vector<Sent>{
                       {100, 127}, {7, 2}, {1, 201}, {2, 202}, {3, 203}, {4, 204}, {5, 205}}));

    // A controller edit replacing a kept ball value takes an edit's place.
    pacer.offer(seq(1, 1, SendOrigin::physics));
    pacer.offer(seq(2, 2, SendOrigin::physics));
    pacer.offer(seq(2, 9, SendOrigin::controller));
    const auto first = pacer.takeAll().front();
    EXPECT_EQ(std::pair(first.value, first.origin),
              std::pair(std::int64_t{9}, SendOrigin::controller));
}

TEST(DinPacerTest, ASwitchOrButtonFlippedWhileHeldEndsOnTheWireAsItEndsOnThePanel) {
    // A mode switch sends its number as the value, a mod button 127.
    const auto sent = [](std::int64_t number) { return seq(number, number >= 130 ? number : 127); };
    // Voice allocation on then off and off then on; a mod button likewise.
    for (const auto& [first, last] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {130, 131}, {131, 130}, {104, 105}, {105, 104}}) {
        DinPacer pacer(kDinBytesPerSecond, &controlOfNumber);
        pacer.offer(seq(1, 5));
        ASSERT_EQ(drain(pacer, 0ns).size(), 1u) << "the link is now busy";
        pacer.offer(sent(first));
        pacer.offer(sent(last));
        const auto out = drain(pacer, 10ms);
        ASSERT_EQ(out.size(), 1u) << first << " then " << last;
        EXPECT_EQ(out.front().parameter, last) << first << " then " << last;
    }
    EXPECT_EQ(controlOfNumber(7), 7) << "a parameter is its own control";
}

TEST(DinPacerTest, ALateReleaseCatchesUpOneSlotAndNoMoreSoTheBudgetHolds) {
    DinPacer pacer;
    for (std::int64_t n = 1; n <= 42; ++n) {
        pacer.offer(seq(n, n, SendOrigin::physics));
    }
    // Released by a timer that fires 1 ms late every time.
    std::chrono::nanoseconds t = 0ns;
    std::vector<std::chrono::nanoseconds> times;  // when each sequence left
    while (pacer.keptCount() > 0) {
        times.insert(times.end(), drain(pacer, t).size(), t);
        t = *pacer.nextRelease() + 1ms;
    }
    ASSERT_EQ(times.size(), 42u);
    // In any window w at most w / slot + 2: the one just started and one of catch-up.
    for (auto from = times.begin(); from != times.end(); ++from) {
        EXPECT_LE(std::lower_bound(from, times.end(), *from + 100ms) - from,
                  100ms / pacer.slot() + 2)
            << "window starting at sequence " << from - times.begin();
    }
    EXPECT_LE(times.back(), 42 * pacer.slot() + 1ms) << "late timers must not cost throughput";

    // After idle time no credit is saved up: one goes at once, then one a slot.
    const auto later = t + 1s;
    for (std::int64_t n = 1; n <= 3; ++n) {
        pacer.offer(seq(n, n, SendOrigin::physics));
    }
    EXPECT_EQ(drain(pacer, later).size(), 1u);
    EXPECT_EQ(pacer.nextRelease(), later + pacer.slot());
}

// The manager's pacing on a loopback link marked DIN, on the queue's virtual time.
class PacedManagerTest : public ::testing::Test {
protected:
    PacedManagerTest() {
        LinkChoices choices;
        choices.speeds["Synth"] = LinkSpeed::din;
        choices.dinPacing = true;
        manager->setLinkChoices(choices);
    }
    test::PanelHarness h;
    ManualQueueTime clock{h.queue};
    std::shared_ptr<MidiManager> manager = MidiManager::create(h.service, h.queue, clock);
    void connect() {
        manager->connectToDestination(0);
        h.queue.runPending();
    }
};

TEST_F(PacedManagerTest, BallStreamIsHeldToTheBudgetAndLeavingTheLinkLosesNothing) {
    connect();
    ASSERT_TRUE(manager->pacingActive());
    h.service->clearRecorded();
    const auto start = h.queue.now();
    // Five balls at 60 Hz for one second: 300 sequences offered, 3600 bytes.
    for (int tick = 0; tick < 60; ++tick) {
        if (tick > 0) {
            h.queue.advance(16ms);
        }
        for (std::int64_t ball = 1; ball <= 5; ++ball) {
            manager->sendToConnected(tick * 10 + ball, ball, SendOrigin::physics);
        }
    }
    EXPECT_GT(manager->pacedBacklog(), 0u);
    const auto sent = h.sent();
    const auto slots = static_cast<std::size_t>((h.queue.now() - start) * kDinPacedBytesPerSecond /
                                                std::chrono::nanoseconds(1s) / 12);
    EXPECT_LE(sent.size(), slots + 2) << "at most the DIN budget";
    EXPECT_GE(sent.size(), slots - 5) << "the link is kept busy";
    for (const auto& d : h.service->deliveries()) {
        EXPECT_EQ(d.bytes.size(), 12u) << "each delivery is one whole sequence";
    }
    // Leaving the paced link sends what was held: the latest value of every ball.
    manager->setLinkChoices({});
    EXPECT_FALSE(manager->pacingActive());
    const auto last = h.sent();
    for (std::int64_t ball = 1; ball <= 5; ++ball) {
        const auto it = std::find_if(last.rbegin(), last.rend(),
                                     [&](const Sent& s) { return s.parameter == ball; });
        ASSERT_NE(it, last.rend());
        EXPECT_EQ(it->value, 590 + ball) << "ball " << ball << " must end on its latest value";
    }
}

TEST_F(PacedManagerTest, ValuesHeldBackReachTheOldDestinationBeforeASwitchToAnother) {
    const EndpointRef other = h.service->addDestination("Other");
    h.service->notifySetupChanged();
    h.queue.runPending();
    connect();
    ASSERT_TRUE(manager->pacingActive());
    h.service->clearRecorded();
    // A dice throw on the DIN synth: 42 values at once, most of them held.
    std::vector<Sent> expected;
    for (std::int64_t parameter = 1; parameter <= 42; ++parameter) {
        manager->sendToConnected(1000 + parameter, parameter, SendOrigin::hand);
        expected.push_back({parameter, 1000 + parameter});
    }
    ASSERT_GT(manager->pacedBacklog(), 30u);
    manager->connectToDestination(1);
    h.queue.runPending();
    ASSERT_EQ(h.service->selectedDestination(), other);
    EXPECT_FALSE(manager->pacingActive()) << "the other link is not DIN";
    EXPECT_EQ(h.sent(), expected) << "every held value reaches the synth it was meant for";
    EXPECT_TRUE(test::sentTo(*h.service, other).empty());
    // What follows the switch goes to the new destination only.
    manager->sendToConnected(7, 7, SendOrigin::hand);
    EXPECT_EQ(test::sentTo(*h.service, other), (std::vector<Sent>{{7, 7}}));
    EXPECT_EQ(h.sent().size(), 42u);
}

TEST(MonitorFeedTest, StreamsCollapseIntoLiveRowsAndTheRecordStaysBounded) {
    MonitorFeed::Limits limits;
    limits.maxRows = 4;
    limits.recentPerRow = 8;
    MonitorFeed feed([](EndpointRef e) { return "dest " + std::to_string(e); }, limits);

    // Two balls interleaved at 60 Hz for half a second, a hand edit between.
    for (int tick = 0; tick < 30; ++tick) {
        const auto t = std::chrono::nanoseconds(1s) * tick / 60;
        feed.sequenceSent(seq(1, tick, SendOrigin::physics, t));
        feed.sequenceSent(seq(2, 100 + tick, SendOrigin::physics, t));
        if (tick == 10) {
            feed.sequenceSent(seq(100, 127, SendOrigin::hand, t));
        }
    }
    ASSERT_EQ(feed.rows().size(), 3u);
    const MonitorRow& ball1 = feed.rows()[0];
    EXPECT_EQ(std::tie(ball1.number, ball1.value, ball1.count, ball1.destinationName),
              std::tuple(1, 29, 30u, "dest 1"));
    EXPECT_EQ(ball1.recent.size(), 8u);
    EXPECT_EQ(ball1.recent.front().value, 22);
    EXPECT_NEAR(ball1.rate(), 60.0, 0.01);

    const std::string text = monitorText(feed.rows(), feed.epoch(), nrpnName);
    EXPECT_NE(text.find("0.000\t2\tf/eh*n = 2n/f Even harmonics A\t129\t30 sent, 60.0/s\tdest 1\t"
                        "physics\n"),
              std::string::npos)
        << text;

    // After a pause longer than the gap, the stream opens a new row.
    EXPECT_TRUE(feed.isLive(ball1, 900ms));
    EXPECT_FALSE(feed.isLive(ball1, 1s));
    feed.sequenceSent(seq(1, 5, SendOrigin::physics, 1s));
    ASSERT_EQ(feed.rows().size(), 4u);
    EXPECT_EQ(feed.rows()[0].count, 30u) << "a closed row keeps what it had";

    // Beyond the bound the oldest row falls off; the live rows stay found.
    feed.sequenceSent(seq(3, 5, SendOrigin::hand, 1s));
    ASSERT_EQ(feed.rows().size(), 4u);
    EXPECT_EQ(feed.droppedRows(), 1u);
    EXPECT_EQ(feed.rows().front().number, 2);
    feed.sequenceSent(seq(1, 6, SendOrigin::physics, 1s + 10ms));
    ASSERT_EQ(feed.rows().size(), 4u);
    EXPECT_EQ(feed.rows()[2].count, 2u) << "ball 1's live row is the new one";
}

TEST(MonitorFeedTest, SeesHandAndPhysicsSendsForWhatTheyAre) {
    test::PanelHarness h;
    MonitorFeed feed([&](EndpointRef e) { return h.manager().destinationName(e).value_or("?"); });
    h.model->physics().toggleRunning(0);
    h.manager().addSendObserver(&feed);
    h.controller().resetDAC();
    h.model->physics().timerTick();
    h.manager().removeSendObserver(&feed);

    ASSERT_EQ(feed.rows().size(), 2u);
    const MonitorRow& reset = feed.rows()[0];
    EXPECT_EQ(std::tie(reset.number, reset.value, reset.origin, reset.destinationName),
              std::tuple(kResetDacNumber, kCommandValue, SendOrigin::hand, "Synth"));
    EXPECT_EQ(feed.rows()[1].origin, SendOrigin::physics);
    h.controller().resetDAC();
    EXPECT_EQ(h.manager().sentSequences(), 3u)
        << "the meter's count runs with or without observers";
}

TEST(NrpnEncoding, GoldenSequences) {
    struct Golden {
        std::int64_t parameter;
        std::int64_t value;
        int channel;
        std::vector<unsigned> bytes;
    };
    const std::vector<Golden> cases = {
        {1, 300, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x01, 0xB0, 0x06, 0x02, 0xB0, 0x26, 0x2C}},
        {134, 134, 0, {0xB0, 0x63, 0x01, 0xB0, 0x62, 0x06, 0xB0, 0x06, 0x01, 0xB0, 0x26, 0x06}},
        // Bits above 13 are dropped, not carried.
        {37, 16384, 0, {0xB0, 0x63, 0x00, 0xB0, 0x62, 0x25, 0xB0, 0x06, 0x00, 0xB0, 0x26, 0x00}},
        // Channel keeps only its low four bits: 17 is channel 1.
        {1, 300, 17, {0xB1, 0x63, 0x00, 0xB1, 0x62, 0x01, 0xB1, 0x06, 0x02, 0xB1, 0x26, 0x2C}},
    };
    for (const auto& c : cases) {
        const NrpnBytes b = encodeNRPN(c.value, c.parameter, c.channel);
        EXPECT_EQ(std::vector<unsigned>(b.begin(), b.end()), c.bytes) << c.parameter;
    }
}

TEST(NrpnValue, TruncatesInsideTheRangeAndClampsHostileValuesInsteadOfWrapping) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, std::int64_t>> cases = {
        {100.7, 100}, {16382.999, 16382}, {16384.0, 16383},  {inf, 16383},
        {-0.5, 0},    {-inf, 0},          {std::nan(""), 0},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(nrpnValueFromDouble(value), expected) << value;
    }
}

TEST(NrpnNamesTest, EveryKindOfNumberIsNamedAsThePanelShowsIt) {
    EXPECT_EQ(nrpnName(1), "f/oh*n = (2n -1 ) f Odd harmonics A");
    EXPECT_EQ(nrpnName(42), "<N/F+Q(n) = 3");
    EXPECT_EQ(nrpnName(100), "Reset DAC");
    EXPECT_EQ(nrpnName(103), "Mod button 1 off");
    EXPECT_EQ(nrpnName(116), "Mod button 8 on");
    EXPECT_EQ(nrpnName(132), "PNP on");
    EXPECT_EQ(nrpnName(141), "channel assign off");
    EXPECT_EQ(nrpnName(43), "NRPN 43");
}

TEST(NrpnNamesTest, TheSliderTheBallListAndTheMonitorNameAParameterFromOneRow) {
    const auto& rows = parameterTable();
    ASSERT_EQ(rows.size(), 42u);
    const auto& named = namedNRPNs();
    ASSERT_EQ(named.size(), 41u) << "no ball drives the last parameter";
    for (std::size_t i = 0; i < named.size(); ++i) {
        EXPECT_EQ(named[i].number, rows[i].number);
        EXPECT_EQ(named[i].name, rows[i].shortName);
        EXPECT_EQ(nrpnName(rows[i].number), rows[i].label);
    }
    EXPECT_EQ(rows[36].label, "regeneration left");
    EXPECT_EQ(named[36], (NamedNRPN{37, "regen left"}));
    EXPECT_EQ(named[35], (NamedNRPN{36, "Octave F"}));
    EXPECT_EQ(parameterDescription(41), "The further regeneration parameter; sends NRPN 42.");
}

TEST(TrafficMeterTest, AWatchWakesAtTheNextSendOnlyAndTheObserversAfterItStillSeeIt) {
    test::PanelHarness h;
    int woken = 0;
    SendWatch watch([&] { ++woken; });
    MonitorFeed feed(nullptr);
    watch.arm(h.manager());
    h.manager().addSendObserver(&feed);
    h.controller().resetDAC();
    EXPECT_EQ(woken, 1);
    EXPECT_FALSE(watch.isArmed());
    EXPECT_EQ(feed.rows().size(), 1u) << "the watch leaving must not hide the send from the feed";
    h.controller().resetDAC();
    EXPECT_EQ(woken, 1) << "once, then the watch is gone";
    h.manager().removeSendObserver(&feed);

    TrafficMeter meter;
    meter.restart(5s, 10);
    EXPECT_TRUE(meter.isQuiet());
    meter.sample(5100ms, 13);
    EXPECT_FALSE(meter.isQuiet());
    EXPECT_DOUBLE_EQ(meter.sequencesPerSecond(), 30.0) << "measured from the restart only";
}

}  // namespace
}  // namespace tarnwell
