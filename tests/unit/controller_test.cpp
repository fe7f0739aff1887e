#include "core/panel/controller.hpp"

#include <algorithm>
#include <limits>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

using test::PanelHarness;
using test::Sent;

struct ControllerTest : ::testing::Test {
    PanelHarness h;
    Controller& c = h.controller();

    // Every parameter as the panel shows it, as the wire must carry it.
    std::vector<Sent> shown() {
        std::vector<Sent> out;
        for (int i = 0; i < 42; ++i) {
            out.push_back({i + 1, static_cast<std::int64_t>(c.sliderValues()[i])});
        }
        return out;
    }
};

TEST_F(ControllerTest, GroupedUnitsReceiveEachChangeWithTheValueOfItsMoment) {
    c.toggleLink(0);
    c.toggleLink(2);
    c.editParameter(2, 5000.4);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{3, 5000}}));
    EXPECT_EQ(c.sliderValues()[14], 0.0) << "the copy is deferred";
    h.queue.runPending();
    EXPECT_EQ(c.sliderValues()[14], 5000.4);
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
    c.editParameter(37, 16384.0);
    c.editParameter(39, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{7, 100}, {1, 200}, {37, 300}, {38, 16383}, {40, 0}}));
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
        EXPECT_EQ(h.sent(), (std::vector<Sent>{{102 + 2 * t, 127}, {103 + 2 * t, 127}})) << t;
        EXPECT_EQ(announced, (std::vector<std::int64_t>{t, t}));
    }
    h.service->clearRecorded();
    c.toggleModButton(9);
    c.resetDAC();
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{100, 127}}))
        << "indices outside the table send nothing";
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

TEST_F(ControllerTest, RandomizeSpansTheRangeAndGroupedUnitsEndEqualOnThePanelAndTheWire) {
    c.randomizeSliders();
    EXPECT_EQ(h.sent(), shown());
    const auto [lo, hi] = std::ranges::minmax(c.sliderValues());
    EXPECT_TRUE(lo >= 0.0 && lo < 4096.0 && hi > 12288.0 && hi <= 16383.0) << lo << " " << hi;
    EXPECT_GT(std::set<double>(c.sliderValues().begin(), c.sliderValues().end()).size(), 40u);

    // B, D and F grouped take B's draws; each parameter goes once, as shown,
    // even with copies of an earlier edit still queued.
    for (int unit : {1, 3, 5}) {
        c.toggleLink(unit);
    }
    c.editParameter(30, 5.0);
    h.service->clearRecorded();
    c.randomizeSliders();
    h.queue.runPending();
    const std::vector<double> values = c.sliderValues();
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(values[18 + s], values[6 + s]) << "slot " << s;
        EXPECT_EQ(values[30 + s], values[6 + s]) << "slot " << s;
    }
    EXPECT_NE(values[0], values[6]) << "ungrouped A keeps its own draw";
    EXPECT_EQ(h.sent(), shown());
}

TEST_F(ControllerTest, RecallWithGroupedUnitsEndsOnThePresetOnThePanelAndTheWire) {
    c.toggleLink(0);
    c.toggleLink(2);
    MidiSliderPreset preset;
    for (int i = 0; i < 42; ++i) {
        preset.values[i] = 100.0 * i + 0.5;
    }
    c.editParameter(0, 9999.0);  // its copy into C is still queued
    h.service->clearRecorded();
    c.applyPreset(preset);
    h.queue.runPending();
    EXPECT_EQ(c.sliderValues(), preset.values);
    const auto sent = h.sent();
    ASSERT_EQ(sent.size(), 50u) << "8 mod buttons and 42 parameters, no copies";
    EXPECT_EQ(std::vector(sent.begin() + 8, sent.end()), shown());
    EXPECT_EQ(sent[9], (Sent{2, 100})) << "truncated";
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

    // The chosen one is unplugged: the other of the same name is not taken for it.
    c.chooseDestination(1);
    h.queue.runPending();
    h.service->removeDestination(second);
    h.service->notifySetupChanged();
    h.queue.runPending();
    EXPECT_EQ(h.manager().connectedEndpoint(), second);
    EXPECT_FALSE(h.manager().connectedDestinationAvailable());
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
