// A hardware controller playing the whole panel over JACK, measured:
//
// - controller-to-wire latency: a JACK client of this process (the
//   controller) writes CC 74 into the panel's "InPort"; the panel's window,
//   on the Qt event loop over our JACK service, turns it into an edit of the
//   mapped parameter; a second JACK client (the synth) stamps the NRPN
//   sequence's last message when its process callback sees it. Both stamps
//   are jack_get_time(). Moves are 20-30 ms apart, so each is the first of a
//   window frame (moves closer together are coalesced to one edit a frame).
// - CPU with a 1,000 message/s stream (CC 74, every value in turn), beside
//   the same time idle: the process's CPU (all threads, the two peers'
//   trivial callbacks included) and the main thread's alone, as shares of one
//   core, with the frames, edits and wake-ups a second.
// - a 2,000 message/s flood: the event loop's worst lateness (a 50 ms timer
//   of this program), input lost (the input queue holds a bounded number of
//   records), then the wake-ups of the first seconds after it: an idle
//   controller wakes the panel 0 times a second.
//
// Usage: tarnwell_measure_controller [samples] [seconds] [flood seconds]
//        (defaults 300, 10, 60)
// Needs a Qt platform (offscreen will do) and a JACK server. Exits 1 when the
// latency's p99 exceeds one JACK period plus 1 ms.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include "core/control/controller_input.hpp"
#include "core/midi/jack_service.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"
#include "process_cpu.hpp"
#include "testing/jack_peer.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"

namespace {

using namespace tarnwell;
using namespace tarnwell::test;

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(200us);
    }
    return true;
}

// Runs the event loop (sleeping in it, as the program does) for `duration`.
void runFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> v, double p) {
    std::ranges::sort(v);
    return v[static_cast<std::size_t>(std::floor(p * static_cast<double>(v.size() - 1)))];
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

bool wiredToInPort(const char* source) {
    jack_client_t* probe = jack_client_open("tarnwell-wiring-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) {
        return false;
    }
    bool connected = false;
    if (const char** ports = jack_get_ports(probe, "^MidiClient.*:InPort$", JACK_DEFAULT_MIDI_TYPE,
                                            JackPortIsInput)) {
        for (const char** p = ports; *p != nullptr && !connected; ++p) {
            jack_port_t* port = jack_port_by_name(probe, *p);
            connected = port != nullptr && jack_port_connected_to(port, source) != 0;
        }
        jack_free(static_cast<void*>(ports));
    }
    jack_client_close(probe);
    return connected;
}

struct Load {
    double processCpu = 0;  // share of one core
    double mainCpu = 0;
    double frames = 0;  // a second
    double edits = 0;
    double wakeups = 0;
};

Load measure(std::chrono::milliseconds duration, ControllerInput& input, MidiManager& manager) {
    const double seconds = std::chrono::duration<double>(duration).count();
    const double cpu0 = bench::cpuSeconds();
    const double main0 = threadCpuSeconds();
    const auto frames0 = input.frames();
    const auto sent0 = manager.sentSequences();
    const auto wakeups0 = input.wake().wakeups();
    runFor(duration);
    return Load{100.0 * (bench::cpuSeconds() - cpu0) / seconds,
                100.0 * (threadCpuSeconds() - main0) / seconds,
                static_cast<double>(input.frames() - frames0) / seconds,
                static_cast<double>(manager.sentSequences() - sent0) / seconds,
                static_cast<double>(input.wake().wakeups() - wakeups0) / seconds};
}

void printLoad(const char* what, const Load& load) {
    std::printf(
        "%-32s CPU %.2f%% of one core (main thread %.2f%%); %.1f frames/s, %.1f edits/s, "
        "%.1f input wake-ups/s\n",
        what, load.processCpu, load.mainCpu, load.frames, load.edits, load.wakeups);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int floodSeconds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 60;
    setenv("JACK_NO_START_SERVER", "1", 1);

    JackSink sink;
    JackSource controller;
    if (!sink.ok() || !controller.ok()) {
        std::fprintf(stderr, "no JACK server answers\n");
        return 2;
    }
    AppEnvironment environment;
    environment.makeMidiService = [] { return std::make_shared<JackMidiService>(); };
    QTemporaryDir settings;  // the user's own settings are neither read nor changed
    environment.settingsFile = settings.filePath("settings.ini");
    Application application(environment);
    application.window().show();
    if (!spinUntil([&] { return application.model() != nullptr; }, 10s)) {
        std::fprintf(stderr, "the panel never appeared\n");
        return 2;
    }
    Model& model = *application.model();
    MidiManager& manager = model.midi();
    ControllerInput& input = model.controllerInput();
    const auto sinkRow = [&] {
        const auto& names = manager.destinations();
        return std::ranges::find(names, JackSink::kPort) - names.begin();
    };
    if (!spinUntil([&] { return sinkRow() < std::ssize(manager.destinations()); }, 10s)) {
        std::fprintf(stderr, "the synth's port was never listed\n");
        return 2;
    }
    model.controller().chooseDestination(sinkRow());
    if (!spinUntil([&] { return manager.connectedDeviceName() == JackSink::kPort; }, 5s)) {
        std::fprintf(stderr, "could not connect to the synth\n");
        return 2;
    }
    const auto listed = [&] {
        const auto names = input.sourceNames();
        return std::ranges::find(names, JackSource::kPort) != names.end();
    };
    if (!spinUntil(listed, 10s)) {
        std::fprintf(stderr, "the controller's port was never listed\n");
        return 2;
    }
    input.chooseSource(JackSource::kPort);
    if (!spinUntil([] { return wiredToInPort(JackSource::kPort); }, 10s)) {
        std::fprintf(stderr, "the controller was never wired to InPort\n");
        return 2;
    }
    Mapping knob = proposeMapping({ControlKind::parameter, 3}, {SourceKind::controlChange, 0, 74});
    knob.pickup = Pickup::jump;
    input.engine().setMappings({knob});

    // Settle: the first send also waits for the output's wiring.
    controller.send({0xB0, 74, 1});
    spinUntil([&] { return sink.count() >= 4; }, 5s);
    runFor(300ms);

    std::mt19937 phase(11);
    std::vector<double> latencies;
    for (int i = 0; i < samples; ++i) {
        const std::size_t before = sink.count();
        const std::uint64_t sends = controller.sent();
        controller.send({0xB0, 74, static_cast<std::uint8_t>(i % 2 == 0 ? 100 : 20)});
        if (!spinUntil([&] { return sink.count() >= before + 4 && controller.sent() > sends; },
                       2s)) {
            std::fprintf(stderr, "sample %d never arrived\n", i);
            return 1;
        }
        latencies.push_back(static_cast<double>(sink.stamp(before + 3) - controller.sentAt()) /
                            1000.0);
        runFor(std::chrono::milliseconds(20 + phase() % 11));
    }
    jack_client_t* probe = jack_client_open("tarnwell-period-probe", JackNoStartServer, nullptr);
    double periodMs = 0;
    if (probe != nullptr) {
        periodMs = 1000.0 * jack_get_buffer_size(probe) / jack_get_sample_rate(probe);
        jack_client_close(probe);
    }
    const double p99 = percentile(latencies, 0.99);
    std::printf("controller-to-wire latency over %d moves: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                samples, percentile(latencies, 0.5), p99, percentile(latencies, 1.0));
    std::printf("JACK period %.2f ms; goal p99 within a period plus 1 ms (%.2f ms): %s\n", periodMs,
                periodMs + 1.0, p99 <= periodMs + 1.0 ? "met" : "MISSED");

    // CPU: idle, then a 1,000 message/s stream.
    const auto span = std::chrono::seconds(seconds);
    runFor(500ms);
    const Load idle = measure(span, input, manager);
    controller.stream(1000.0);
    runFor(500ms);
    const std::uint64_t streamed0 = controller.streamed();
    const auto streamStart = Clock::now();
    const Load busy = measure(span, input, manager);
    const double rate = static_cast<double>(controller.streamed() - streamed0) /
                        std::chrono::duration<double>(Clock::now() - streamStart).count();
    controller.stream(0);
    printLoad("idle, controller chosen:", idle);
    char label[64];
    std::snprintf(label, sizeof label, "stream of %.0f messages/s:", rate);
    printLoad(label, busy);
    std::printf("the stream costs %.2f points of one core (main thread %.2f)\n",
                busy.processCpu - idle.processCpu, busy.mainCpu - idle.mainCpu);

    // A 2,000 message/s flood: the window stays responsive, input stays bounded.
    runFor(500ms);
    const std::uint64_t lost0 = input.droppedInput();
    double worstLateMs = 0;
    QElapsedTimer since;
    QTimer probeTimer;
    probeTimer.setTimerType(Qt::PreciseTimer);
    probeTimer.setInterval(50);
    QObject::connect(&probeTimer, &QTimer::timeout, [&] {
        worstLateMs = std::max(worstLateMs, static_cast<double>(since.restart()) - 50.0);
    });
    controller.stream(2000.0);
    const std::uint64_t flood0 = controller.streamed();
    const auto floodStart = Clock::now();
    since.start();
    probeTimer.start();
    const Load flood = measure(std::chrono::seconds(floodSeconds), input, manager);
    probeTimer.stop();
    controller.stream(0);
    const double floodRate = static_cast<double>(controller.streamed() - flood0) /
                             std::chrono::duration<double>(Clock::now() - floodStart).count();
    std::snprintf(label, sizeof label, "flood of %.0f messages/s, %d s:", floodRate, floodSeconds);
    printLoad(label, flood);
    std::printf(
        "during the flood: the event loop at most %.1f ms late; input lost %llu (input queue: "
        "%zu records at most)\n",
        worstLateMs, static_cast<unsigned long long>(input.droppedInput() - lost0),
        MidiInputQueue::kDefaultRecords);

    runFor(1s);  // the last frame, the last sends
    const Load after = measure(3s, input, manager);
    std::printf("after the flood, idle: %.1f input wake-ups/s, %.1f frames/s\n", after.wakeups,
                after.frames);
    return p99 <= periodMs + 1.0 ? 0 : 1;
}
