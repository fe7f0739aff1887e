// The cost of one drag of a parameter slider through the whole panel, as the
// program builds it (offscreen, over the loopback MIDI service): 1,000
// positions inside one gesture, each a value written, sent and shown. Prints
// CPU time and heap allocations per position, the median of several drags.
// Usage: QT_QPA_PLATFORM=offscreen measure_drag [drags]
// Under `valgrind --tool=callgrind --collect-atstart=no` only the drags are
// counted: instructions that a busy machine does not change.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include <time.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include "testing/loopback_service.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/unit_page_view.hpp"

namespace {

std::atomic<long> allocations{0};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr int kPositions = 1000;

}  // namespace

// Every heap allocation of the process is counted.
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int drags = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    auto service = std::make_shared<tarnwell::LoopbackMidiService>();
    service->addDestination("Synth");
    tarnwell::AppEnvironment environment;
    environment.makeMidiService = [service] { return service; };
    const QTemporaryDir home;
    environment.settingsFile = home.filePath("settings.ini");
    environment.documentsFolder = [folder = std::filesystem::path(home.path().toStdString())] {
        return std::optional(folder);
    };
    tarnwell::Application panel(environment);
    QObject::connect(&panel.window(), &tarnwell::MainWindow::controllerWindowShown, [&] {
        QTimer::singleShot(100, [&] {
            tarnwell::ParameterSlider* slider =
                panel.contentView()->unitPage(0)->bank()->sliderFor(0);
            std::vector<double> cpu;
            std::vector<double> allocated;
            for (int drag = 0; drag < drags; ++drag) {
                service->clearRecorded();
                const long allocationsBefore = allocations.load();
                const double before = threadCpuSeconds();
                CALLGRIND_TOGGLE_COLLECT;
                Q_EMIT slider->editBegan();
                for (int i = 1; i <= kPositions; ++i) {
                    slider->setValue((drag % 2 == 0 ? i : kPositions - i) * 64);
                }
                Q_EMIT slider->editEnded();
                CALLGRIND_TOGGLE_COLLECT;
                cpu.push_back((threadCpuSeconds() - before) / kPositions);
                allocated.push_back(static_cast<double>(allocations.load() - allocationsBefore) /
                                    kPositions);
            }
            std::ranges::sort(cpu);
            std::ranges::sort(allocated);
            std::printf(
                "drag of %d positions, median of %d drags: %.2f us CPU and %.1f heap "
                "allocations per position\n",
                kPositions, drags, cpu[cpu.size() / 2] * 1e6, allocated[allocated.size() / 2]);
            QApplication::quit();
        });
    });
    panel.start();
    return QApplication::exec();
}
