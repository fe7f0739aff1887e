// The JACK service's three threads (main, worker, process callback) over the
// in-process server of fake_jack.cpp, so a thread checker sees every
// hand-over: a stream of NRPNs drained by the process thread while the
// destination changes, the drain when the service closes mid-stream, and the
// server going away and coming back.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include "core/base/wake_signal.hpp"
#include "core/control/midi_input.hpp"
#include "core/midi/jack_service.hpp"
#include "core/midi/nrpn.hpp"
#include "fake_jack.hpp"
#include "testing/test_time.hpp"

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using test::scaled;

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + scaled(timeout);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Another client of the server with one MIDI port: an input keeps every byte
// it receives; an output sends what `queue` was given, one event per call.
class Peer {
public:
    Peer(const std::string& name, unsigned long direction)
        : output_(direction == JackPortIsOutput) {
        client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
        port_ = jack_port_register(client_, "port", JACK_DEFAULT_MIDI_TYPE, direction, 0);
        jack_set_process_callback(client_, &Peer::process, this);
        jack_activate(client_);
    }
    ~Peer() { jack_client_close(client_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    std::string portName() const { return jack_port_name(port_); }
    std::vector<std::uint8_t> bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    void queue(std::vector<std::uint8_t> event) {
        std::lock_guard lock(mutex_);
        outgoing_.push_back(std::move(event));
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Peer*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        std::lock_guard lock(self->mutex_);
        if (self->output_) {
            jack_midi_clear_buffer(buffer);
            if (!self->outgoing_.empty()) {
                const auto& e = self->outgoing_.front();
                jack_midi_event_write(buffer, 0, e.data(), e.size());
                self->outgoing_.erase(self->outgoing_.begin());
            }
            return 0;
        }
        jack_midi_event_t event;
        for (std::uint32_t i = 0; jack_midi_event_get(&event, buffer, i) == 0; ++i) {
            self->bytes_.insert(self->bytes_.end(), event.buffer, event.buffer + event.size);
        }
        return 0;
    }

    const bool output_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::vector<std::uint8_t>> outgoing_;
};

std::vector<std::uint8_t> sequence(int i) {
    const auto bytes = encodeNRPN(i % 16384, i % 128, 0);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> sequences(int from, int to) {
    std::vector<std::uint8_t> all;
    for (int i = from; i < to; ++i) {
        const auto one = sequence(i);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

EndpointRef endpointOf(JackMidiService& service, const std::string& name) {
    for (const auto& d : service.listDestinations()) {
        if (d.name == name) {
            return d.endpoint;
        }
    }
    return 0;
}

class JackServiceThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A port buffer smaller than a cycle's events: refused writes wait.
        fakejack::startServer({.period = 64, .sampleRate = 48000, .bufferBytes = 20 * 3});
        a_ = std::make_unique<Peer>("synthA", JackPortIsInput);
        b_ = std::make_unique<Peer>("synthB", JackPortIsInput);
        JackMidiService::Options options;
        options.eventsPerCycle = 32;
        options.ringCapacity = 1024;
        options.reconnectInterval = 20ms;
        service_ = std::make_unique<JackMidiService>(options);
        service_->setSetupChangedHandler([this] { ++setupChanges_; });
        service_->createClient("tarnwell");
        service_->createOutputPort(1, "out");
    }
    void TearDown() override {
        service_.reset();
        a_.reset();
        b_.reset();
        fakejack::stopServer();
    }

    // Sends sequences [from, to) to `to`, never more than the ring holds.
    void stream(int from, int to, EndpointRef destination) {
        for (int i = from; i < to; ++i) {
            ASSERT_TRUE(waitFor([&] { return service_->queuedMessages() < 512; }));
            service_->send(1, destination, sequence(i));
        }
    }

    // Chooses peer A once both are listed and queues 200 sequences at once,
    // far more than one cycle takes.
    EndpointRef queueBurstToA() {
        EXPECT_TRUE(waitFor([&] { return service_->listDestinations().size() == 2; }));
        const EndpointRef a = endpointOf(*service_, a_->portName());
        service_->selectDestination(a);
        EXPECT_TRUE(waitFor([&] { return service_->connectedToServer(); }));
        for (int i = 0; i < 200; ++i) {
            service_->send(1, a, sequence(i));
        }
        EXPECT_EQ(service_->counters().acceptedSequences, 200U);
        return a;
    }

    std::unique_ptr<Peer> a_;
    std::unique_ptr<Peer> b_;
    std::unique_ptr<JackMidiService> service_;
    std::atomic<int> setupChanges_{0};
};

TEST_F(JackServiceThreadsTest, StreamFollowsTheDestinationChangedMidStreamInOrder) {
    ASSERT_TRUE(waitFor([&] { return service_->listDestinations().size() == 2; }));
    const EndpointRef a = endpointOf(*service_, a_->portName());
    const EndpointRef b = endpointOf(*service_, b_->portName());
    ASSERT_NE(a, 0U);
    ASSERT_NE(b, 0U);
    service_->selectDestination(a);
    stream(0, 600, a);
    service_->selectDestination(b);
    stream(600, 1200, b);
    service_->selectDestination(a);
    stream(1200, 1500, a);

    auto wantA = sequences(0, 600);
    const auto tailA = sequences(1200, 1500);
    wantA.insert(wantA.end(), tailA.begin(), tailA.end());
    const auto wantB = sequences(600, 1200);
    EXPECT_TRUE(waitFor([&] { return a_->bytes().size() >= wantA.size(); }));
    EXPECT_TRUE(waitFor([&] { return b_->bytes().size() >= wantB.size(); }));
    EXPECT_EQ(a_->bytes(), wantA);
    EXPECT_EQ(b_->bytes(), wantB);
    const auto counters = service_->counters();
    EXPECT_EQ(counters.acceptedSequences, 1500U);
    EXPECT_EQ(counters.droppedSequences, 0U);
    EXPECT_EQ(counters.writtenMessages, 1500U * 4);
}

TEST_F(JackServiceThreadsTest, DestinationsChosenInTurnEachGetOnlyTheirOwnSequences) {
    ASSERT_TRUE(waitFor([&] { return service_->listDestinations().size() == 2; }));
    const EndpointRef a = endpointOf(*service_, a_->portName());
    const EndpointRef b = endpointOf(*service_, b_->portName());
    // Every choice rewires the port while the process thread drains the ring.
    std::vector<std::uint8_t> wantA;
    std::vector<std::uint8_t> wantB;
    for (int i = 0; i < 120; ++i) {
        const EndpointRef to = (i / 3) % 2 == 0 ? a : b;
        service_->selectDestination(to);
        service_->send(1, to, sequence(i));
        auto& want = to == a ? wantA : wantB;
        const auto one = sequence(i);
        want.insert(want.end(), one.begin(), one.end());
    }
    EXPECT_EQ(service_->counters().acceptedSequences, 120U);
    EXPECT_TRUE(waitFor(
        [&] { return a_->bytes().size() >= wantA.size() && b_->bytes().size() >= wantB.size(); }));
    EXPECT_EQ(a_->bytes(), wantA);
    EXPECT_EQ(b_->bytes(), wantB);
}

TEST_F(JackServiceThreadsTest, ClosingMidStreamDeliversWhatWasQueued) {
    queueBurstToA();
    service_->drain(scaled(2s));
    EXPECT_EQ(service_->queuedMessages(), 0U);
    service_.reset();
    const auto want = sequences(0, 200);
    EXPECT_TRUE(waitFor([&] { return a_->bytes().size() >= want.size(); }));
    EXPECT_EQ(a_->bytes(), want);
}

TEST_F(JackServiceThreadsTest, ServerLossDropsSendsAndItsReturnRestoresTheWiring) {
    // The server dies mid-stream: the peer has what arrived so far, in order.
    const EndpointRef a = queueBurstToA();
    ASSERT_TRUE(waitFor([&] { return !a_->bytes().empty(); }));
    const int changesBefore = setupChanges_.load();
    fakejack::stopServer();
    const auto before = a_->bytes();
    const auto all = sequences(0, 200);
    ASSERT_LE(before.size(), all.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), all.begin()));
    // The list empties and the panel is told.
    EXPECT_TRUE(waitFor([&] {
        return !service_->connectedToServer() && service_->listDestinations().empty() &&
               setupChanges_.load() > changesBefore;
    }));
    const auto dropped = service_->counters().droppedSequences;
    service_->send(1, a, sequence(100));
    EXPECT_EQ(service_->counters().droppedSequences, dropped + 1);

    // The peers died with the server; they come back under the same names,
    // and the service rewires the still selected destination by name. What
    // was queued for the dead server is not delivered to the new one.
    a_.reset();
    b_.reset();
    fakejack::startServer({.period = 64, .sampleRate = 48000, .bufferBytes = 20 * 3});
    a_ = std::make_unique<Peer>("synthA", JackPortIsInput);
    b_ = std::make_unique<Peer>("synthB", JackPortIsInput);
    ASSERT_TRUE(waitFor([&] { return service_->listDestinations().size() == 2; }));
    EXPECT_EQ(endpointOf(*service_, a_->portName()), a);
    stream(200, 300, a);
    EXPECT_TRUE(waitFor([&] { return a_->bytes().size() >= sequences(200, 300).size(); }));
    EXPECT_EQ(a_->bytes(), sequences(200, 300));
    EXPECT_TRUE(b_->bytes().empty());
}

// libjack cancels a client's threads when it closes, and a callback of the
// service may be inside write() just then. The callbacks run to their end and
// the cancellation is taken in libjack's own code: taken inside, it would
// unwind through code that cannot throw and end the program.
TEST_F(JackServiceThreadsTest, CallbacksOnThreadsBeingCancelledRunToTheirEnd) {
    ASSERT_TRUE(waitFor([&] { return service_->listDestinations().size() == 2; }));
    fakejack::startServer(
        {.period = 64, .sampleRate = 48000, .bufferBytes = 20 * 3, .cancelledCallbacks = true});
    Peer c("synthC", JackPortIsInput);
    EXPECT_TRUE(waitFor([&] { return service_->listDestinations().size() == 3; }));
    fakejack::stopServer();
    EXPECT_TRUE(waitFor([&] { return !service_->connectedToServer(); }));
}

class Records final : public MidiInputConsumer {
public:
    void receive(const MidiInputEvent& record) override {
        bytes.insert(bytes.end(), record.bytes.begin(), record.bytes.begin() + record.size);
    }
    std::vector<std::uint8_t> bytes;
};

TEST_F(JackServiceThreadsTest, ControllerInputReachesTheMainThread) {
    Peer keys("keys", JackPortIsOutput);
    auto wake = std::make_shared<WakeSignal>();
    service_->createInputPort(1, "in", wake);
    EndpointRef source = 0;
    ASSERT_TRUE(waitFor([&] {
        for (const auto& s : service_->listSources()) {
            source = s.name == keys.portName() ? s.endpoint : source;
        }
        return source != 0;
    }));
    service_->selectSource(source, 0);
    // Sent until the wiring is in place: what came before it is lost.
    Records records;
    ASSERT_TRUE(waitFor([&] {
        keys.queue({0x90, 60, 100});
        service_->takeInput(records);
        return !records.bytes.empty();
    }));
    keys.queue({0xB0, 7, 99});
    keys.queue({0x80, 60, 0});
    const std::vector<std::uint8_t> last{0xB0, 7, 99, 0x80, 60, 0};
    ASSERT_TRUE(waitFor([&] {
        service_->takeInput(records);
        return records.bytes.size() >= last.size() &&
               std::equal(last.rbegin(), last.rend(), records.bytes.rbegin());
    }));
    // Note-ons until the wiring was in place, then the rest in order.
    for (std::size_t i = 0; i + last.size() < records.bytes.size(); i += 3) {
        EXPECT_EQ(records.bytes[i], 0x90);
    }
    EXPECT_GT(wake->wakeups(), 0U);
}

}  // namespace
}  // namespace tarnwell
