// A probe loaded into a build of the panel with LD_PRELOAD, so that every
// build, this one or an older one, is measured the same way from inside its
// own real binary. It finds the panel by what it shows (the "Physics" tab, the
// "Start" buttons, the "midiMonitor" dock), sets up a scenario, lets it settle,
// then measures per-thread wake-ups and CPU from /proc/self/task for a period,
// prints them and quits the program. It uses only Qt and /proc, nothing of the
// program's own code.
//
// Environment:
//   TARNWELL_PROBE          idle | idle-monitor | shown | hidden | monitor
//                           idle: no ball running, monitor closed;
//                           idle-monitor: the same with the MIDI monitor open;
//                           shown / hidden: five balls running, the physics
//                           page on screen / another tab on screen;
//                           monitor: shown, with the MIDI monitor open;
//                           hidden-undriven: hidden, with the last tab that
//                           is not the physics page on screen, which shows
//                           none of the parameters the balls drive (newer
//                           builds mark those live on their sliders).
//   TARNWELL_PROBE_SECONDS  the measured period (default 30)
//   TARNWELL_PROBE_SETTLE   seconds between setting up and measuring (default 2)
//   TARNWELL_PROBE_OUTPUT   file to write the figures to (default stderr)
//   TARNWELL_PROBE_PAINTS   when 1, also counts the paint events of the
//                           measured period by widget class (an event filter
//                           on the application, which costs a little itself)
//
// While it looks for the panel it polls ten times a second; from the set-up
// on it wakes only at the start and at the end of the measured period.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <sys/resource.h>

#include <QApplication>
#include <QDockWidget>
#include <QEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include "thread_stats.hpp"

namespace {

using tarnwell::bench::compare;
using tarnwell::bench::ProcessFigures;
using tarnwell::bench::sampleThreads;
using tarnwell::bench::statusKiB;
using Clock = std::chrono::steady_clock;

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double envSeconds(const char* name, double fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && std::atof(value) > 0 ? std::atof(value) : fallback;
}

QTabWidget* findPanelTabs() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) {
            continue;
        }
        for (QTabWidget* tabs : top->findChildren<QTabWidget*>()) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->tabText(i) == "Physics") {
                    return tabs;
                }
            }
        }
    }
    return nullptr;
}

class Probe : public QObject {
public:
    Probe(std::string scenario, QObject* parent) : QObject(parent), scenario_(std::move(scenario)) {
        seconds_ = envSeconds("TARNWELL_PROBE_SECONDS", 30);
        settle_ = envSeconds("TARNWELL_PROBE_SETTLE", 2);
        if (const char* path = std::getenv("TARNWELL_PROBE_OUTPUT")) {
            out_ = std::fopen(path, "w");
        }
        if (out_ == nullptr) {
            out_ = stderr;
        }
        look_.setInterval(100);
        QObject::connect(&look_, &QTimer::timeout, this, [this] { look(); });
        look_.start();
        started_ = Clock::now();
    }

private:
    void look() {
        QTabWidget* tabs = findPanelTabs();
        if (tabs == nullptr) {
            if (Clock::now() - started_ > std::chrono::seconds(60)) {
                finish("the panel never appeared");
            }
            return;
        }
        look_.stop();
        const bool balls = scenario_ == "shown" || scenario_ == "hidden" ||
                           scenario_ == "hidden-undriven" || scenario_ == "monitor";
        const bool monitor = scenario_ == "monitor" || scenario_ == "idle-monitor";
        if (!balls && !monitor && scenario_ != "idle") {
            finish("unknown scenario");
            return;
        }
        QWidget* window = tabs->window();
        if (balls) {
            int started = 0;
            for (QPushButton* button : window->findChildren<QPushButton*>()) {
                if (button->text() == "Start") {
                    button->click();
                    ++started;
                }
            }
            if (started != 5) {
                finish("found " + std::to_string(started) + " Start buttons, not 5");
                return;
            }
            for (int i = 0; i < tabs->count(); ++i) {
                if ((scenario_ == "hidden") != (tabs->tabText(i) == "Physics")) {
                    tabs->setCurrentIndex(i);
                    break;
                }
            }
            if (scenario_ == "hidden-undriven") {
                for (int i = tabs->count() - 1; i >= 0; --i) {
                    if (tabs->tabText(i) != "Physics") {
                        tabs->setCurrentIndex(i);
                        break;
                    }
                }
            }
        }
        if (monitor) {
            auto* dock = window->findChild<QDockWidget*>("midiMonitor");
            if (dock == nullptr) {
                finish("unavailable: this build has no MIDI monitor");
                return;
            }
            dock->show();
            dock->resize(700, 400);
        }
        QTimer::singleShot(static_cast<int>(settle_ * 1000), this, [this] { begin(); });
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints_[watched->metaObject()->className()];
        }
        return false;
    }

    void begin() {
        if (const char* paints = std::getenv("TARNWELL_PROBE_PAINTS");
            paints != nullptr && std::string(paints) == "1") {
            qApp->installEventFilter(this);
        }
        rssAnonKiB_ = statusKiB("RssAnon");
        rssKiB_ = statusKiB("VmRSS");
        before_ = sampleThreads();
        cpuBefore_ = processCpuSeconds();
        wallBefore_ = Clock::now();
        QTimer::singleShot(static_cast<int>(seconds_ * 1000), Qt::PreciseTimer, this,
                           [this] { end(); });
    }

    void end() {
        const auto after = sampleThreads();
        const double wall = std::chrono::duration<double>(Clock::now() - wallBefore_).count();
        const double cpu = processCpuSeconds() - cpuBefore_;
        const ProcessFigures figures = compare(before_, after, wall);
        std::fprintf(out_, "scenario %s, %.1f s after %.1f s settling\n", scenario_.c_str(), wall,
                     settle_);
        tarnwell::bench::print(out_, figures);
        std::fprintf(out_,
                     "probe: scenario=%s seconds=%.2f own_wakeups=%.2f own_cpu=%.3f "
                     "jack_wakeups=%.2f jack_cpu=%.3f process_cpu=%.3f rss_anon_kib=%ld "
                     "rss_kib=%ld\n",
                     scenario_.c_str(), wall, figures.ownWakeupsPerSecond, figures.ownCpuPercent,
                     figures.jackWakeupsPerSecond, figures.jackCpuPercent, 100.0 * cpu / wall,
                     rssAnonKiB_, rssKiB_);
        qApp->removeEventFilter(this);
        for (const auto& [name, count] : paints_) {
            std::fprintf(out_, "  paints of %s: %.2f/s\n", name.c_str(),
                         static_cast<double>(count) / wall);
        }
        finish({});
    }

    void finish(const std::string& failure) {
        if (!failure.empty()) {
            std::fprintf(out_, "probe: scenario=%s failed: %s\n", scenario_.c_str(),
                         failure.c_str());
        }
        std::fflush(out_);
        QCoreApplication::quit();
    }

    std::string scenario_;
    double seconds_ = 30;
    double settle_ = 2;
    std::FILE* out_ = nullptr;
    QTimer look_;
    Clock::time_point started_;
    std::map<pid_t, tarnwell::bench::ThreadSample> before_;
    double cpuBefore_ = 0;
    Clock::time_point wallBefore_;
    long rssAnonKiB_ = 0;
    long rssKiB_ = 0;
    std::map<std::string, long> paints_;
};

void startProbe() {
    const char* scenario = std::getenv("TARNWELL_PROBE");
    if (scenario == nullptr || *scenario == '\0') {
        return;
    }
    // Not inherited by what the program starts.
    unsetenv("LD_PRELOAD");
    new Probe(scenario, QCoreApplication::instance());
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
