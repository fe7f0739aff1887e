#include "core/control/control_engine.hpp"

#include <chrono>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/physics/simulation.hpp"
#include "support/control_doubles.hpp"

namespace tarnwell {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Call = test::FakeTarget::Call;
using Calls = std::vector<Call>;
using test::param;
using namespace std::chrono_literals;

constexpr ControlId kDrumSwitch{ControlKind::modeSwitch,
                                static_cast<std::uint8_t>(ModeToggle::drumModeToggle)};
constexpr ControlId kResetDac{ControlKind::resetDac, 0};

using Values = std::vector<double>;
constexpr double kStep = 16383.0 / 128;  // one step of a relative source

Mapping cc(ControlId control, int number, MappingMode mode = MappingMode::absolute,
           Pickup pickup = Pickup::softTakeover) {
    Mapping m =
        proposeMapping(control, {SourceKind::controlChange, 0, static_cast<std::uint16_t>(number)});
    m.mode = mode;
    m.pickup = pickup;
    return m;
}
// An absolute controller that moves its control at once.
Mapping jump(ControlId control, int number) {
    return cc(control, number, MappingMode::absolute, Pickup::jump);
}

struct ControlEngineTest : ::testing::Test {
    test::FakeTarget target;
    test::ThruRecorder thru;
    ControlEngine engine{target, &thru};
    std::chrono::nanoseconds now{0};

    // One window frame in which the controller sent `bytes`.
    void frame(const Bytes& bytes, std::uint8_t stream = 0) {
        now += 16ms;
        engine.receive(stream, now.count(), bytes);
        engine.frame(now);
    }
    void knob(int number, const std::vector<int>& values) {
        for (const int v : values) {
            frame({0xB0, static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(v)});
        }
    }
    // The calls one frame of `bytes` makes.
    std::vector<Call> callsOf(const Bytes& bytes) {
        target.calls.clear();
        frame(bytes);
        return target.calls;
    }
    std::vector<double> setsOf(ControlId control) {
        std::vector<double> out;
        for (const Call& c : target.calls) {
            if (c.what == "set" && c.control == control) {
                out.push_back(c.value);
            }
        }
        return out;
    }
};

TEST_F(ControlEngineTest, AKnobReachesBothEndsOfAParameterAndInvertAndRangeApply) {
    engine.setMappings({jump(param(0), 74)});
    knob(74, {0, 127, 64});
    EXPECT_EQ(setsOf(param(0)), (Values{0.0, 16383.0, 8256.0}));

    Mapping narrow = jump(param(1), 75);
    std::tie(narrow.minimum, narrow.maximum, narrow.inverted) = std::tuple(1000.0, 2000.0, true);
    engine.setMappings({narrow});
    knob(75, {0, 127});
    EXPECT_EQ(setsOf(param(1)), (Values{2000.0, 1000.0}));
}

TEST_F(ControlEngineTest, PickupWaitsUntilTheKnobReachesOrCrossesThePanelThenFollowsBothWays) {
    engine.setMappings({cc(param(0), 74)});
    EXPECT_TRUE(engine.waitingForPickup(param(0))) << "the knob's place is unknown at first";
    // The panel's value (set at first, then moved by a recall), the knob's moves
    // that leave it alone and those that take it over.
    const std::vector<std::tuple<double, std::vector<int>, std::vector<int>>> cases = {
        {8000.0, {10, 30, 50}, {70, 71}},      // crossed between 50 and 70, then follows
        {2000.0, {72, 60, 40, 20}, {15, 10}},  // from above; 15 lies within one step: reached
        {16383.0, {100, 120}, {127}}};         // the top end is reachable
    for (const auto& [panel, ignored, taken] : cases) {
        SCOPED_TRACE(panel);
        target.put(param(0), panel);
        EXPECT_EQ(engine.pickupState(0), PickupState::waiting);
        target.calls.clear();
        knob(74, ignored);
        EXPECT_TRUE(target.calls.empty());
        EXPECT_EQ(engine.pickupState(0), PickupState::waiting);
        knob(74, taken);
        Values expected;
        for (const int v : taken) {
            expected.push_back(scale7To14(static_cast<std::uint8_t>(v)));
        }
        EXPECT_EQ(setsOf(param(0)), expected);
        EXPECT_EQ(engine.pickupState(0), PickupState::following);
    }
}

TEST_F(ControlEngineTest, RelativeEncodersStepFromThePanelsValueAndStopAtTheEnds) {
    Mapping offset = cc(param(1), 11, MappingMode::relativeBinaryOffset);
    offset.relativeSteps = 16383;  // one step is one unit
    Mapping signedBit = cc(param(2), 12, MappingMode::relativeSignedBit);
    signedBit.inverted = true;
    engine.setMappings({cc(param(0), 10, MappingMode::relativeTwosComplement), offset, signedBit});
    for (const auto& [index, value] : {std::pair{0, 100.0}, {1, 5.0}, {2, 16000.0}}) {
        target.put(param(static_cast<std::uint8_t>(index)), value);
    }

    frame({0xB0, 10, 1, 0xB0, 10, 3, 0xB0, 10, 127});  // +1 +3 -1 in one frame
    EXPECT_EQ(setsOf(param(0)), (Values{100.0 + 3 * kStep})) << "one edit per frame";
    frame({0xB0, 10, 64, 0xB0, 10, 64});  // -64 twice: stops at the bottom
    EXPECT_EQ(setsOf(param(0)).back(), 0.0);

    knob(11, {66, 62, 0});
    EXPECT_EQ(setsOf(param(1)), (Values{7.0, 5.0, 0.0}));

    knob(12, {65, 127});  // -1, -63, inverted: up
    EXPECT_EQ(setsOf(param(2)), (Values{16000.0 + kStep, 16383.0}));
}

TEST_F(ControlEngineTest, NrpnIncrementAndDecrementStepAnAbsoluteMapping) {
    Mapping m = proposeMapping(param(5), {SourceKind::nrpn, 0, 300});
    m.pickup = Pickup::jump;
    engine.setMappings({m});
    frame({0xB0, 99, 2, 98, 44, 6, 64, 38, 0});  // NRPN 300 = 2 << 7 | 44
    EXPECT_EQ(setsOf(param(5)), (Values{8192.0}));
    frame({0xB0, 96, 1, 96, 1});
    frame({0xB0, 97, 1});
    EXPECT_EQ(setsOf(param(5)), (Values{8192.0, 8192.0 + 2 * kStep, 8192.0 + kStep}));
}

TEST_F(ControlEngineTest, ButtonsToggleOrHoldAndEveryPressCountsEvenWithinOneFrame) {
    Mapping pad = proposeMapping(kDrumSwitch, {SourceKind::note, 9, 36});
    ASSERT_EQ(pad.mode, MappingMode::toggle);
    Mapping hold = proposeMapping({ControlKind::modButton, 2}, {SourceKind::note, 9, 37});
    hold.mode = MappingMode::momentary;
    engine.setMappings({pad, hold, cc(kResetDac, 64)});

    frame({0x99, 36, 100, 0x89, 36, 0, 0x99, 36, 90});  // two taps in one frame
    frame({0x99, 36, 100});                             // a pad without note-off
    EXPECT_EQ(
        target.calls,
        (Calls{{"on", kDrumSwitch, 1.0}, {"on", kDrumSwitch, 0.0}, {"on", kDrumSwitch, 1.0}}));
    EXPECT_EQ(callsOf({0x99, 37, 100, 0x89, 37, 0}),
              (Calls{{"on", hold.control, 1.0}, {"on", hold.control, 0.0}}));
    // Pressed, still, released, pressed.
    EXPECT_EQ(callsOf({0xB0, 64, 127, 64, 100, 64, 0, 64, 127}),
              (Calls{{"press", kResetDac, 1.0}, {"press", kResetDac, 1.0}}));
}

TEST_F(ControlEngineTest, ThruPassesOnOnlyWhatNoMappingTakesUnchanged) {
    engine.setMappings({cc(param(0), 74), proposeMapping(param(1), {SourceKind::nrpn, 0, 130})});
    const Bytes input = {0x90, 60, 100,  0xF8, 0xB0, 74, 5,    0xB0, 7, 99,   0xF0,
                         1,    2,  0xF7, 0xE0, 0,    64, 0xB0, 99,   1, 98,   2,
                         6,    0,  0xB0, 99,   1,    98, 3,    6,    0, 0xC0, 4};
    frame(input);
    EXPECT_TRUE(thru.calls.empty()) << "off by default";

    engine.setThru(true);
    frame(input);
    EXPECT_EQ(thru.calls, (std::vector<Bytes>{{0x90, 60, 100},
                                              {0xF8},
                                              {0xB0, 7, 99},
                                              {0xE0, 0, 64},
                                              {0xB0, 99, 1, 0xB0, 98, 3, 0xB0, 6, 0},
                                              {0xC0, 4}}))
        << "not CC 74 nor NRPN 130, which are mapped; never system-exclusive";

    thru.clear();
    engine.setThru(false);
    EXPECT_EQ(thru.messages(), (std::vector<Bytes>{{0x80, 60, 0}})) << "the note thru left on";
}

TEST_F(ControlEngineTest, LearnBindsTheNextSuitableMoveAndNothingElse) {
    std::vector<Mapping> learned;
    Connection c = engine.learned.connect([&](Mapping m) { learned.push_back(m); });
    engine.setThru(true);
    engine.beginLearn(param(3));
    frame({0xF8, 0xFE, 0x80, 60, 0, 0x90, 61, 0, 0xC0, 1});
    EXPECT_TRUE(learned.empty()) << "real time, note-offs and program changes do not bind";
    EXPECT_EQ(engine.learning(), param(3));

    thru.clear();
    frame({0xB2, 74, 100});
    ASSERT_EQ(learned.size(), 1u);
    EXPECT_EQ(learned[0].mode, MappingMode::absolute);
    EXPECT_EQ(learned[0].maximum, 16383.0);
    EXPECT_EQ(engine.mappings(), learned);
    EXPECT_FALSE(engine.learning());
    EXPECT_TRUE(thru.calls.empty()) << "the learning move goes nowhere else";
    EXPECT_TRUE(target.calls.empty());

    // Learning again replaces the control's mapping; a pair is seen as a pair.
    engine.beginLearn(param(3));
    frame({0xB0, 1, 64});
    EXPECT_EQ(learned.size(), 1u) << "waits: this may be the MSB of a pair";
    frame({0xB0, 33, 0});
    EXPECT_EQ(engine.mappings().size(), 1u);
    // An MSB with no LSB binds as a 7-bit controller when the wait ends.
    engine.beginLearn(param(4));
    frame({0xB5, 2, 64});
    now += ControlEngine::kLearnPairWait;
    engine.frame(now);
    // NRPN, then a note on a switch; a cancelled learn binds nothing.
    engine.beginLearn(param(5));
    frame({0xB0, 99, 0, 98, 7, 6, 1});
    engine.beginLearn(kDrumSwitch);
    frame({0x99, 36, 1});
    engine.beginLearn(param(6));
    engine.cancelLearn();
    frame({0xE0, 0, 64});
    std::vector<SourceId> sources;
    for (const Mapping& m : learned) {
        sources.push_back(m.source);
    }
    using enum SourceKind;
    EXPECT_EQ(sources, (std::vector<SourceId>{{controlChange, 2, 74},
                                              {controlChange14, 0, 1},
                                              {controlChange, 5, 2},
                                              {nrpn, 0, 7},
                                              {note, 9, 36}}));
    EXPECT_EQ(learned.back().mode, MappingMode::toggle);
}

TEST_F(ControlEngineTest, TwoMappingsOnOneControlTheLatestWinsAndTheOtherWaits) {
    engine.setMappings({cc(param(0), 1), cc(param(0), 2), jump(param(1), 3), jump(param(2), 3)});
    knob(1, {0});  // reaches 0 and follows
    knob(2, {0});  // reaches the same value: follows too
    EXPECT_EQ(engine.pickupState(0), PickupState::following);
    knob(1, {20});
    EXPECT_EQ(engine.pickupState(1), PickupState::waiting) << "the other knob is left behind";
    knob(2, {5});
    EXPECT_EQ(setsOf(param(0)).back(), scale7To14(20)) << "ignored until it catches up";

    // One source on two controls moves both, in one frame.
    EXPECT_EQ(callsOf({0xB0, 3, 100}),
              (Calls{{"set", param(1), scale7To14(100)}, {"set", param(2), scale7To14(100)}}));
}

TEST_F(ControlEngineTest, MappingsWithAProblemAreLeftOut) {
    Mapping outside = cc(param(0), 1);
    outside.maximum = 20000.0;
    Mapping noteAbsolute = proposeMapping(param(1), {SourceKind::note, 0, 1});
    noteAbsolute.mode = MappingMode::absolute;
    Mapping relativeNrpn = proposeMapping(param(2), {SourceKind::nrpn, 0, 1});
    relativeNrpn.mode = MappingMode::relativeSignedBit;
    Mapping badControl = cc(param(0), 1);
    badControl.control.index = 42;
    EXPECT_EQ(
        engine.setMappings({outside, noteAbsolute, relativeNrpn, badControl, cc(param(3), 1)}), 4u);
    EXPECT_EQ(engine.mappings().size(), 1u);
    EXPECT_FALSE(engine.addMapping(outside));
}

TEST(LearnableControls, EveryControlHasOneKeyOneSlotAndThePanelsNameAndRange) {
    const auto& controls = learnableControls();
    ASSERT_EQ(controls.size(), kControlCount);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controlSlot(controls[i].id), i) << controls[i].key;
        EXPECT_EQ(controlFromKey(controls[i].key), controls[i].id) << "keys are unique";
    }
    EXPECT_EQ(controlInfo(param(6)).key, "param/7") << "by NRPN number";
    EXPECT_EQ(controlInfo(param(41)).name, sliderLabels()[41]);
    EXPECT_EQ(controlInfo({ControlKind::modeSwitch, 5}).key, "switch/140");
    EXPECT_EQ(controlInfo({ControlKind::modeSwitch, 5}).name,
              "channel assign off / channel assign on");
    EXPECT_EQ(controlInfo({ControlKind::modButton, 0}).type, ControlType::onOff);
    EXPECT_EQ(controlInfo(kResetDac).type, ControlType::action);
    const ControlInfo& phase = controlInfo({ControlKind::ballPhaseX, 4});
    EXPECT_EQ(phase.key, "ball/5/phaseX");
    EXPECT_EQ(phase.maximum, PhysicsSimulation::kMaxPhase);
    EXPECT_EQ(static_cast<std::size_t>(kLearnableBalls), initialBalls().size());
    EXPECT_EQ(controlInfo({ControlKind::morph, 0}).maximum, 1.0);
    using enum ControlKind;
    for (const ControlId bad :
         {ControlId{parameter, 42}, {modButton, 6}, {dice, 1}, {ballRun, 5}}) {
        EXPECT_FALSE(isValidControl(bad));
    }
    EXPECT_FALSE(controlFromKey("param/0"));
}

}  // namespace
}  // namespace tarnwell
