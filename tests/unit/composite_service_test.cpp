#include "core/midi/composite_service.hpp"

#include <gtest/gtest.h>

#include "core/base/wake_signal.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/nrpn.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"

namespace tarnwell {
namespace {

using test::Sent;
using test::sentTo;

class CompositeServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<LoopbackMidiService> alsa = std::make_shared<LoopbackMidiService>();
    std::shared_ptr<LoopbackMidiService> jack = std::make_shared<LoopbackMidiService>();
};

TEST_F(CompositeServiceTest, OneListOfEveryBackendWhoseSendsAndSelectionReachOnlyTheOwner) {
    const auto a = alsa->addDestination("Synth");
    alsa->addDestination(std::nullopt);
    const auto j = jack->addDestination("midi-monitor:input");
    ASSERT_EQ(a, j) << "both backends hand out the same raw handles";
    auto composite = std::make_shared<CompositeMidiService>(
        std::vector<std::shared_ptr<MidiService>>{alsa, jack});
    const auto list = composite->listDestinations();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].name, std::nullopt);
    EXPECT_NE(list[0].endpoint, list[2].endpoint);

    ManualQueue queue;
    auto manager = MidiManager::create(composite, queue);
    EXPECT_EQ(alsa->clientName(), "MidiClient");
    EXPECT_EQ(jack->portName(), "OutPort");
    // The nameless destination has no row, and shifts none.
    ASSERT_EQ(manager->destinations(), (std::vector<std::string>{"Synth", "midi-monitor:input"}));
    manager->connectToDestination(1);
    queue.runPending();
    manager->sendToConnected(300, 1);
    EXPECT_EQ(sentTo(*jack, j), (std::vector<Sent>{{1, 300}}));
    EXPECT_EQ(jack->selectedDestination(), j);
    EXPECT_EQ(alsa->selectedDestination(), std::nullopt);
    manager->connectToDestination(0);
    queue.runPending();
    manager->sendToConnected(7, 2);
    EXPECT_EQ(sentTo(*alsa, a), (std::vector<Sent>{{2, 7}}));

    // Handles of no backend, or of a backend that does not exist, go nowhere.
    const auto port = manager->outPort();
    composite->send(port, j, encodeNRPN(1, 1, 0));
    composite->send(port, CompositeMidiService::compose(2, j), encodeNRPN(1, 1, 0));
    composite->send(port + 1, CompositeMidiService::compose(1, j), encodeNRPN(1, 1, 0));
    EXPECT_EQ(alsa->deliveryCount() + jack->deliveryCount(), 2u);

    // A plug-in on the second backend reaches the manager's list.
    jack->addDestination("synth:in");
    jack->notifySetupChanged();
    queue.runPending();
    EXPECT_EQ(manager->destinations().back(), "synth:in");
}

TEST_F(CompositeServiceTest, ABackendWithoutAClientDoesNotStopTheOthers) {
    alsa->setFailClientCreation(true);
    const auto a = alsa->addDestination("Synth");
    const auto j = jack->addDestination("midi-monitor:input");
    CompositeMidiService composite({alsa, jack});
    const auto port = composite.createOutputPort(composite.createClient("MidiClient"), "OutPort");
    ASSERT_NE(port, 0u);
    composite.selectDestination(CompositeMidiService::compose(1, j));
    composite.send(port, CompositeMidiService::compose(0, a), encodeNRPN(1, 1, 0));
    composite.send(port, CompositeMidiService::compose(1, j), encodeNRPN(2, 2, 0));
    EXPECT_EQ(alsa->deliveryCount(), 0u);
    EXPECT_EQ(sentTo(*jack, j), (std::vector<Sent>{{2, 2}}));
}

TEST_F(CompositeServiceTest, ASourceOnOneBackendDeselectsTheOthersAndInputComesFromEach) {
    const EndpointRef pads = jack->addSource("Pads");
    alsa->addSource("Keys");
    CompositeMidiService composite({alsa, jack});
    auto wake = std::make_shared<WakeSignal>();
    ASSERT_NE(composite.createInputPort(composite.createClient("MidiClient"), "InPort", wake), 0u);
    EXPECT_EQ(alsa->inputPortName(), "InPort");
    const auto sources = composite.listSources();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[1].name, "Pads");

    composite.selectSource(sources[1].endpoint, 3);
    EXPECT_EQ(alsa->selectedSource(), 0u);
    EXPECT_EQ(jack->selectedSource(), pads);
    EXPECT_TRUE(jack->inject(pads, std::vector<std::uint8_t>{0xB0, 1, 2}, 7));
    EXPECT_TRUE(wake->take());
    struct Records final : MidiInputConsumer {
        void receive(const MidiInputEvent& r) override { got.push_back(r); }
        std::vector<MidiInputEvent> got;
    } records;
    EXPECT_EQ(composite.takeInput(records), 1u);
    ASSERT_EQ(records.got.size(), 1u);
    EXPECT_EQ(records.got[0].stream, 3);
    EXPECT_EQ(records.got[0].time, 7);
}

}  // namespace
}  // namespace tarnwell
