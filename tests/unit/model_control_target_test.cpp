#include "core/control/model_control_target.hpp"

#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using test::Sent;

// The real panel driven from a controller, on the manual queue's clock.
struct ModelControlTargetTest : ::testing::Test {
    test::PanelHarness h;
    ManualQueueTime clock{h.queue};
    ModelControlTarget target{*h.model, clock};
    ControlEngine engine{target};
    History& history = h.model->history();

    // Knobs on parameters 3 and 4 and ball 2's amplitude; pads on a switch and dice.
    ModelControlTargetTest() {
        const auto knob = [](ControlKind kind, std::uint8_t index, std::uint16_t number) {
            Mapping m = proposeMapping({kind, index}, {SourceKind::controlChange, 0, number});
            m.pickup = Pickup::jump;
            return m;
        };
        engine.setMappings({knob(ControlKind::parameter, 2, 74),
                            knob(ControlKind::parameter, 3, 75), knob(ControlKind::ballAmpX, 1, 76),
                            proposeMapping({ControlKind::modeSwitch, 0}, {SourceKind::note, 0, 36}),
                            proposeMapping({ControlKind::dice, 0}, {SourceKind::note, 0, 37})});
        h.service->clearRecorded();
    }

    // The controller sends `bytes`; a frame later the panel has them.
    void send(std::initializer_list<std::uint8_t> bytes, std::chrono::milliseconds later = 20ms) {
        h.queue.advance(later);
        engine.receive(0, clock.now().count(), std::vector<std::uint8_t>(bytes));
        engine.frame(clock.now());
        h.queue.runPending();
    }
    void turn(std::uint8_t cc, std::initializer_list<std::uint8_t> values,
              std::chrono::milliseconds apart) {
        for (const std::uint8_t v : values) {
            send({0xB0, cc, v}, apart);
        }
    }
};

TEST_F(ModelControlTargetTest, AKnobTurnIsOneUndoStepAPauseStartsAnotherAndAMoveAfterAnUndoIsKept) {
    turn(74, {10, 20, 30, 40, 50}, 100ms);
    EXPECT_EQ(h.sent().size(), 5u) << "every move is a real edit, sent as it happens";
    EXPECT_EQ(h.sent().back(), (Sent{3, scale7To14(50)}));
    EXPECT_EQ(history.undoSteps(), 1u);
    EXPECT_EQ(history.undoAction(), sliderLabels()[2]);

    h.queue.advance(ModelControlTarget::kJoinWindow);
    EXPECT_FALSE(target.turnOpen()) << "ended by the pause, without a further move";
    EXPECT_EQ(h.queue.pendingCount(), 0u) << "and nothing stays armed: the panel sleeps";

    turn(74, {60, 70}, 100ms);
    EXPECT_EQ(history.undoSteps(), 2u);
    h.model->undo();
    EXPECT_EQ(h.controller().sliderValues()[2], scale7To14(50));
    h.model->undo();
    EXPECT_EQ(h.controller().sliderValues()[2], 0.0);

    // A move right after an undo, inside the window, is a step of its own.
    turn(74, {10, 20}, 100ms);
    h.model->undo();
    EXPECT_EQ(h.controller().sliderValues()[2], 0.0);
    turn(74, {30}, 100ms);
    EXPECT_EQ(history.undoSteps(), 1u) << "recorded, not lost inside the undone turn";
    h.model->undo();
    EXPECT_EQ(h.controller().sliderValues()[2], 0.0);
}

TEST_F(ModelControlTargetTest, SlowMovesAnotherControlSwitchesAndPressesAreStepsOfTheirOwn) {
    turn(74, {10, 20}, 600ms);
    EXPECT_EQ(history.undoSteps(), 2u) << "moves further apart than the window";
    turn(75, {30}, 100ms);
    turn(74, {40}, 100ms);
    EXPECT_EQ(history.undoSteps(), 4u) << "interleaved controls do not join";

    send({0x90, 36, 100, 0xB0, 74, 50});  // a switch, then the knob in one frame
    EXPECT_TRUE(h.controller().modeToggle(ModeToggle::voiceModeToggle));
    send({0x90, 37, 100}, 100ms);  // dice
    EXPECT_EQ(history.undoAction(), "dice");
    EXPECT_EQ(history.undoSteps(), 7u) << "the switch, the knob after it, dice";

    h.model->undo();  // dice
    h.model->undo();  // the knob
    EXPECT_TRUE(h.controller().modeToggle(ModeToggle::voiceModeToggle));
    EXPECT_EQ(h.controller().sliderValues()[2], scale7To14(40));
}

TEST_F(ModelControlTargetTest, GroupedUnitsAndBallControlsFollowAsForAHandEdit) {
    h.controller().toggleLink(0);
    h.controller().toggleLink(1);
    h.service->clearRecorded();
    const std::size_t before = history.undoSteps();
    turn(74, {100, 127}, 50ms);
    EXPECT_EQ(h.controller().sliderValues()[8], 16383.0) << "the copy into unit B";
    EXPECT_EQ(history.undoSteps(), before + 1) << "copies do not break the turn";
    EXPECT_EQ(h.sent(), (std::vector<Sent>{
                            {3, scale7To14(100)}, {9, scale7To14(100)}, {3, 16383}, {9, 16383}}));

    turn(76, {0, 64, 127}, 50ms);
    EXPECT_EQ(h.model->physics().balls()[1].ampX, PhysicsSimulation::kMaxAmplitude);
    EXPECT_EQ(history.undoSteps(), before + 2);
    h.model->undo();
    EXPECT_EQ(h.model->physics().balls()[1].ampX, initialBalls()[1].ampX);
}

TEST_F(ModelControlTargetTest, AKnobWaitsForADicedPanelItsSweepIsOneStepAndAForgottenOneIsIgnored) {
    engine.setMappings(
        {proposeMapping({ControlKind::parameter, 0}, {SourceKind::controlChange, 0, 20})});
    turn(20, {0, 1, 2, 3}, 50ms);  // seen at the panel's 0: it follows
    EXPECT_EQ(h.controller().sliderValues()[0], scale7To14(3));

    h.queue.advance(1s);
    h.controller().randomizeSliders("dice");
    const double diced = h.controller().sliderValues()[0];
    ASSERT_GT(diced, scale7To14(10)) << "the seeded draw lies above the knob";
    EXPECT_TRUE(engine.waitingForPickup({ControlKind::parameter, 0}));
    h.service->clearRecorded();
    turn(20, {4, 5, 6}, 50ms);
    EXPECT_TRUE(h.sent().empty()) << "the knob is below the diced value: ignored";
    EXPECT_EQ(h.controller().sliderValues()[0], diced);

    turn(20, {127}, 50ms);  // swept past it
    EXPECT_EQ(h.controller().sliderValues()[0], 16383.0);
    EXPECT_FALSE(engine.waitingForPickup({ControlKind::parameter, 0}));

    h.model->undo();
    EXPECT_EQ(h.controller().sliderValues()[0], diced) << "the knob's sweep is one step";
    EXPECT_TRUE(engine.waitingForPickup({ControlKind::parameter, 0})) << "undo moved the panel";

    engine.forgetControl({ControlKind::parameter, 0});
    turn(20, {0}, 50ms);
    EXPECT_EQ(h.controller().sliderValues()[0], diced);
}

}  // namespace
}  // namespace tarnwell
