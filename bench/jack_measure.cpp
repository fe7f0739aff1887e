// Measurements over the running JACK server (start one with
// scripts/jack_server.sh): CPU time per sequence of the send path, what an
// unpaced burst delivers, and latency from the send call to arrival at a JACK
// input port. Each figure for our JACK service and for RtMidi's JACK output,
// in the same run. Arrivals are counted at the project's own sink, whose
// process callback keeps every event, so what is missing was lost by the
// sender or on the way, never by a slow receiver (jack_midi_dump keeps about
// 127 events a cycle and drops the rest under load).
//
// Usage: tarnwell_measure_jack [burst-count]   (default 3000)

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <time.h>

#include <RtMidi.h>
#include <jack/jack.h>

#include "core/midi/jack_service.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/nrpn.hpp"
#include "testing/jack_peer.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"

namespace {

using namespace tarnwell;
using namespace tarnwell::test;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Panel {
    explicit Panel(std::size_t eventsPerCycle) {
        JackMidiService::Options options;
        options.eventsPerCycle = eventsPerCycle;
        service = std::make_shared<JackMidiService>(options);
        manager = MidiManager::create(service, queue);
    }
    bool connect(const std::string& port) {
        if (!pumpUntil(
                queue,
                [&] {
                    return std::ranges::find(manager->destinations(), port) !=
                           manager->destinations().end();
                },
                10s)) {
            return false;
        }
        const auto& names = manager->destinations();
        manager->connectToDestination(std::ranges::find(names, port) - names.begin());
        queue.runPending();
        return true;
    }
    ManualQueue queue;
    std::shared_ptr<JackMidiService> service;
    std::shared_ptr<MidiManager> manager;
};

std::unique_ptr<RtMidiOut> rtMidiTo(const std::string& port, const std::string& clientName) {
    auto out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, clientName);
    for (unsigned i = 0; i < out->getPortCount(); ++i) {
        if (out->getPortName(i) == port) {
            out->openPort(i, "OutPort");
            return out;
        }
    }
    return nullptr;
}

void rtMidiSend(RtMidiOut& out, std::int64_t value, std::int64_t parameter) {
    const NrpnBytes bytes = encodeNRPN(value, parameter, 0);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        out.sendMessage(bytes.data() + i, 3);
    }
}

// CPU time of the calling thread per sequence: encode plus hand-over.
void measureCpu() {
    constexpr int kBatches = 40;
    Panel panel(2048);  // drains fast between batches; the send path is the same
    if (!panel.connect(JackSink::kPort)) {
        std::printf("cpu: sink not listed\n");
        return;
    }
    constexpr int kOurs = 2000;
    double ours = 0;
    for (int b = 0; b < kBatches; ++b) {
        const double start = threadCpuSeconds();
        for (int i = 0; i < kOurs; ++i) {
            panel.manager->sendToConnected(i, 1 + i % 42);
        }
        ours += threadCpuSeconds() - start;
        while (panel.service->queuedMessages() > 0) {
            std::this_thread::sleep_for(2ms);
        }
    }
    const auto c = panel.service->counters();

    // RtMidi's JACK buffer holds about 2340 messages and its send spins when
    // full, so its batches stay well below that.
    auto rt = rtMidiTo(JackSink::kPort, "tarnwell-rtmidi-cpu");
    constexpr int kRt = 400;
    double theirs = 0;
    if (rt) {
        for (int b = 0; b < kBatches * 5; ++b) {
            const double start = threadCpuSeconds();
            for (int i = 0; i < kRt; ++i) {
                rtMidiSend(*rt, i, 1 + i % 42);
            }
            theirs += threadCpuSeconds() - start;
            std::this_thread::sleep_for(20ms);
        }
    }
    std::printf("CPU time per sequence (thread CPU time of the sending thread)\n");
    std::printf(
        "  JackMidiService (MidiManager::sendToConnected): %.0f ns  [%d sequences, "
        "%llu dropped]\n",
        ours / (kBatches * kOurs) * 1e9, kBatches * kOurs,
        static_cast<unsigned long long>(c.droppedSequences));
    if (rt) {
        std::printf("  RtMidi JACK output (encode + 4 sendMessage):    %.0f ns  [%d sequences]\n",
                    theirs / (kBatches * 5 * kRt) * 1e9, kBatches * 5 * kRt);
    }
}

struct BurstResult {
    std::size_t messages = 0;
    std::size_t completeInOrder = 0;
};

// The bytes of the events the sink received from its `first` event on.
std::vector<std::uint8_t> sinkBytes(const JackSink& sink, std::size_t first) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = first; i < sink.count(); ++i) {
        const auto& e = sink.event(i);
        bytes.insert(bytes.end(), e.begin(), e.end());
    }
    return bytes;
}

// Waits until no event arrived for `quiet` (at most `timeout`).
void waitQuiet(const JackSink& sink, std::chrono::milliseconds quiet,
               std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::size_t seen = sink.count();
    auto since = Clock::now();
    while (Clock::now() < deadline && Clock::now() - since < quiet) {
        std::this_thread::sleep_for(5ms);
        if (sink.count() != seen) {
            seen = sink.count();
            since = Clock::now();
        }
    }
}

// Splits the arrivals into messages and counts the expected sequences found
// whole, in order (later sequences may still arrive after a lost one).
BurstResult judge(const std::vector<std::uint8_t>& bytes, const std::vector<Sent>& expected) {
    BurstResult r;
    r.messages = bytes.size() / 3;
    std::size_t at = 0;
    for (const Sent& s : expected) {
        const NrpnBytes want = encodeNRPN(s.value, s.parameter, 0);
        for (std::size_t pos = at; pos + 12 <= bytes.size(); pos += 3) {
            if (std::equal(want.begin(), want.end(), bytes.begin() + pos)) {
                ++r.completeInOrder;
                at = pos + 12;
                break;
            }
        }
    }
    return r;
}

void measureBurst(JackSink& sink, int count) {
    const auto expected = [&] {
        std::vector<Sent> out;
        for (int i = 0; i < count; ++i) {
            out.push_back({1 + (i % 200), (static_cast<std::int64_t>(i) * 7919) % 16384});
        }
        return out;
    }();

    BurstResult ours;
    {
        Panel panel(64);
        if (panel.connect(JackSink::kPort)) {
            const std::size_t first = sink.count();
            for (const Sent& s : expected) {
                panel.manager->sendToConnected(s.value, s.parameter);
            }
            sink.waitFor(first + expected.size() * 4, 60s);
            waitQuiet(sink, 1s, 60s);
            ours = judge(sinkBytes(sink, first), expected);
        }
    }
    BurstResult theirs;
    if (auto rt = rtMidiTo(JackSink::kPort, "tarnwell-rtmidi-burst")) {
        std::this_thread::sleep_for(100ms);  // let the connection settle
        const std::size_t first = sink.count();
        for (const Sent& s : expected) {
            rtMidiSend(*rt, s.value, s.parameter);
        }
        waitQuiet(sink, 1s, 60s);
        theirs = judge(sinkBytes(sink, first), expected);
    }
    std::printf(
        "\nUnpaced burst of %d sequences (%d messages), counted at the project's lossless "
        "sink\n",
        count, count * 4);
    std::printf("  %-32s %10s %22s\n", "", "messages", "sequences whole+order");
    std::printf("  %-32s %10zu %22zu\n", "JackMidiService (64 per cycle)", ours.messages,
                ours.completeInOrder);
    std::printf("  %-32s %10zu %22zu\n", "RtMidi JACK output", theirs.messages,
                theirs.completeInOrder);
}

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
    std::size_t n = 0;
};

Percentiles percentiles(std::vector<double> v) {
    Percentiles p;
    if (v.empty()) {
        return p;
    }
    std::ranges::sort(v);
    const auto at = [&](double q) {
        return v[static_cast<std::size_t>(std::floor(q * (v.size() - 1)))];
    };
    p.p50 = at(0.50);
    p.p99 = at(0.99);
    p.max = v.back();
    p.n = v.size();
    return p;
}

// Sends single sequences at random intervals (so send times fall at every
// phase of the period) and measures send call to the sink seeing the first
// message of the sequence.
template <typename SendOne>
Percentiles latency(JackSink& sink, int samples, SendOne sendOne) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gapUs(3000, 9000);
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        const std::size_t first = sink.count();
        const jack_time_t sent = jack_get_time();
        sendOne(i);
        if (!sink.waitFor(first + 4, 2s)) {
            continue;
        }
        ms.push_back(static_cast<double>(sink.stamp(first) - sent) / 1000.0);
        std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
    }
    return percentiles(ms);
}

void measureLatency(JackSink& sink) {
    constexpr int kSamples = 1000;
    Percentiles ours;
    {
        Panel panel(64);
        if (panel.connect(JackSink::kPort)) {
            const std::size_t before = sink.count();
            panel.manager->sendToConnected(0, 1);
            sink.waitFor(before + 4, 2s);
            ours = latency(sink, kSamples, [&](int i) { panel.manager->sendToConnected(i, 1); });
        }
    }
    Percentiles theirs;
    if (auto rt = rtMidiTo(JackSink::kPort, "tarnwell-rtmidi-latency")) {
        std::this_thread::sleep_for(100ms);
        theirs = latency(sink, kSamples, [&](int i) { rtMidiSend(*rt, i, 1); });
    }
    std::printf("\nLatency, send call to arrival at a JACK input port (%d samples)\n", kSamples);
    std::printf("  %-32s %8s %8s %8s\n", "", "p50 ms", "p99 ms", "max ms");
    std::printf("  %-32s %8.2f %8.2f %8.2f\n", "JackMidiService", ours.p50, ours.p99, ours.max);
    std::printf("  %-32s %8.2f %8.2f %8.2f\n", "RtMidi JACK output", theirs.p50, theirs.p99,
                theirs.max);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("JACK_NO_START_SERVER", "1", 1);
    if (!jackServerAnswers()) {
        std::fprintf(stderr, "no JACK server runs; start one with scripts/jack_server.sh\n");
        return 1;
    }
    const int burst = argc > 1 ? std::atoi(argv[1]) : 3000;
    jack_client_t* probe = jack_client_open("tarnwell-measure", JackNoStartServer, nullptr);
    std::printf("JACK: %u Hz, period %u frames (%.2f ms)\n\n", jack_get_sample_rate(probe),
                jack_get_buffer_size(probe),
                1000.0 * jack_get_buffer_size(probe) / jack_get_sample_rate(probe));
    jack_client_close(probe);

    JackSink sink;
    if (!sink.ok()) {
        std::fprintf(stderr, "could not open the sink client\n");
        return 1;
    }
    measureCpu();
    measureBurst(sink, burst);
    measureLatency(sink);
    return 0;
}
