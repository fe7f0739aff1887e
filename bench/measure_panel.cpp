// Start-up and idle costs of the whole panel, built exactly as the program
// builds it: time from process start to the controller window (with the
// 1.5 s start-up screen taken off), resident memory once it is up, and CPU
// used and wake-ups per thread while idle (no ball running) over a period,
// 30 s by default. bench/measure_wakeups.sh measures the real program the
// same way in every scenario.
// Usage: measure_panel [idle seconds]
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "process_cpu.hpp"
#include "thread_stats.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"

namespace {

using tarnwell::bench::cpuSeconds;

// Seconds since this process started, from the kernel's own record.
double secondsSinceProcessStart() {
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long startTicks = 0;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) {
            startTicks = std::stoull(field);
        }
    }
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    return uptime - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Sum of the named fields of a /proc file, in KiB.
long procKiB(const char* file, std::initializer_list<std::string> fields) {
    std::ifstream in(file);
    std::string line;
    long total = 0;
    while (std::getline(in, line)) {
        for (const auto& field : fields) {
            if (line.rfind(field + ":", 0) == 0) {
                total += std::stol(line.substr(field.size() + 1));
            }
        }
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
    tarnwell::Application panel;
    QElapsedTimer wall;
    QObject::connect(&panel.window(), &tarnwell::MainWindow::controllerWindowShown, [&] {
        // Let the window paint once before reading the clock.
        QTimer::singleShot(0, [&] {
            const double startup = secondsSinceProcessStart() - 1.5;
            std::printf(
                "process start to controller window, less the 1.5 s start-up screen: %.0f ms\n",
                startup * 1000);
            QTimer::singleShot(1000, [&] {
                // A JACK client maps the server's shared segments; they count
                // as resident but belong to the server as much as to us.
                std::printf(
                    "resident memory 1 s after the window is up: %.1f MiB "
                    "(anonymous %.1f MiB, private %.1f MiB, shared memory %.1f MiB)\n",
                    static_cast<double>(procKiB("/proc/self/status", {"VmRSS"})) / 1024.0,
                    static_cast<double>(procKiB("/proc/self/status", {"RssAnon"})) / 1024.0,
                    static_cast<double>(
                        procKiB("/proc/self/smaps_rollup", {"Private_Clean", "Private_Dirty"})) /
                        1024.0,
                    static_cast<double>(procKiB("/proc/self/status", {"RssShmem"})) / 1024.0);
                const double cpuBefore = cpuSeconds();
                const auto threadsBefore = tarnwell::bench::sampleThreads();
                wall.start();
                QTimer::singleShot(idleSeconds * 1000, [&, cpuBefore, threadsBefore] {
                    const double used = cpuSeconds() - cpuBefore;
                    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
                    const auto figures = tarnwell::bench::compare(
                        threadsBefore, tarnwell::bench::sampleThreads(), seconds);
                    std::printf("idle CPU over %.1f s with no ball running: %.3f%% of one core\n",
                                seconds, 100.0 * used / seconds);
                    std::printf(
                        "idle wake-ups: own threads %.1f a second, JACK's process thread %.1f\n",
                        figures.ownWakeupsPerSecond, figures.jackWakeupsPerSecond);
                    tarnwell::bench::print(stdout, figures);
                    QApplication::quit();
                });
            });
        });
    });
    panel.start();
    return QApplication::exec();
}
