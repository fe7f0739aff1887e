#include "core/control/controller_input.hpp"

#include <chrono>
#include <thread>
#include <vector>

#include <poll.h>

#include <gtest/gtest.h>

#include "core/base/wake_signal.hpp"
#include "core/midi/midi_bytes.hpp"
#include "core/midi/monitor_feed.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::Sent;

// The panel with a controller on the loopback service, on the manual queue's clock.
struct ControllerInputTest : ::testing::Test {
    std::shared_ptr<LoopbackMidiService> service = std::make_shared<LoopbackMidiService>();
    ManualQueue queue;
    ManualQueueTime clock{queue};
    test::SeededRandom random;
    test::FakeFileChooser chooser;
    EndpointRef synth = service->addDestination("Synth");
    EndpointRef knobs = service->addSource("nanoKONTROL2");
    std::unique_ptr<Model> model = std::make_unique<Model>(
        service, queue, random, &chooser, [] { return std::nullopt; }, clock);
    ControllerInput& input = model->controllerInput();
    ControlEngine& engine = input.engine();

    ControllerInputTest() {
        model->controller().destinationPickerAppeared();
        queue.runPending();
    }

    std::vector<Sent> sent() const { return test::sentTo(*service, synth); }
    // The controller sends `bytes` now; the event loop wakes if it was told.
    bool play(const Bytes& bytes, EndpointRef from = 0) {
        const bool queued = service->inject(from != 0 ? from : knobs, bytes, clock.now().count());
        if (input.wake().take()) {
            input.wake().notify();  // put back: service() takes it itself
            input.service();
        }
        return queued;
    }
    void bind(ControlId control, SourceId source) {
        Mapping m = proposeMapping(control, source);
        m.pickup = Pickup::jump;
        ASSERT_TRUE(engine.addMapping(m));
    }
    // The knob that moves parameter 1, listened to from a quiet second on.
    void listenToKnob() {
        input.chooseSource("nanoKONTROL2");
        bind({ControlKind::parameter, 0}, {SourceKind::controlChange, 0, 74});
        queue.advance(1s);
    }
    void setupChanged() {
        service->notifySetupChanged();
        queue.runPending();
    }
};

TEST_F(ControllerInputTest, NoInputPortUntilASourceIsChosenThenItIsFoundByNameAndFollowed) {
    EXPECT_FALSE(input.inputPortOpen());
    EXPECT_FALSE(service->inputPortName());
    EXPECT_EQ(input.sourceNames(), (std::vector<std::string>{"nanoKONTROL2"}));
    EXPECT_EQ(input.sourceStatus(), "None");

    // A source that is not there yet: the port opens, nothing is selected.
    input.chooseSource("Keystep");
    EXPECT_EQ(service->inputPortName(), "InPort");
    EXPECT_EQ(service->selectedSource(), 0u);
    EXPECT_EQ(input.sourceStatus(), "Keystep (unavailable)");

    // It is plugged in later: connected when it appears.
    const EndpointRef keystep = service->addSource("Keystep");
    setupChanged();
    EXPECT_EQ(service->selectedSource(), keystep);
    EXPECT_EQ(input.sourceStatus(), "Keystep");

    bind({ControlKind::parameter, 4}, {SourceKind::controlChange, 0, 74});
    play({0xB0, 74, 127}, keystep);
    EXPECT_EQ(sent(), (std::vector<Sent>{{5, 16383}}));

    // Unplugged and plugged back in under a new handle: followed by name.
    service->removeSource(keystep);
    setupChanged();
    EXPECT_EQ(input.sourceStatus(), "Keystep (unavailable)");
    const EndpointRef again = service->addSource("Keystep");
    setupChanged();
    EXPECT_EQ(service->selectedSource(), again);
    queue.advance(1s);
    play({0xB0, 74, 0}, again);
    EXPECT_EQ(sent().back(), (Sent{5, 0}));

    input.chooseSource(std::nullopt);
    EXPECT_EQ(service->selectedSource(), 0u);
    EXPECT_EQ(service->inputPortName(), "InPort") << "the port, once made, stays";
}

TEST_F(ControllerInputTest, ASourceThatVanishesMidMoveReleasesWhatItHeldAndEndsItsNotes) {
    input.chooseSource("nanoKONTROL2");
    input.setThru(true);
    Mapping hold = proposeMapping({ControlKind::modButton, 2}, {SourceKind::note, 0, 40});
    hold.mode = MappingMode::momentary;
    ASSERT_TRUE(engine.addMapping(hold));
    // Holds the button, plays a note thru and holds the sustain pedal.
    play({0x90, 40, 100, 0x91, 60, 90, 0xB1, 64, 127});
    EXPECT_TRUE(model->controller().modButtonPressed()[2]);
    EXPECT_EQ(service->rawBytesFor(synth), (Bytes{0x91, 60, 90, 0xB1, 64, 127}));

    service->removeSource(knobs);
    setupChanged();
    queue.advance(100ms);
    EXPECT_FALSE(model->controller().modButtonPressed()[2]) << "no stuck button";
    EXPECT_EQ(service->rawBytesFor(synth),
              (Bytes{0x91, 60, 90, 0xB1, 64, 127, 0x81, 60, 0, 0xB1, 64, 0}))
        << "no stuck note, no held pedal";
}

TEST_F(ControllerInputTest, MovesAreAppliedAtMostOncePerFrameAndAnIdleControllerPostsNothing) {
    listenToKnob();

    play({0xB0, 74, 10});
    EXPECT_EQ(sent(), (std::vector<Sent>{{1, scale7To14(10)}})) << "the first move goes at once";
    EXPECT_EQ(input.frames(), 1u);

    // Thirty more inside one frame: nothing until it is due, then only the latest.
    for (std::uint8_t v = 11; v <= 40; ++v) {
        play({0xB0, 74, v});
    }
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(queue.pendingCount(), 1u) << "one delayed frame, not one per message";
    queue.advance(17ms);
    EXPECT_EQ(sent(), (std::vector<Sent>{{1, scale7To14(10)}, {1, scale7To14(40)}}));
    EXPECT_EQ(input.frames(), 2u);

    EXPECT_EQ(queue.pendingCount(), 0u) << "at rest nothing is armed";
    queue.advance(10s);
    EXPECT_EQ(input.frames(), 2u) << "an idle controller costs no frame";
}

TEST_F(ControllerInputTest, AWaitingPairMsbOrLearnGetsOneDelayedFrameOnTimeAndNoMore) {
    input.chooseSource("nanoKONTROL2");
    bind({ControlKind::parameter, 1}, {SourceKind::controlChange14, 0, 7});
    queue.advance(1s);
    play({0xB0, 7, 100, 0xB0, 39, 5});
    EXPECT_EQ(sent(), (std::vector<Sent>{{2, 100 << 7 | 5}}));
    queue.advance(1s);
    play({0xB0, 7, 64});  // the MSB; its LSB never comes
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(queue.pendingCount(), 1u);
    queue.advance(
        std::chrono::duration_cast<std::chrono::milliseconds>(SourceRecognizer::kPairWait) - 1ms);
    EXPECT_EQ(sent().size(), 1u);
    queue.advance(1ms);
    EXPECT_EQ(sent().back(), (Sent{2, 64 << 7})) << "completed with LSB 0";
    EXPECT_EQ(queue.pendingCount(), 0u);

    // Learning waits longer for a pair, then binds the lone MSB without a further move.
    engine.beginLearn({ControlKind::parameter, 2});
    play({0xB0, 9, 0});
    queue.advance(ControlEngine::kLearnPairWait);
    EXPECT_EQ(engine.mappings().size(), 2u);
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST_F(ControllerInputTest, ControllerEditsGoOutAsControllerGroupedCopiesToo) {
    input.chooseSource("nanoKONTROL2");
    bind({ControlKind::parameter, 0}, {SourceKind::controlChange, 0, 74});
    bind({ControlKind::modeSwitch, 0}, {SourceKind::note, 0, 36});
    model->controller().toggleLink(0);
    model->controller().toggleLink(1);
    MonitorFeed feed([](EndpointRef) { return std::string("Synth"); });
    model->midi().addSendObserver(&feed);

    play({0xB0, 74, 127});
    queue.runPending();  // the copy into unit B
    queue.advance(1s);
    play({0x90, 36, 100});
    model->controller().resetDAC();  // by hand
    model->midi().removeSendObserver(&feed);

    ASSERT_EQ(feed.rows().size(), 4u);
    EXPECT_EQ(feed.rows()[0].number, 1);
    EXPECT_EQ(feed.rows()[0].origin, SendOrigin::controller);
    EXPECT_EQ(feed.rows()[1].number, 7);
    EXPECT_EQ(feed.rows()[1].origin, SendOrigin::controller) << "the grouped copy";
    EXPECT_EQ(feed.rows()[2].origin, SendOrigin::controller) << "the switch";
    EXPECT_EQ(feed.rows()[3].origin, SendOrigin::hand);
    EXPECT_EQ(model->midi().handOrigin(), SendOrigin::hand);
}

TEST_F(ControllerInputTest, AKnobTurnAndAnEditByOtherMeansRightAfterItAreStepsOfTheirOwn) {
    listenToKnob();
    History& history = model->history();
    for (const std::uint8_t v : {10, 20, 30}) {
        play({0xB0, 74, v});
        queue.advance(40ms);
    }
    EXPECT_EQ(history.undoSteps(), 1u) << "one turn, one step";
    const double turned = model->controller().sliderValues()[0];

    model->controller().randomizeSliders("dice");  // 0.1 s after the last move
    EXPECT_EQ(history.undoSteps(), 2u) << "dice does not vanish into the knob's step";
    queue.advance(100ms);
    play({0xB0, 74, 40});
    EXPECT_EQ(history.undoSteps(), 3u) << "nor does the knob join the dice's";

    model->undo();
    model->undo();
    EXPECT_EQ(model->controller().sliderValues()[0], turned) << "undo dice gives the turn back";
    model->undo();
    EXPECT_EQ(model->controller().sliderValues()[0], 0.0);
    EXPECT_FALSE(history.canUndo());
}

TEST_F(ControllerInputTest, AFullQueueDropsAndCountsAndTheRestStillPlays) {
    service->setInputCapacity(8);
    listenToKnob();
    std::vector<std::uint64_t> told;
    Connection c = input.inputLost.connect([&](std::uint64_t lost) { told.push_back(lost); });
    for (std::uint8_t v = 0; v < 20; ++v) {  // the main thread stalls meanwhile
        service->inject(knobs, Bytes{0xB0, 74, v}, clock.now().count());
    }
    EXPECT_EQ(input.droppedInput(), 12u);
    EXPECT_EQ(input.service(), 8u);
    EXPECT_EQ(told, (std::vector<std::uint64_t>{12}));
    EXPECT_EQ(sent(), (std::vector<Sent>{{1, scale7To14(7)}}));
    queue.advance(1s);
    play({0xB0, 74, 127});
    EXPECT_EQ(sent().back(), (Sent{1, 16383})) << "input flows again";
}

TEST_F(ControllerInputTest, MappingsThatNameASourceOpenThePortAndChooseIt) {
    MappingFile file;
    file.input = "nanoKONTROL2";
    file.mappings.push_back(proposeMapping({ControlKind::resetDac, 0}, {SourceKind::note, 9, 50}));
    EXPECT_EQ(input.loadMappingFile(file), 0u);
    EXPECT_EQ(service->selectedSource(), knobs);
    EXPECT_EQ(input.mappingFile(), file);
    play({0x99, 50, 1});
    EXPECT_EQ(sent(), (std::vector<Sent>{{kResetDacNumber, kCommandValue}}));
}

TEST_F(ControllerInputTest, ResetToDefaultIsOneHandEditAndActionsHaveNone) {
    model->controller().editParameter(3, 900.0);
    model->physics().editBall(1, [](Ball& b) { b.ampX = 1.0; });
    model->controller().setModeToggle(ModeToggle::drumModeToggle, true);
    const std::size_t steps = model->history().undoSteps();
    EXPECT_TRUE(resetControlToDefault(*model, {ControlKind::parameter, 3}));
    EXPECT_TRUE(resetControlToDefault(*model, {ControlKind::ballAmpX, 1}));
    EXPECT_TRUE(resetControlToDefault(
        *model, {ControlKind::modeSwitch, static_cast<std::uint8_t>(ModeToggle::drumModeToggle)}));
    EXPECT_EQ(model->controller().sliderValues()[3], 0.0);
    EXPECT_EQ(model->physics().balls()[1].ampX, initialBalls()[1].ampX);
    EXPECT_FALSE(model->controller().modeToggle(ModeToggle::drumModeToggle));
    EXPECT_EQ(model->history().undoSteps(), steps + 3);
    EXPECT_FALSE(controlHasDefault({ControlKind::dice, 0}));
    EXPECT_FALSE(resetControlToDefault(*model, {ControlKind::resetDac, 0}));
    EXPECT_EQ(model->history().undoSteps(), steps + 3);
}

TEST(WakeSignalTest, ManyNotificationsFromAnotherThreadWakeTheWatcherOnceUntilTaken) {
    WakeSignal wake;
    ASSERT_GE(wake.fd(), 0);
    std::thread producer([&] {
        for (int i = 0; i < 1000; ++i) {
            wake.notify();
        }
    });
    producer.join();
    pollfd watched{wake.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&watched, 1, 1000), 1);
    EXPECT_EQ(wake.wakeups(), 1u);
    EXPECT_TRUE(wake.take());
    EXPECT_EQ(poll(&watched, 1, 0), 0) << "taken: the descriptor is quiet again";
    EXPECT_FALSE(wake.take());
    wake.notify();
    EXPECT_EQ(poll(&watched, 1, 0), 1);
}

TEST(MidiBytesTest, MessagesAreCutByTheirStatusAndAnythingElseStops) {
    std::vector<std::size_t> lengths;
    const Bytes whole{0x90, 60, 1, 0xC0, 5, 0xF8, 0xF2, 1, 2, 0xF6, 0xD1, 9};
    EXPECT_TRUE(forEachMidiMessage(whole, [&](auto m) { lengths.push_back(m.size()); }));
    EXPECT_EQ(lengths, (std::vector<std::size_t>{3, 2, 1, 3, 1, 2}));
    for (const Bytes& bad :
         {Bytes{60}, Bytes{0x90, 60}, Bytes{0xF0, 1, 0xF7}, Bytes{0x90, 0x80, 1}}) {
        EXPECT_FALSE(forEachMidiMessage(bad, [](auto) {}));
    }
}

}  // namespace
}  // namespace tarnwell
