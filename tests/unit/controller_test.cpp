#include "core/panel/controller.hpp"

#include <limits>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

using test::PanelHarness;
using test::Sent;

// A controller connected to the loopback destination "Synth".
struct ControllerTest : ::testing::Test {
    PanelHarness h;
    Controller& c = h.controller();
};

TEST(ParameterTables, SliderLabelsAreVerbatim) {
    const auto& labels = sliderLabels();
    ASSERT_EQ(labels.size(), 42u);
    EXPECT_EQ(std::vector<std::string>(labels.begin(), labels.begin() + 7),
              (std::vector<std::string>{
                  "f/oh*n = (2n -1 ) f Odd harmonics A", "f/eh*n = 2n/f Even harmonics A",
                  "f/hp*n = nf harmonic Partials A", "HT(n) Harmonic Tilt A", "T = (f) Tuning A",
                  "0 = 2k/f Octave A", "f/oh*n = (2n -1 ) f Odd harmonics B"}));
    EXPECT_EQ(labels[35], "0 = 2k/f Octave F");
}

TEST_F(ControllerTest, GroupedUnitsReceiveEachChangeWithTheValueOfItsMoment) {
    c.toggleLink(0);
    c.toggleLink(2);

    c.editParameter(2, 5000.4);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{3, 5000}}));
    EXPECT_EQ(c.sliderValues()[14], 0.0) << "the copy is deferred";
    h.queue.runPending();
    EXPECT_EQ(c.sliderValues()[14], 5000.4);
    EXPECT_EQ(c.sliderValues()[8], 0.0) << "unit B is not grouped";
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{3, 5000}, {15, 5000}}));

    h.service->clearRecorded();
    c.editParameter(12, 10.0);
    c.editParameter(12, 20.0);
    h.queue.runPending();
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{13, 10}, {13, 20}, {1, 10}, {1, 20}}));
    EXPECT_EQ(c.sliderValues()[0], 20.0);
}

TEST_F(ControllerTest, NothingIsMirroredOutsideAGroupAndHostileValuesAreClamped) {
    c.toggleLink(1);  // only B
    c.editParameter(6, 100.0);
    c.editParameter(0, 200.0);
    EXPECT_EQ(h.queue.runPending(), 0u);

    for (int t = 0; t < 6; ++t) {
        if (!c.linkedTabs()[t]) {
            c.toggleLink(t);
        }
    }
    c.editParameter(36, 300.0);  // a Regen slider never propagates
    EXPECT_EQ(h.queue.runPending(), 0u);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{7, 100}, {1, 200}, {37, 300}}));

    h.service->clearRecorded();
    c.editParameter(37, 16384.0);
    c.editParameter(38, -3.0);
    c.editParameter(39, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{38, 16383}, {39, 0}, {40, 0}}));
}

TEST_F(ControllerTest, ModButtonsSendTheirOnAndOffNumbersAndResetDacSends100) {
    std::vector<std::int64_t> announced;
    Connection conn = c.changed.connect([&](ControllerChange change) {
        if (change.field == ControllerField::modButtonPressed) {
            announced.push_back(change.index);
        }
    });
    for (int t = 0; t < 8; ++t) {  // 2 is unit C's "multiplication": 106, then 107
        h.service->clearRecorded();
        announced.clear();
        c.toggleModButton(t);
        EXPECT_TRUE(c.modButtonPressed()[t]);
        c.toggleModButton(t);
        EXPECT_FALSE(c.modButtonPressed()[t]);
        EXPECT_EQ(h.sent(), (std::vector<Sent>{{102 + 2 * t, 127}, {103 + 2 * t, 127}})) << t;
        EXPECT_EQ(announced, (std::vector<std::int64_t>{t, t}));
    }
    h.service->clearRecorded();
    c.toggleModButton(9);
    c.resetDAC();
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{100, 127}}))
        << "indices outside the table send nothing";
}

TEST_F(ControllerTest, RandomizeSendsEveryValueInIndexOrderThenMirrorsGroupedUnits) {
    c.randomizeSliders();
    auto sent = h.sent();
    ASSERT_EQ(sent.size(), 42u);
    for (int i = 0; i < 42; ++i) {
        const double v = c.sliderValues()[i];
        EXPECT_TRUE(v >= 0.0 && v <= 16383.0) << v;
        EXPECT_EQ(sent[i], (Sent{i + 1, static_cast<std::int64_t>(v)}));
    }
    EXPECT_GT(std::set<double>(c.sliderValues().begin(), c.sliderValues().end()).size(), 40u);
    EXPECT_EQ(h.queue.runPending(), 0u) << "nothing is linked";

    c.toggleLink(0);
    c.toggleLink(5);
    h.service->clearRecorded();
    c.randomizeSliders();
    const std::vector<double> drawn = c.sliderValues();
    // Each of A's six slots is queued into F and each of F's into A, so the
    // two units end with each other's drawn values; the Regen sliders after
    // F's are no part of F.
    EXPECT_EQ(h.queue.runPending(), 12u);
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(c.sliderValues()[s], drawn[30 + s]) << "slot " << s;
        EXPECT_EQ(c.sliderValues()[30 + s], drawn[s]) << "slot " << s;
    }
    sent = h.sent();
    ASSERT_EQ(sent.size(), 54u);
    EXPECT_EQ(sent[42], (Sent{31, static_cast<std::int64_t>(drawn[0])}));
    EXPECT_EQ(sent[48], (Sent{1, static_cast<std::int64_t>(drawn[30])}));
}

TEST_F(ControllerTest, ModeTogglesSendTheirNumbersOncePerActualChange) {
    for (int i = 0; i < 6; ++i) {
        const auto toggle = static_cast<ModeToggle>(i);
        h.service->clearRecorded();
        c.setModeToggle(toggle, true);
        c.setModeToggle(toggle, true);
        EXPECT_TRUE(c.modeToggle(toggle));
        c.setModeToggle(toggle, false);
        c.setModeToggle(toggle, false);
        EXPECT_EQ(h.sent(),
                  (std::vector<Sent>{{130 + 2 * i, 130 + 2 * i}, {131 + 2 * i, 131 + 2 * i}}))
            << "toggle " << i;
    }
}

TEST(Disconnected, EveryControlStillChangesStateButNothingIsSent) {
    PanelHarness h(false);
    Controller& c = h.controller();
    c.toggleLink(0);
    c.toggleLink(1);
    c.editParameter(0, 1234.5);
    c.toggleModButton(0);
    c.setModeToggle(ModeToggle::drumModeToggle, true);
    c.resetDAC();
    h.queue.runPending();
    EXPECT_EQ(c.sliderValues()[6], 1234.5);
    EXPECT_TRUE(c.modButtonPressed()[0]);
    EXPECT_TRUE(c.modeToggle(ModeToggle::drumModeToggle));
    c.randomizeSliders();
    h.queue.runPending();
    EXPECT_NE(c.sliderValues()[41], 0.0);
    EXPECT_EQ(h.service->deliveryCount(), 0u);

    // A change made while disconnected is not replayed on connection.
    c.destinationPickerAppeared();
    h.queue.runPending();
    ASSERT_TRUE(h.manager().connectedEndpoint());
    EXPECT_EQ(h.service->deliveryCount(), 0u);
}

TEST_F(ControllerTest, DestinationRowsOfOneNameAreToldApartByEndpoint) {
    const auto second = h.service->addDestination("Synth");
    h.service->notifySetupChanged();
    h.queue.runPending();

    c.setSelectedDestinationIndex(1);
    h.queue.runPending();
    EXPECT_EQ(h.manager().connectedEndpoint(), second);
    EXPECT_EQ(c.selectedDestinationIndex(), 1) << "the picker stays on the row chosen";
    c.chooseDestination(0);
    h.queue.runPending();
    EXPECT_EQ(h.manager().connectedEndpoint(), h.synth) << "the first one can be chosen again";

    // The chosen one is unplugged: the other of the same name is not taken
    // for it.
    c.chooseDestination(1);
    h.queue.runPending();
    h.service->removeDestination(second);
    h.service->notifySetupChanged();
    h.queue.runPending();
    EXPECT_EQ(h.manager().connectedEndpoint(), second);
    EXPECT_FALSE(h.manager().connectedDestinationAvailable());
    h.manager().sendToConnected(1, 1);
    EXPECT_TRUE(h.sent().empty());
}

TEST_F(ControllerTest, QueuedCopiesOutlivingTheControllerDoNothing) {
    c.toggleLink(0);
    c.toggleLink(1);
    c.editParameter(0, 5.0);
    h.model.reset();
    EXPECT_EQ(h.queue.runPending(), 1u);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{1, 5}}));
}

}  // namespace
}  // namespace tarnwell
