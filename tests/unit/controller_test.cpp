#include "panel/controller.hpp"

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

TEST(ControllerState, FreshRecordHoldsTheInitialValues) {
    PanelHarness h(false);
    const Controller& c = *h.controller;
    EXPECT_EQ(c.sliderValues(), std::vector<double>(42, 0.0));
    ASSERT_EQ(c.presets().size(), 100u);
    for (const auto& p : c.presets()) {
        EXPECT_EQ(p.values, std::vector<double>(42, 0.0));
        EXPECT_EQ(p.modStates, std::vector<bool>(8, false));
        EXPECT_FALSE(p.voiceModeToggle || p.drumModeToggle || p.filterModeToggle ||
                     p.regenModeToggle || p.regen2ModeToggle);
    }
    EXPECT_EQ(c.modButtonPressed(), std::vector<bool>(8, false));
    EXPECT_EQ(c.linkedTabs(), std::vector<bool>(6, false));
    for (const auto& info : kModeToggles) {
        EXPECT_FALSE(c.modeToggle(info.toggle));
    }
    EXPECT_EQ(c.selectedDestinationIndex(), 0);
    EXPECT_EQ(c.selectedPresetIndex(), 0);
    EXPECT_TRUE(h.sent().empty()) << "creating the record sends nothing";
}

TEST(ParameterTables, LabelsAreVerbatim) {
    const auto& labels = sliderLabels();
    ASSERT_EQ(labels.size(), 42u);
    EXPECT_EQ(labels[0], "f/oh*n = (2n -1 ) f Odd harmonics A");
    EXPECT_EQ(labels[1], "f/eh*n = 2n/f Even harmonics A");
    EXPECT_EQ(labels[2], "f/hp*n = nf harmonic Partials A");
    EXPECT_EQ(labels[3], "HT(n) Harmonic Tilt A");
    EXPECT_EQ(labels[4], "T = (f) Tuning A");
    EXPECT_EQ(labels[5], "0 = 2k/f Octave A");
    EXPECT_EQ(labels[6], "f/oh*n = (2n -1 ) f Odd harmonics B");
    EXPECT_EQ(labels[35], "0 = 2k/f Octave F");
    const std::vector<std::string> regen(labels.begin() + 36, labels.end());
    EXPECT_EQ(regen,
              (std::vector<std::string>{"regeneration left", "regeneration right", "regen filter",
                                        "regen feedback", "regen mix", "<N/F+Q(n) = 3"}));
}

TEST(ParameterTables, ModButtonsAndIndexArithmetic) {
    const auto& table = nrpnButtonStates();
    ASSERT_EQ(table.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(table[i].size(), 1u);
        EXPECT_EQ(table[i][0].on, 102 + 2 * i);
        EXPECT_EQ(table[i][0].off, 103 + 2 * i);
    }
    EXPECT_EQ(nrpnNumberOfIndex(41), 42);
    EXPECT_EQ(groupOfIndex(35), 5);
    EXPECT_EQ(groupOfIndex(36), 6);
    EXPECT_EQ(indexOfSlotInUnit(3, 2), 14);  // slot 2 of unit A -> unit C
    EXPECT_EQ(indexOfSlotInUnit(36, 0), 5);  // octave F -> octave A
    const std::vector<std::int64_t> numbers = {130, 131, 132, 133, 134, 135,
                                               136, 137, 138, 139, 140, 141};
    std::vector<std::int64_t> fromTable;
    for (const auto& info : kModeToggles) {
        fromTable.push_back(info.onNumber);
        fromTable.push_back(info.offNumber);
    }
    EXPECT_EQ(fromTable, numbers);
    EXPECT_EQ(modeToggleText(ModeToggle::midimodeToggle, true), " channel assign on");
    EXPECT_EQ(modeToggleText(ModeToggle::DrumModeToggle, false), "PNP off");
}

TEST(SendFromTab, GroupedUnitsReceiveTheChangeAfterTheQueueRuns) {
    PanelHarness h;
    Controller& c = *h.controller;
    c.toggleLink(0);
    c.toggleLink(2);

    c.setSliderValue(2, 5000.4);
    c.sendFromTab(3, 0, 5000.4);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{3, 5000}}));
    EXPECT_EQ(c.sliderValues()[14], 0.0) << "the copy is deferred";

    h.queue.runPending();
    EXPECT_EQ(c.sliderValues()[14], 5000.4);
    EXPECT_EQ(c.sliderValues()[8], 0.0) << "unit B is not grouped";
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{3, 5000}, {15, 5000}}));
}

TEST(SendFromTab, EachDeferredCopyCarriesTheValueOfItsMoment) {
    PanelHarness h;
    Controller& c = *h.controller;
    c.toggleLink(0);
    c.toggleLink(1);
    c.sendFromTab(1, 0, 10.0);
    c.sendFromTab(1, 0, 20.0);
    h.queue.runPending();
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{1, 10}, {1, 20}, {7, 10}, {7, 20}}));
    EXPECT_EQ(c.sliderValues()[6], 20.0);
}

TEST(SendFromTab, NothingIsMirroredOutsideAGroup) {
    PanelHarness h;
    Controller& c = *h.controller;
    c.toggleLink(1);  // only B
    c.sendFromTab(7, 1, 100.0);
    c.sendFromTab(1, 0, 200.0);
    EXPECT_EQ(h.queue.runPending(), 0u);

    for (int t = 0; t < 6; ++t) {
        if (!c.linkedTabs()[t]) {
            c.toggleLink(t);
        }
    }
    c.sendFromTab(37, 6, 300.0);  // a Regen slider never propagates
    EXPECT_EQ(h.queue.runPending(), 0u);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{7, 100}, {1, 200}, {37, 300}}));
}

TEST(SendFromTab, HostileValuesAreClampedNotWrapped) {
    PanelHarness h;
    h.controller->sendFromTab(1, 0, 16384.0);
    h.controller->sendFromTab(2, 0, -3.0);
    h.controller->sendFromTab(3, 0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{1, 16383}, {2, 0}, {3, 0}}));
}

TEST(ModButtons, MultiplicationOfUnitCTwice) {
    PanelHarness h;
    Controller& c = *h.controller;
    std::vector<std::int64_t> announced;
    Connection conn = c.changed.connect([&](ControllerChange change) {
        if (change.field == ControllerField::modButtonPressed) {
            announced.push_back(change.index);
        }
    });
    c.toggleModButton(2);
    EXPECT_TRUE(c.modButtonPressed()[2]);
    c.toggleModButton(2);
    EXPECT_FALSE(c.modButtonPressed()[2]);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{106, 127}, {107, 127}}));
    EXPECT_EQ(announced, (std::vector<std::int64_t>{2, 2}));
}

TEST(ModButtons, IndexOutsideTheTableSendsNothing) {
    PanelHarness h;
    h.controller->sendModButton(8);
    h.controller->sendModButton(-1);
    h.controller->toggleModButton(9);
    EXPECT_TRUE(h.sent().empty());
}

TEST(Commands, ResetDacAndLinkToggle) {
    PanelHarness h;
    Controller& c = *h.controller;
    c.resetDAC();
    c.toggleLink(3);
    EXPECT_TRUE(c.linkedTabs()[3]);
    c.toggleLink(3);
    EXPECT_FALSE(c.linkedTabs()[3]);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{100, 127}})) << "grouping sends nothing";
}

TEST(Randomize, SendsEveryValueInIndexOrderWithinTheRange) {
    PanelHarness h;
    Controller& c = *h.controller;
    c.randomizeSliders();
    const auto sent = h.sent();
    ASSERT_EQ(sent.size(), 42u);
    for (int i = 0; i < 42; ++i) {
        const double v = c.sliderValues()[i];
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 16383.0);
        EXPECT_EQ(sent[i], (Sent{i + 1, static_cast<std::int64_t>(v)}));
    }
    const auto distinct = std::set<double>(c.sliderValues().begin(), c.sliderValues().end());
    EXPECT_GT(distinct.size(), 40u);
    EXPECT_EQ(h.queue.runPending(), 0u) << "nothing is linked";
}

TEST(Randomize, GroupedUnitsAreMirroredAfterwards) {
    PanelHarness h;
    Controller& c = *h.controller;
    c.toggleLink(0);
    c.toggleLink(1);
    c.randomizeSliders();
    const std::vector<double> drawn = c.sliderValues();
    // Each of A's six slots is queued into B and each of B's into A, so the two
    // units end with each other's drawn values.
    EXPECT_EQ(h.queue.runPending(), 12u);
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(c.sliderValues()[s], drawn[6 + s]) << "slot " << s;
        EXPECT_EQ(c.sliderValues()[6 + s], drawn[s]) << "slot " << s;
    }
    const auto sent = h.sent();
    ASSERT_EQ(sent.size(), 54u);
    EXPECT_EQ(sent[42], (Sent{7, static_cast<std::int64_t>(drawn[0])}));
    EXPECT_EQ(sent[48], (Sent{1, static_cast<std::int64_t>(drawn[6])}));
}

TEST(ModeToggles, SendOncePerActualChange) {
    PanelHarness h;
    Controller& c = *h.controller;
    c.setModeToggle(ModeToggle::voiceModeToggle, true);
    c.setModeToggle(ModeToggle::voiceModeToggle, true);
    c.setModeToggle(ModeToggle::voiceModeToggle, false);
    c.setModeToggle(ModeToggle::FilterModeToggle, true);
    c.setModeToggle(ModeToggle::midimodeToggle, true);
    c.setModeToggle(ModeToggle::midimodeToggle, false);
    EXPECT_EQ(h.sent(),
              (std::vector<Sent>{{130, 130}, {131, 131}, {134, 134}, {140, 140}, {141, 141}}));
    EXPECT_TRUE(c.modeToggle(ModeToggle::FilterModeToggle));
}

TEST(Disconnected, EveryControlStillChangesStateButNothingIsSent) {
    PanelHarness h(false);
    Controller& c = *h.controller;
    c.toggleLink(0);
    c.toggleLink(1);
    c.setSliderValue(0, 1234.5);
    c.sendFromTab(1, 0, 1234.5);
    c.toggleModButton(0);
    c.setModeToggle(ModeToggle::DrumModeToggle, true);
    c.resetDAC();
    h.queue.runPending();
    EXPECT_EQ(c.sliderValues()[6], 1234.5);
    EXPECT_TRUE(c.modButtonPressed()[0]);
    EXPECT_TRUE(c.modeToggle(ModeToggle::DrumModeToggle));
    c.randomizeSliders();
    h.queue.runPending();
    EXPECT_NE(c.sliderValues()[41], 0.0);
    EXPECT_EQ(h.service->deliveryCount(), 0u);

    // A change made while disconnected is not replayed on connection.
    c.destinationPickerAppeared();
    h.queue.runPending();
    ASSERT_TRUE(h.manager->connectedEndpoint());
    EXPECT_EQ(h.service->deliveryCount(), 0u);
}

TEST(DestinationPicker, FirstAppearanceConnectsToTheSelectedRow) {
    PanelHarness empty(false);
    empty.service->removeDestination(empty.synth);
    empty.controller->destinationPickerAppeared();
    EXPECT_EQ(empty.queue.runPending(), 0u) << "no connection without destinations";
    EXPECT_FALSE(empty.manager->connectedDeviceName());

    PanelHarness h(false);
    const auto b = h.service->addDestination("B");
    h.controller->destinationPickerAppeared();
    h.queue.runPending();
    EXPECT_EQ(h.manager->connectedDeviceName(), "Synth");
    h.controller->setSelectedDestinationIndex(1);
    h.queue.runPending();
    EXPECT_EQ(h.manager->connectedEndpoint(), b);
}

TEST(DestinationPicker, TwoDestinationsOfOneNameAreToldApartByEndpoint) {
    PanelHarness h;  // connected to the first "Synth"
    Controller& c = *h.controller;
    const auto second = h.service->addDestination("Synth");
    h.service->notifySetupChanged();
    h.queue.runPending();

    c.chooseDestination(1);
    h.queue.runPending();
    EXPECT_EQ(h.manager->connectedEndpoint(), second);
    EXPECT_EQ(c.selectedDestinationIndex(), 1) << "the picker stays on the row chosen";
    c.chooseDestination(0);
    h.queue.runPending();
    EXPECT_EQ(h.manager->connectedEndpoint(), h.synth) << "the first one can be chosen again";

    // The chosen one is unplugged: the other of the same name is not taken
    // for it.
    c.chooseDestination(1);
    h.queue.runPending();
    h.service->removeDestination(second);
    h.service->notifySetupChanged();
    h.queue.runPending();
    EXPECT_EQ(h.manager->connectedEndpoint(), second);
    EXPECT_FALSE(h.manager->connectedDestinationAvailable());
    h.manager->sendToConnected(1, 1);
    EXPECT_TRUE(h.sent().empty());
}

TEST(DestinationPicker, PickingTheSelectedRowConnectsADestinationThatAppearedLater) {
    PanelHarness h(false);
    h.service->removeDestination(h.synth);
    h.controller->destinationPickerAppeared();
    const auto later = h.service->addDestination("Later");
    h.service->notifySetupChanged();
    h.queue.runPending();
    ASSERT_FALSE(h.manager->connectedEndpoint());
    h.controller->chooseDestination(0);
    h.queue.runPending();
    EXPECT_EQ(h.manager->connectedEndpoint(), later);
    EXPECT_EQ(connectionStatusText(*h.manager), "Later");
}

TEST(Lifetime, QueuedCopiesOutlivingTheControllerDoNothing) {
    PanelHarness h;
    h.controller->toggleLink(0);
    h.controller->toggleLink(1);
    h.controller->sendFromTab(1, 0, 5.0);
    h.controller.reset();
    EXPECT_EQ(h.queue.runPending(), 1u);
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{1, 5}}));
}

}  // namespace
}  // namespace tarnwell
