// Locks, Mutate and the morph between two presets, on the real panel over the loopback.
#include <chrono>
#include <cmath>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "core/control/model_control_target.hpp"
#include "core/midi/nrpn.hpp"
#include "core/panel/locks.hpp"
#include "core/panel/morph.hpp"
#include "core/panel/mutate.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using test::Sent;

constexpr double kTop = 16383.0;

// The last value the wire carries for each parameter number.
std::map<std::int64_t, std::int64_t> lastValues(const std::vector<Sent>& sent) {
    std::map<std::int64_t, std::int64_t> last;
    for (const Sent& s : sent) {
        last[s.parameter] = s.value;
    }
    return last;
}

std::array<bool, kModeToggleCount> togglesOf(const Controller& c) {
    std::array<bool, kModeToggleCount> toggles{};
    for (const ModeToggleInfo& info : kModeToggles) {
        toggles[static_cast<std::size_t>(info.toggle)] = c.modeToggle(info.toggle);
    }
    return toggles;
}

// The wire ends on `values`: each parameter's last value sent is its own.
void expectWireEndsOn(const std::vector<Sent>& sent, const std::vector<double>& values) {
    const auto last = lastValues(sent);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto n = static_cast<std::int64_t>(i + 1);
        EXPECT_EQ(last.contains(n) ? last.at(n) : -1, nrpnValueFromDouble(values[i])) << i;
    }
}

MidiSliderPreset sound(double first, double step, std::size_t mod, ModeToggle on,
                       const char* name) {
    MidiSliderPreset s;
    for (std::size_t i = 0; i < s.values.size(); ++i) {
        s.values[i] = first + step * static_cast<double>(i);
    }
    s.modStates[mod] = true;
    s.modeToggles[static_cast<std::size_t>(on)] = true;
    s.name = name;
    return s;
}

// Far apart: every value, the first two mod buttons and two switches differ; A has fractions.
const MidiSliderPreset kA = sound(50.25, 100.0, 0, ModeToggle::voiceModeToggle, "Dark");
const MidiSliderPreset kB = sound(16000.0, -300.0, 1, ModeToggle::drumModeToggle, "Bright");

struct ExploreTest : ::testing::Test {
    test::PanelHarness h;
    Controller& c = h.controller();
    Locks& locks = h.model->locks();
    Morph& morph = h.model->morph();
    History& history = h.model->history();

    // A and B in slots 1 and 2, chosen; the panel holds a third sound, nothing sent or recorded.
    void chooseAandB() {
        h.presets().replacePresets({MidiSliderPreset{}, kA, kB});
        morph.setPresetA(1);
        morph.setPresetB(2);
        c.randomizeSliders("dice");
        h.queue.runPending();
        h.service->clearRecorded();
    }
    // The next frame: a position set now is applied at once.
    void nextFrame() { h.queue.advance(Morph::kFrame); }
};

TEST_F(ExploreTest, LocksHoldAgainstMutateAndMorphButNeverAgainstHandEditsRecallsOrDice) {
    locks.setLocked(3, true);
    locks.toggle(40);
    locks.setLocked(99, true);  // no such parameter: nothing
    EXPECT_EQ(locks.lockedIndices(), (std::vector<std::int64_t>{3, 40}));
    EXPECT_FALSE(locks.unitLocked(0));
    locks.setUnitLocked(5, true);
    EXPECT_TRUE(locks.unitLocked(5));
    locks.setLocked(31, false);
    EXPECT_FALSE(locks.unitLocked(5)) << "a unit is locked only while all six are";
    locks.setLockedIndices({3, 40, -1, 42});
    EXPECT_EQ(locks.lockedIndices(), (std::vector<std::int64_t>{3, 40}));

    c.editParameter(3, 1234.0);
    EXPECT_EQ(c.sliderValues()[3], 1234.0) << "a hand edit moves a locked parameter";
    c.randomizeSliders("dice");
    const double diced = c.sliderValues()[3];
    const double regen = c.sliderValues()[40];
    EXPECT_NE(diced, 1234.0) << "dice moves it";
    for (int round = 0; round < 20; ++round) {
        h.model->mutate();
    }
    EXPECT_EQ(c.sliderValues()[3], diced) << "Mutate never does";
    EXPECT_EQ(c.sliderValues()[40], regen);
    EXPECT_NE(c.sliderValues()[4], 0.0);

    chooseAandB();
    const double held = c.sliderValues()[3];
    morph.setMorphPosition(1.0);
    EXPECT_EQ(c.sliderValues()[3], held) << "nor does Morph";
    EXPECT_EQ(c.sliderValues()[4], kB.values[4]);
    h.presets().setSelectedPresetIndex(1);
    EXPECT_EQ(c.sliderValues()[3], kA.values[3]) << "a recall does";

    // Undo gives back sounds, not locks.
    h.model->mutate();
    h.model->undo();
    EXPECT_EQ(locks.lockedIndices(), (std::vector<std::int64_t>{3, 40}));
}

TEST_F(ExploreTest, MutateStaysWithinItsReachHoldsLockedOnesAndItsClampedOffsetsAreUnbiased) {
    // Parameters spread over the whole range, the first two on its edges.
    std::vector<double> start(kParameterCount);
    for (std::size_t i = 2; i < start.size(); ++i) {
        start[i] = kTop * static_cast<double>(i) / (kParameterCount - 1);
    }
    start[1] = kTop;
    start[20] = kTop / 2;
    locks.setLockedIndices({7, 41});
    const std::vector<bool> ungrouped(kUnitCount, false);
    constexpr int kDraws = 10000;
    constexpr int kPercent = 10;
    const double reach = kTop * kPercent / 100.0;
    std::vector<int> up(kParameterCount), down(kParameterCount);
    double movedFromBottom = 0.0, centreOffsets = 0.0;
    for (int draw = 0; draw < kDraws; ++draw) {
        const std::vector<double> out = mutatedValues(start, ungrouped, locks, kPercent, h.random);
        ASSERT_EQ(out.size(), start.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (locks.isLocked(static_cast<std::int64_t>(i))) {
                ASSERT_EQ(out[i], start[i]) << "locked parameter " << i << " moved";
                continue;
            }
            ASSERT_TRUE(out[i] >= 0.0 && out[i] <= kTop) << "parameter " << i;
            ASSERT_LE(std::abs(out[i] - start[i]), reach + 1e-9) << "parameter " << i;
            up[i] += out[i] > start[i] ? 1 : 0;
            down[i] += out[i] < start[i] ? 1 : 0;
        }
        movedFromBottom += out[0];
        centreOffsets += out[20] - start[20];
    }
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (!locks.isLocked(static_cast<std::int64_t>(i))) {
            EXPECT_EQ(up[i] > 0, start[i] < kTop) << "parameter " << i;
            EXPECT_EQ(down[i] > 0, start[i] > 0.0) << "parameter " << i;
        }
    }
    // Binomial(10000, 1/2): 6 sd are 0.03. An edge keeps half the draws: no pull, no push.
    EXPECT_NEAR((kDraws - up[0]) / double(kDraws), 0.5, 0.03);
    EXPECT_NEAR((kDraws - down[1]) / double(kDraws), 0.5, 0.03);
    EXPECT_NEAR(up[20] / double(kDraws), 0.5, 0.03);
    // The mean offset of a uniform draw over +-reach: six deviations of the mean.
    const double sigma = reach / std::sqrt(3.0) / std::sqrt(double(kDraws));
    EXPECT_NEAR(centreOffsets / kDraws, 0.0, 6 * sigma);
    // Those that left the bottom edge spread evenly over (0, reach].
    EXPECT_NEAR(movedFromBottom / up[0], reach / 2, 6 * sigma);

    h.model->setMutateOptions({0, false});
    EXPECT_EQ(h.model->mutateOptions().percent, kMinMutatePercent);
    h.model->setMutateOptions({500, true});
    EXPECT_EQ(h.model->mutateOptions(), (MutateOptions{kMaxMutatePercent, true}));
}

TEST_F(ExploreTest, OneMutateIsOneUndoStepSendingEachChangedParameterOnceInIndexOrder) {
    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        c.editParameter(i, 300.0 * static_cast<double>(i) + 7.5);
    }
    c.toggleLink(1);
    c.toggleLink(3);
    c.toggleLink(4);
    locks.setLocked(26, true);  // slot 2 of unit E: held in B, D and E
    h.queue.runPending();
    const std::vector<double> before = c.sliderValues();
    const std::size_t steps = history.undoSteps();
    h.service->clearRecorded();

    EXPECT_GT(h.model->mutate(), 30u);
    EXPECT_EQ(history.undoSteps(), steps + 1);
    EXPECT_EQ(history.undoAction(), "mutate");
    EXPECT_EQ(h.queue.runPending(), 0u) << "no grouped copy is queued";
    const auto& now = c.sliderValues();
    for (const std::size_t slot : {0u, 1u, 3u, 4u, 5u}) {
        EXPECT_EQ(now[18 + slot], now[6 + slot]) << "grouped units end equal";
        EXPECT_EQ(now[24 + slot], now[6 + slot]);
    }
    for (const std::size_t held : {8u, 20u, 26u}) {
        EXPECT_EQ(now[held], before[held]) << "a slot locked in one grouped unit holds in all";
    }
    const std::vector<Sent> sent = h.sent();
    for (std::size_t k = 1; k < sent.size(); ++k) {
        EXPECT_LT(sent[k - 1].parameter, sent[k].parameter) << "once each, in index order";
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
        const bool changed = nrpnValueFromDouble(now[i]) != nrpnValueFromDouble(before[i]);
        const auto n = static_cast<std::int64_t>(i + 1);
        EXPECT_EQ(lastValues(sent).contains(n) ? lastValues(sent).at(n) : -1,
                  changed ? nrpnValueFromDouble(now[i]) : -1)
            << "exactly the changed parameters are sent, with their value: " << i;
    }

    h.service->clearRecorded();
    h.model->undo();
    EXPECT_EQ(c.sliderValues(), before);
    for (const auto& [parameter, value] : lastValues(h.sent())) {
        EXPECT_EQ(value, nrpnValueFromDouble(before[static_cast<std::size_t>(parameter - 1)]));
    }
    EXPECT_EQ(history.redoAction(), "mutate");
}

TEST_F(ExploreTest, MutateLeavesSwitchesAloneUnlessAskedAndThenFlipsThemAtHalfThePercent) {
    c.setModeToggle(ModeToggle::midiModeToggle, true);
    const auto before = togglesOf(c);
    for (int round = 0; round < 200; ++round) {
        h.model->mutate();
    }
    EXPECT_EQ(togglesOf(c), before) << "off by default";

    std::array<int, kModeToggleCount> flips{};
    std::array<bool, kModeToggleCount> toggles{};
    constexpr int kDraws = 4000;
    for (int draw = 0; draw < kDraws; ++draw) {
        const auto out = mutatedToggles(toggles, 100, h.random);
        for (std::size_t t = 0; t < toggles.size(); ++t) {
            flips[t] += out[t] != toggles[t] ? 1 : 0;
        }
    }
    for (const ModeToggleInfo& info : kModeToggles) {
        const int n = flips[static_cast<std::size_t>(info.toggle)];
        if (isStoredInPresets(info.toggle)) {
            EXPECT_NEAR(n / double(kDraws), 0.5, 0.05) << info.stateName;
        } else {
            EXPECT_EQ(n, 0) << "channel assign is not part of a sound";
        }
    }

    h.model->setMutateOptions({100, true});
    bool flipped = false;
    for (int round = 0; round < 20 && !flipped; ++round) {
        h.service->clearRecorded();
        h.model->mutate();
        flipped = togglesOf(c) != before;
    }
    ASSERT_TRUE(flipped);
    EXPECT_GE(h.sent().back().parameter, 130) << "switches are sent after the parameters";
    EXPECT_TRUE(c.modeToggle(ModeToggle::midiModeToggle));
}

TEST_F(ExploreTest, MorphAtZeroHalfAndOneIsExactlyAThenTheMidpointThenExactlyB) {
    c.setModeToggle(ModeToggle::midiModeToggle, true);
    chooseAandB();

    morph.setMorphPosition(0.0);
    EXPECT_TRUE(c.soundIs(kA));
    EXPECT_EQ(c.sliderValues(), kA.values);
    EXPECT_EQ(c.modButtonPressed(), kA.modStates);
    EXPECT_TRUE(c.modeToggle(ModeToggle::midiModeToggle)) << "not part of a preset: kept";

    nextFrame();
    morph.setMorphPosition(0.5);
    for (std::size_t i = 0; i < kA.values.size(); ++i) {
        EXPECT_EQ(c.sliderValues()[i], (kA.values[i] + kB.values[i]) / 2) << i;
    }
    EXPECT_EQ(c.modButtonPressed(), kB.modStates) << "the middle takes B's buttons";
    EXPECT_TRUE(c.modeToggle(ModeToggle::drumModeToggle)) << "and B's switches";
    EXPECT_FALSE(c.modeToggle(ModeToggle::voiceModeToggle));

    nextFrame();
    h.service->clearRecorded();
    morph.setMorphPosition(0.4999);
    EXPECT_EQ(c.modButtonPressed(), kA.modStates) << "just below the middle is A's side";
    EXPECT_TRUE(c.modeToggle(ModeToggle::voiceModeToggle));
    EXPECT_FALSE(c.modeToggle(ModeToggle::drumModeToggle));
    const std::vector<Sent> flip = h.sent();
    // Mod buttons first, then the parameters whose value changed, then switches.
    EXPECT_EQ(flip.front(), (Sent{102, 127}));
    EXPECT_EQ(flip[1], (Sent{105, 127}));
    EXPECT_EQ(std::vector<Sent>(flip.end() - 2, flip.end()),
              (std::vector<Sent>{{130, 130}, {133, 133}}));

    nextFrame();
    h.service->clearRecorded();
    morph.setMorphPosition(1.0);
    EXPECT_TRUE(c.soundIs(kB));
    EXPECT_EQ(c.sliderValues(), kB.values);
    EXPECT_TRUE(c.modeToggle(ModeToggle::midiModeToggle));
    expectWireEndsOn(h.sent(), kB.values);
    h.presets().setSelectedPresetIndex(2);
    EXPECT_FALSE(h.presets().isModified()) << "the end of the morph is B itself";
}

TEST_F(ExploreTest, AFastDragSetsThePanelOncePerFrameEndsOnBAndIsOneUndoStep) {
    chooseAandB();
    const std::vector<double> before = c.sliderValues();
    const std::size_t steps = history.undoSteps();

    std::vector<std::chrono::milliseconds> setAt;  // each time the panel was set
    const Connection watch = c.valuesChanged.connect([&](std::int64_t index) {
        if (index < 0) {
            setAt.push_back(h.queue.now());
        }
    });
    morph.beginMorphGesture();
    for (int k = 0; k <= 200; ++k) {
        morph.setMorphPosition(k / 200.0);
        h.queue.advance(1ms);  // a 1000 Hz pointer
    }
    morph.endMorphGesture();
    EXPECT_EQ(history.undoSteps(), steps + 1);
    ASSERT_GE(setAt.size(), 10u);
    EXPECT_EQ(morph.applications(), setAt.size());
    for (std::size_t k = 1; k < setAt.size(); ++k) {
        EXPECT_GE(setAt[k] - setAt[k - 1], Morph::kFrame)
            << "the panel is set, and each changed parameter sent, at most once a frame";
    }
    EXPECT_NE(c.sliderValues(), kB.values) << "the last position waits for its frame";
    nextFrame();
    EXPECT_EQ(c.sliderValues(), kB.values) << "no position is lost: the drag ends on B";
    expectWireEndsOn(h.sent(), kB.values);
    EXPECT_EQ(history.undoSteps(), steps + 1) << "the last position belongs to the drag's step";
    EXPECT_EQ(history.undoAction(), "morph");
    h.queue.advance(1s);
    const std::size_t quiet = h.sent().size();
    EXPECT_EQ(h.queue.advance(1s), 0u) << "nothing runs while the morph rests";
    EXPECT_EQ(h.sent().size(), quiet);

    h.model->undo();
    EXPECT_EQ(c.sliderValues(), before);
    h.model->redo();
    EXPECT_EQ(c.sliderValues(), kB.values);
}

TEST_F(ExploreTest, GroupedUnitsEachTakeTheirOwnInterpolationAndNoStaleCopyLandsOnTheMorph) {
    c.toggleLink(0);
    c.toggleLink(2);
    chooseAandB();
    // A hand edit of grouped unit A queues its copy into C; the morph follows in that turn.
    c.editParameter(1, 9999.0);
    morph.setMorphPosition(0.375);
    h.queue.runPending();
    for (const std::size_t i : {1u, 13u}) {
        EXPECT_EQ(c.sliderValues()[i], 0.625 * kA.values[i] + 0.375 * kB.values[i]) << i;
    }
    EXPECT_NE(c.sliderValues()[1], c.sliderValues()[13]) << "each grouped unit its own value";
    expectWireEndsOn(h.sent(), c.sliderValues());
}

TEST_F(ExploreTest, WithoutBothPresetsTheMorphKeepsItsPositionAndSendsNothing) {
    h.service->clearRecorded();
    morph.setPresetA(0);
    EXPECT_FALSE(morph.ready());
    morph.setMorphPosition(0.7);
    EXPECT_EQ(morph.morphPosition(), 0.7);
    morph.setMorphPosition(std::nan(""));
    EXPECT_EQ(morph.morphPosition(), 0.7);
    morph.setMorphPosition(3.0);
    EXPECT_EQ(morph.morphPosition(), 1.0);
    morph.setPresetB(100);  // past the list's end
    EXPECT_FALSE(morph.ready());
    morph.setMorphPosition(0.2);
    EXPECT_TRUE(h.sent().empty());
    EXPECT_FALSE(history.canUndo());
    h.presets().replacePresets(std::vector<MidiSliderPreset>(3));
    EXPECT_FALSE(morph.ready()) << "an import of a shorter list leaves B outside it";
}

TEST_F(ExploreTest, AHardwareControllerDrivesTheModelsMorphAndATurnIsOneUndoStep) {
    chooseAandB();
    ManualQueueTime clock{h.queue};
    ModelControlTarget target{*h.model, clock};
    const ControlId control{ControlKind::morph, 0};
    const std::size_t steps = history.undoSteps();
    for (int v = 1; v <= 10; ++v) {
        h.queue.advance(20ms);
        target.setValue(control, v / 10.0);
        EXPECT_EQ(target.value(control), v / 10.0);
    }
    h.queue.advance(ModelControlTarget::kJoinWindow);
    EXPECT_FALSE(target.turnOpen());
    EXPECT_EQ(c.sliderValues(), kB.values);
    EXPECT_EQ(history.undoSteps(), steps + 1);
    EXPECT_EQ(history.undoAction(), "morph");
}

}  // namespace
}  // namespace tarnwell
