#include "core/midi/midi_manager.hpp"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"

namespace tarnwell {
namespace {

using test::Sent;
using test::sentTo;

class MidiManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<MidiManager> makeManager() { return MidiManager::create(service, queue); }

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
    const auto refresh = [&] {
        service->notifySetupChanged();
        queue.runPending();
    };

    service->renameDestination(old, "Synth 2");
    refresh();
    EXPECT_EQ(manager->connectedDeviceName(), "Synth 2");
    EXPECT_EQ(manager->connectedEndpoint(), old);
    EXPECT_TRUE(manager->connectedDestinationAvailable());

    service->removeDestination(old);
    refresh();
    EXPECT_TRUE(manager->destinations().empty());
    EXPECT_EQ(manager->connectedDeviceName(), "Synth 2") << "the name stays";
    EXPECT_FALSE(manager->connectedDestinationAvailable());

    // Two of that name appear at once: neither can be told to be the one.
    const auto twinA = service->addDestination("Synth 2");
    const auto twinB = service->addDestination("Synth 2");
    refresh();
    EXPECT_FALSE(manager->connectedDestinationAvailable());
    service->removeDestination(twinA);
    service->removeDestination(twinB);
    refresh();

    service->addDestination("Other");
    const auto again = service->addDestination("Synth 2");
    refresh();
    EXPECT_EQ(manager->connectedEndpoint(), again);
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

}  // namespace
}  // namespace tarnwell
