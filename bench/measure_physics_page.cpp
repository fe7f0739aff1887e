// Measures what the whole panel costs while the five balls run: the controller
// window over the loopback MIDI service on the Qt event loop, all balls
// started, with the "Physics" tab on screen ("visible"), with it and the
// MIDI monitor open ("monitor"), or another tab on screen ("hidden"). Prints the process's CPU time
// (all threads, from getrusage) over the run as a share of one core, with the ticks, frames drawn
// and NRPN sequences sent per second. Exits 1 when the goal is missed: under 5% of one core
// visible, under 2% hidden, under 8% with the monitor.
//
// Usage: tarnwell_measure_physics_page visible|monitor|hidden [seconds]   (default 30)
// Needs a Qt platform: offscreen, or a real X server (xvfb-run); see
// bench/measure_physics_page.sh.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>

#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"
#include "process_cpu.hpp"
#include "testing/loopback_service.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/midi/midi_monitor_dock.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/physics/ball_area_view.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/physics/tick_timer.hpp"

namespace {

using tarnwell::bench::cpuSeconds;

using Clock = std::chrono::steady_clock;

// Lets the window settle (first paint, connection) before measuring.
constexpr int kSettleMs = 1000;

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool monitor = argc > 1 && std::strcmp(argv[1], "monitor") == 0;
    const bool visible = monitor || (argc > 1 && std::strcmp(argv[1], "visible") == 0);
    const bool hidden = argc > 1 && std::strcmp(argv[1], "hidden") == 0;
    const double durationSeconds = argc > 2 ? std::atof(argv[2]) : 30.0;
    if ((!visible && !hidden) || !(durationSeconds >= 1.0)) {
        std::fprintf(stderr, "usage: %s visible|monitor|hidden [seconds >= 1]\n", argv[0]);
        return 2;
    }

    auto service = std::make_shared<tarnwell::LoopbackMidiService>();
    service->addDestination("Synth");
    tarnwell::AppEnvironment environment;
    environment.makeMidiService = [service] { return service; };
    tarnwell::Application application(environment);
    application.window().show();
    // Past the start-up screen, the real panel as the program builds it.
    QElapsedTimer startup;
    startup.start();
    while (!application.model() && startup.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    tarnwell::PhysicsView* physics = application.physicsView();
    tarnwell::ContentView* view = application.contentView();
    if (physics == nullptr || view == nullptr) {
        std::fprintf(stderr, "the window has no physics page\n");
        return 1;
    }
    tarnwell::PhysicsSimulation& simulation = application.model()->physics();
    for (std::size_t i = 0; i < simulation.balls().size(); ++i) {
        simulation.toggleRunning(i);
    }
    view->tabs()->setCurrentIndex(visible ? view->tabs()->indexOf(physics) : 0);
    if (monitor) {
        tarnwell::MidiMonitorDock* dock = application.window().midiMonitor();
        dock->show();
        dock->resize(700, 400);
    }

    // The loopback service records every byte; dropping the record once a
    // second keeps it small, as a real destination keeps nothing.
    QTimer clearRecord;
    std::size_t delivered = 0;
    QObject::connect(&clearRecord, &QTimer::timeout, [&] {
        delivered += service->deliveryCount();
        service->clearRecorded();
    });
    clearRecord.start(1000);

    double cpuAtStart = 0.0;
    Clock::time_point wallAtStart;
    std::uint64_t ticksAtStart = 0;
    std::uint64_t framesAtStart = 0;
    const auto ticks = [&application] { return application.tickTimer()->scheduler().ticksRun(); };
    const auto frames = [physics] { return physics->ballArea()->framesPainted(); };
    QTimer::singleShot(kSettleMs, [&] {
        delivered = 0;
        service->clearRecorded();
        cpuAtStart = cpuSeconds();
        wallAtStart = Clock::now();
        ticksAtStart = ticks();
        framesAtStart = frames();
        QTimer::singleShot(static_cast<int>(durationSeconds * 1000.0), Qt::PreciseTimer,
                           [] { QApplication::quit(); });
    });
    QApplication::exec();

    const double cpu = cpuSeconds() - cpuAtStart;
    const double wall = std::chrono::duration<double>(Clock::now() - wallAtStart).count();
    delivered += service->deliveryCount();
    const double percent = cpu / wall * 100.0;
    const double goal = monitor ? 8.0 : visible ? 5.0 : 2.0;
    const bool connected = application.model()->midi().connectedEndpoint().has_value();

    std::printf("platform            %s, physics page %s%s, 5 balls running\n",
                qPrintable(QGuiApplication::platformName()), visible ? "visible" : "hidden",
                monitor ? " with the MIDI monitor open" : "");
    std::printf("duration            %.3f s wall\n", wall);
    std::printf("ticks               %.2f per second\n",
                static_cast<double>(ticks() - ticksAtStart) / wall);
    std::printf("frames drawn        %.2f per second\n",
                static_cast<double>(frames() - framesAtStart) / wall);
    std::printf("sequences sent      %.2f per second%s\n", static_cast<double>(delivered) / wall,
                connected ? "" : " (NOT CONNECTED)");
    std::printf("CPU                 %.2f%% of one core (%.3f s in %.3f s)\n", percent, cpu, wall);
    std::printf("goal                under %.0f%%: %s\n", goal, percent < goal ? "met" : "MISSED");
    return percent < goal && connected ? 0 : 1;
}
