// Hand-to-wire latency: from a key press on the focused first slider of
// Voice 1 (a synthetic key event through Qt's event delivery) to the
// sequence's last message at a JACK input port in this process, stamped in
// its process callback. The whole controller window runs on the Qt event
// loop over our JACK service, on the running JACK server.
//
// Usage: tarnwell_measure_hand_to_wire [samples]   (default 300)
// Needs a Qt platform (offscreen will do) and a JACK server. Exits 1 when
// p99 exceeds one JACK period plus 2 ms.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <QAbstractSlider>
#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>

#include "core/base/random.hpp"
#include "core/midi/jack_service.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"
#include "core/panel/controller.hpp"
#include "testing/jack_peer.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/panel/unit_page_view.hpp"

namespace {

using namespace tarnwell;
using namespace tarnwell::test;

// Runs the event loop until `done` holds or `timeout` passes.
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

double percentile(std::vector<double> v, double p) {
    std::ranges::sort(v);
    return v[static_cast<std::size_t>(std::floor(p * static_cast<double>(v.size() - 1)))];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    setenv("JACK_NO_START_SERVER", "1", 1);

    JackSink sink;
    if (!sink.ok()) {
        std::fprintf(stderr, "no JACK server answers\n");
        return 2;
    }
    AppEnvironment environment;
    environment.makeMidiService = [] { return std::make_shared<JackMidiService>(); };
    // The user's own settings are neither read nor changed.
    QTemporaryDir settings;
    environment.settingsFile = settings.filePath("settings.ini");
    Application application(environment);
    application.window().show();
    if (!spinUntil([&] { return application.model() != nullptr; }, 10s)) {
        std::fprintf(stderr, "the panel never appeared\n");
        return 2;
    }
    ContentView& view = *application.contentView();
    Controller& controller = application.model()->controller();
    MidiManager& manager = application.model()->midi();
    const auto sinkRow = [&] {
        const auto& names = manager.destinations();
        return std::ranges::find(names, JackSink::kPort) - names.begin();
    };
    if (!spinUntil([&] { return sinkRow() < std::ssize(manager.destinations()); }, 10s)) {
        std::fprintf(stderr, "the sink's port was never listed\n");
        return 2;
    }
    controller.chooseDestination(sinkRow());
    if (!spinUntil([&] { return manager.connectedDeviceName() == JackSink::kPort; }, 5s)) {
        std::fprintf(stderr, "could not connect to the sink\n");
        return 2;
    }
    auto* slider = view.unitPage(0)->findChildren<QAbstractSlider*>().value(0);
    if (slider == nullptr) {
        std::fprintf(stderr, "no slider on Voice 1\n");
        return 2;
    }
    slider->setFocus();
    // Settle: the first send also waits for the port's wiring.
    QKeyEvent warm(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(slider, &warm);
    spinUntil([&] { return sink.count() >= 4; }, 5s);
    spinUntil([] { return false; }, 300ms);

    std::mt19937 phase(7);
    std::vector<double> latencies;
    for (int i = 0; i < samples; ++i) {
        const std::size_t before = sink.count();
        const Qt::Key key = i % 2 == 0 ? Qt::Key_Down : Qt::Key_Up;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        const jack_time_t pressedAt = jack_get_time();
        QApplication::sendEvent(slider, &press);
        if (!spinUntil([&] { return sink.count() >= before + 4; }, 2s)) {
            std::fprintf(stderr, "sample %d never arrived\n", i);
            return 1;
        }
        latencies.push_back(static_cast<double>(sink.stamp(before + 3) - pressedAt) / 1000.0);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(slider, &release);
        // A random phase against the JACK cycle.
        spinUntil([] { return false; }, std::chrono::milliseconds(2 + phase() % 9));
    }

    jack_client_t* probe = jack_client_open("tarnwell-period-probe", JackNoStartServer, nullptr);
    double periodMs = 0;
    if (probe != nullptr) {
        periodMs = 1000.0 * jack_get_buffer_size(probe) / jack_get_sample_rate(probe);
        jack_client_close(probe);
    }
    const double p99 = percentile(latencies, 0.99);
    std::printf("hand-to-wire latency over %d key presses: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                samples, percentile(latencies, 0.5), p99, percentile(latencies, 1.0));
    std::printf("JACK period %.2f ms; goal p99 within a period plus 2 ms (%.2f ms): %s\n", periodMs,
                periodMs + 2.0, p99 <= periodMs + 2.0 ? "met" : "MISSED");
    return p99 <= periodMs + 2.0 ? 0 : 1;
}
