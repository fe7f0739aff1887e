// A hardware controller over real JACK: a python-rtmidi peer sends into the
// panel's input port, and a receiving peer gets exactly the NRPN bytes (and,
// with thru, what no mapping took). Through the whole model.

#include "core/control/controller_input.hpp"

#include <poll.h>

#include <gtest/gtest.h>

#include "core/base/random.hpp"
#include "core/midi/jack_service.hpp"
#include "core/midi/rtmidi_service.hpp"
#include "core/model.hpp"
#include "e2e/e2e_fixture.hpp"

namespace tarnwell {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;

Bytes nrpn(int parameter, int value) {
    return {0xB0, 99, static_cast<std::uint8_t>(parameter >> 7),
            0xB0, 98, static_cast<std::uint8_t>(parameter & 0x7F),
            0xB0, 6,  static_cast<std::uint8_t>(value >> 7),
            0xB0, 38, static_cast<std::uint8_t>(value & 0x7F)};
}

Bytes& operator+=(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
    return to;
}

// Whether JACK shows `source` wired to the panel's input port (the client may
// be "MidiClient-01" when another panel runs on the server, or RtMidi's).
bool wiredToInPort(const std::string& source) {
    jack_client_t* probe = jack_client_open("tarnwell-wiring-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) {
        return false;
    }
    bool connected = false;
    if (const char** ports =
            jack_get_ports(probe, ":InPort$", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
        for (const char** p = ports; *p != nullptr && !connected; ++p) {
            jack_port_t* port = jack_port_by_name(probe, *p);
            connected = port != nullptr && jack_port_connected_to(port, source.c_str()) != 0;
        }
        jack_free(static_cast<void*>(ports));
    }
    jack_client_close(probe);
    return connected;
}

// One running panel model over a service of the given kind, woken by its
// controller input as the program's event loop is.
struct Panel {
    explicit Panel(std::shared_ptr<MidiService> service)
        : model(std::move(service), queue, random, nullptr, [] { return std::nullopt; }) {}

    ControllerInput& input() { return model.controllerInput(); }

    // Runs the queue on real time and serves the input whenever it wakes,
    // until `done` holds or `timeout` passes.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + scaled(timeout);
        auto last = Clock::now();
        while (!done()) {
            if (Clock::now() >= deadline) {
                return false;
            }
            pollfd watched{input().wake().fd(), POLLIN, 0};
            if (poll(&watched, 1, 2) > 0) {
                input().service();
            }
            const auto now = Clock::now();
            queue.advance(std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
            last = now;
            queue.runPending();
        }
        return true;
    }

    ManualQueue queue;
    SystemRandom random;
    Model model;
};

class ControllerInputTest : public JackE2eTest {
protected:
    // The panel sending to the receiving peer and playing from the sender,
    // with CC 74 on channel 1 moving parameter 4.
    void bringUp(Panel& panel, MidiSender& sender, MidiPeer& receiver) {
        ASSERT_TRUE(sender.waitReady(20s));
        ASSERT_TRUE(connectByIndex(panel.queue, panel.model.midi(), receiver.port()));
        ASSERT_TRUE(panel.runUntil(
            [&] { return std::ranges::count(panel.input().sourceNames(), sender.port()) > 0; },
            20s));
        panel.input().chooseSource(sender.port());
        ASSERT_TRUE(panel.runUntil([&] { return wiredToInPort(sender.port()); }, 20s))
            << "the source is wired to the input port";
        Mapping knob =
            proposeMapping({ControlKind::parameter, 3}, {SourceKind::controlChange, 0, 74});
        knob.pickup = Pickup::jump;
        panel.input().engine().setMappings({knob});
    }
    // What the receiver got, once it has at least `count` bytes.
    static Bytes received(Panel& panel, const MidiPeer& receiver, std::size_t count) {
        panel.runUntil([&] { return receiver.bytes().size() >= count; }, 30s);
        receiver.waitQuiet(200ms, 2s);
        return receiver.bytes();
    }
};

TEST_F(ControllerInputTest, CcsIntoInPortBecomeExactNrpnsThruPassesTheRestAndRestartsAreFollowed) {
    MidiPeer receiver(MidiPeer::Kind::pythonRtMidi, serverName(), "tw-synth");
    auto sender = std::make_unique<MidiSender>(serverName(), "tw-knobs");
    auto panel = std::make_unique<Panel>(std::make_shared<JackMidiService>());
    bringUp(*panel, *sender, receiver);

    ASSERT_TRUE(sender->send({0xB0, 74, 127}));
    EXPECT_EQ(received(*panel, receiver, 12), nrpn(4, 16383));

    // Thru: an unmapped note passes unchanged; the knob still edits.
    panel->input().setThru(true);
    ASSERT_TRUE(sender->send({0x90, 60, 100}));
    panel->runUntil([&] { return receiver.bytes().size() >= 15; }, 30s);
    ASSERT_TRUE(sender->send({0xB0, 74, 0}));
    Bytes expected = nrpn(4, 16383);
    (expected += {0x90, 60, 100}) += nrpn(4, 0);
    EXPECT_EQ(received(*panel, receiver, expected.size()), expected);

    // The controller quits with the note still held: the note is ended on
    // the synth. It comes back and is found again by its name.
    sender->stop();
    ASSERT_TRUE(panel->runUntil([&] { return !panel->input().sourceAvailable(); }, 20s));
    expected += {0x80, 60, 0};
    EXPECT_EQ(received(*panel, receiver, expected.size()), expected);
    sender = std::make_unique<MidiSender>(serverName(), "tw-knobs");
    ASSERT_TRUE(sender->waitReady(20s));
    ASSERT_TRUE(panel->runUntil([&] { return wiredToInPort(sender->port()); }, 20s));
    ASSERT_TRUE(sender->send({0xB0, 74, 64}));
    expected += nrpn(4, scale7To14(64));
    EXPECT_EQ(received(*panel, receiver, expected.size()), expected);

    // The panel quits and starts again: the source is found by name.
    panel.reset();
    panel = std::make_unique<Panel>(std::make_shared<JackMidiService>());
    bringUp(*panel, *sender, receiver);
    ASSERT_TRUE(sender->send({0xB0, 74, 1}));
    expected += nrpn(4, scale7To14(1));
    EXPECT_EQ(received(*panel, receiver, expected.size()), expected);
}

TEST_F(ControllerInputTest, ALearnBindsACcThatMayBeAPairsMsbOnceItsLsbFailsToCome) {
    MidiPeer receiver(MidiPeer::Kind::pythonRtMidi, serverName(), "tw-synth");
    MidiSender sender(serverName(), "tw-knobs");
    Panel panel(std::make_shared<JackMidiService>());
    bringUp(panel, sender, receiver);

    // CC 20 may be the MSB of a 14-bit pair: the learn waits for its LSB,
    // timed from the stamp JACK gave the event, and binds the 7-bit CC when
    // none comes.
    panel.input().engine().beginLearn({ControlKind::parameter, 2});
    ASSERT_TRUE(sender.send({0xB1, 20, 0}));
    ASSERT_TRUE(panel.runUntil([&] { return !panel.input().engine().learning(); }, 20s));
    const auto bound = panel.input().engine().mappingsOf({ControlKind::parameter, 2});
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_EQ(bound[0].source, (SourceId{SourceKind::controlChange, 1, 20}));

    ASSERT_TRUE(sender.send({0xB1, 20, 1}));  // at the panel's 0: picked up
    EXPECT_EQ(received(panel, receiver, 12), nrpn(3, scale7To14(1)));
}

// ALSA through RtMidi's input cannot be opened on these machines; its JACK
// API takes the same path through the RtMidi service.
TEST_F(ControllerInputTest, RtMidiInputFollowsItsSourceAndPlaysThePanel) {
    MidiPeer receiver(MidiPeer::Kind::pythonRtMidi, serverName(), "tw-synth");
    auto sender = std::make_unique<MidiSender>(serverName(), "tw-knobs");
    auto service = std::make_shared<RtMidiService>(
        RtMidiApi::jack, RtMidiService::Options{.clientName = "tw-rtmidi"});
    ASSERT_TRUE(service->available());
    Panel panel(service);
    bringUp(panel, *sender, receiver);
    ASSERT_TRUE(service->inputOpen());
    ASSERT_TRUE(sender->send({0xB0, 74, 127}));
    Bytes expected = nrpn(4, 16383);
    EXPECT_EQ(received(panel, receiver, 12), expected);

    sender->stop();
    ASSERT_TRUE(panel.runUntil([&] { return !panel.input().sourceAvailable(); }, 20s));
    sender = std::make_unique<MidiSender>(serverName(), "tw-knobs");
    ASSERT_TRUE(sender->waitReady(20s));
    ASSERT_TRUE(panel.runUntil(
        [&] { return panel.input().sourceAvailable() && wiredToInPort(sender->port()); }, 20s));
    ASSERT_TRUE(sender->send({0xB0, 74, 0}));
    expected += nrpn(4, 0);
    EXPECT_EQ(received(panel, receiver, expected.size()), expected);
}

}  // namespace
}  // namespace tarnwell
