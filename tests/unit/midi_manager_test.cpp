#include "core/midi/midi_manager.hpp"

#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/base/wake_signal.hpp"
#include "core/midi/composite_service.hpp"
#include "core/midi/nrpn.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"

namespace tarnwell {
namespace {

using test::Sent;
using test::sentTo;

struct MidiManagerTest : ::testing::Test {
    std::shared_ptr<MidiManager> makeManager() { return MidiManager::create(service, queue); }
    void setupChanged() {
        service->notifySetupChanged();
        queue.runPending();
    }
    std::shared_ptr<LoopbackMidiService> service = std::make_shared<LoopbackMidiService>();
    ManualQueue queue;
};

TEST_F(MidiManagerTest, ConnectionTakesEffectAfterTheCurrentTurnAndTheLaterOfTwoWins) {
    const auto a = service->addDestination("A");
    const auto b = service->addDestination("B");
    auto manager = makeManager();

    manager->connectToDestination(0);
    EXPECT_FALSE(manager->connectedEndpoint()) << "connection must be deferred";
    queue.runPending();
    EXPECT_EQ(manager->connectedDeviceName(), "A");
    EXPECT_EQ(manager->connectedEndpoint(), a);

    // A send in the same turn as a reconnect still reaches the previous endpoint.
    manager->connectToDestination(1);
    manager->sendToConnected(300, 1);
    queue.runPending();
    manager->sendToConnected(7, 2);
    EXPECT_EQ(sentTo(*service, a), (std::vector<Sent>{{1, 300}}));
    EXPECT_EQ(sentTo(*service, b), (std::vector<Sent>{{2, 7}}));
    EXPECT_EQ(service->selectedDestination(), b);

    manager->connectToDestination(0);
    manager->connectToDestination(2);   // outside the list: ignored
    manager->connectToDestination(-1);  // likewise
    EXPECT_EQ(queue.runPending(), 1u);
    EXPECT_EQ(manager->connectedEndpoint(), a);
}

TEST_F(MidiManagerTest, SetupChangeFromAnotherThreadRefreshesOnTheMainQueue) {
    auto manager = makeManager();
    int announcements = 0;
    Connection c = manager->changed.connect([&](MidiManagerChange change) {
        if (change == MidiManagerChange::destinations) {
            ++announcements;
        }
    });
    service->addDestination("Plugged");
    // A burst of notifications from the service's own thread.
    std::thread notifier([&] {
        for (int i = 0; i < 5; ++i) {
            service->notifySetupChanged();
        }
    });
    notifier.join();
    EXPECT_TRUE(manager->destinations().empty()) << "the notification thread must not refresh";
    EXPECT_EQ(queue.runPending(), 1u) << "a burst is merged into one refresh";
    EXPECT_EQ(manager->destinations(), std::vector<std::string>{"Plugged"});
    EXPECT_EQ(announcements, 1);
}

TEST_F(MidiManagerTest, RenamedOrVanishedDestinationIsFollowedAndReconnectedByName) {
    const auto old = service->addDestination("Synth");
    auto manager = makeManager();
    manager->connectToDestination(0);
    queue.runPending();
    // The connection's name, endpoint and availability.
    const auto connection = [&] {
        return std::tuple(manager->connectedDeviceName(), manager->connectedEndpoint(),
                          manager->connectedDestinationAvailable());
    };

    service->renameDestination(old, "Synth 2");
    setupChanged();
    EXPECT_EQ(connection(), std::tuple("Synth 2", old, true));

    service->removeDestination(old);
    setupChanged();
    EXPECT_TRUE(manager->destinations().empty());
    EXPECT_EQ(connection(), std::tuple("Synth 2", old, false)) << "the name stays";

    // Two of that name appear at once: neither can be told to be the one.
    const auto twinA = service->addDestination("Synth 2");
    const auto twinB = service->addDestination("Synth 2");
    setupChanged();
    EXPECT_FALSE(manager->connectedDestinationAvailable());
    service->removeDestination(twinA);
    service->removeDestination(twinB);
    setupChanged();

    service->addDestination("Other");
    const auto again = service->addDestination("Synth 2");
    setupChanged();
    EXPECT_EQ(connection(), std::tuple("Synth 2", again, true));
    manager->sendToConnected(300, 1);
    EXPECT_EQ(sentTo(*service, again), (std::vector<Sent>{{1, 300}}));
    EXPECT_EQ(service->selectedDestination(), again);
}

TEST_F(MidiManagerTest, DestroyedManagerIgnoresLateNotificationsAndConnections) {
    service->addDestination("A");
    auto manager = makeManager();
    manager->connectToDestination(0);
    service->notifySetupChanged();
    manager.reset();
    EXPECT_EQ(queue.runPending(), 2u) << "the posted connection and refresh";
    EXPECT_FALSE(service->selectedDestination())
        << "a connection outliving its manager does nothing";
    service->notifySetupChanged();
    EXPECT_EQ(queue.runPending(), 0u) << "the handler is removed with the manager";
}

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
        void receive(const MidiInputEvent& r) override { got.emplace_back(r.stream, r.time); }
        std::vector<std::pair<int, std::int64_t>> got;
    } records;
    EXPECT_EQ(composite.takeInput(records), 1u);
    EXPECT_EQ(records.got, (std::vector<std::pair<int, std::int64_t>>{{3, 7}}));
}

}  // namespace
}  // namespace tarnwell
