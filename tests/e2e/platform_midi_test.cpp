// The platform service with no MIDI system at all, and the RtMidi service's
// device following through its JACK API (ALSA cannot open on the test machines).
#include "core/midi/platform_midi.hpp"

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/midi/composite_service.hpp"
#include "core/midi/nrpn.hpp"
#include "core/midi/rtmidi_service.hpp"
#include "e2e/e2e_fixture.hpp"

namespace tarnwell {
namespace {

using namespace test;

TEST(NoMidiSystemTest, ConstructionAndSendsReturnPromptlyTheListIsEmptyAndNothingIsPrinted) {
    const bool sequencerPresent = access("/dev/snd/seq", F_OK) == 0;
    const std::string none = "tarnwell-absent-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", none.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);

    // Captures the standard error file descriptor, so libraries' output counts.
    testing::internal::CaptureStderr();
    double constructionMs = 0;
    double maxSendUs = 0;
    {
        const auto start = Clock::now();
        std::shared_ptr<MidiService> service = createPlatformMidiService();
        ManualQueue queue;
        auto manager = MidiManager::create(service, queue);
        constructionMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

        const EndpointRef endpoints[] = {0, 1, CompositeMidiService::compose(0, 1),
                                         CompositeMidiService::compose(1, 1), 0xFFFFFFFF};
        const auto before = Clock::now();
        for (int i = 0; i < 1000; ++i) {
            service->send(manager->outPort(), endpoints[i % 5], encodeNRPN(300, 1, 0));
        }
        maxSendUs = std::chrono::duration<double, std::micro>(Clock::now() - before).count();
        // Long enough for the JACK service to try a server twice more.
        pumpUntil(
            queue, [] { return false; }, 2500ms);
        if (!sequencerPresent) {
            EXPECT_TRUE(service->listDestinations().empty());
            EXPECT_TRUE(manager->destinations().empty());
        }
        EXPECT_FALSE(manager->connectedDeviceName());
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    unsetenv("JACK_DEFAULT_SERVER");

    std::cout << "[ measure  ] construction " << constructionMs << " ms, 1000 sends " << maxSendUs
              << " us\n";
    EXPECT_LT(constructionMs, 2000.0);
    EXPECT_LT(maxSendUs, 1000000.0) << "no send waits for a MIDI system";
    EXPECT_EQ(printed, "") << "nothing may reach the terminal";
}

class RtMidiOverJackTest : public JackE2eTest {};

TEST_F(RtMidiOverJackTest, FollowsThePeerByNameAndReopensItAfterARestart) {
    auto service = std::make_shared<RtMidiService>(
        RtMidiApi::jack, RtMidiService::Options{.clientName = "tarnwell-rtmidi"});
    ASSERT_TRUE(service->available());
    ManualQueue queue;
    auto manager = MidiManager::create(service, queue);

    auto peer = std::make_unique<MidiPeer>(MidiPeer::Kind::jackMidiDump, serverName());
    // The peer registers its port a moment before it activates, and JACK
    // refuses to connect to an inactive client; RtMidi wires the port once,
    // when it opens it, so it is chosen once the peer is active.
    ASSERT_TRUE(pumpUntil(
        queue,
        [&] {
            return listed(*manager, MidiPeer::kDumpPort) && acceptsConnections(MidiPeer::kDumpPort);
        },
        10s));
    ASSERT_TRUE(connectByIndex(queue, *manager, MidiPeer::kDumpPort));
    // RtMidi's JACK output must not be flooded (it spins when its buffer is
    // full), so only a few sequences are sent at a time.
    manager->sendToConnected(300, 1);
    manager->sendToConnected(134, 134);
    manager->sendToConnected(16384, 37);
    EXPECT_EQ(receivedDifference(*peer, {{1, 300}, {134, 134}, {37, 0}}, 20s), "");

    peer->stop();
    ASSERT_TRUE(pumpUntil(
        queue, [&] { return !listed(*manager, MidiPeer::kDumpPort); }, 10s));
    EXPECT_FALSE(manager->connectedDestinationAvailable());

    peer = std::make_unique<MidiPeer>(MidiPeer::Kind::jackMidiDump, serverName());
    ASSERT_TRUE(pumpUntil(
        queue, [&] { return manager->connectedDestinationAvailable(); }, 10s));
    manager->sendToConnected(5, 6);
    EXPECT_EQ(receivedDifference(*peer, {{6, 5}}, 20s), "");
    EXPECT_EQ(service->counters().reopens, 1u);
    EXPECT_EQ(service->counters().droppedSequences, 0u);
    manager.reset();
}

}  // namespace
}  // namespace tarnwell
