// One drag of the morph slider across its whole range, from preset A to
// preset B with all 42 parameters, the mod buttons and two switches
// changing, through the whole program (offscreen, over the loopback MIDI
// service, the real Qt event loop): a 1000 Hz pointer, one move a
// millisecond. Prints, for a Software/USB link and for a DIN link with
// pacing on: sequences sent per second, the most sends of one parameter
// within one 60 Hz frame, whether the wire ends on B's values, and the
// window's frame time (each paint pass of the window) and the time each
// pointer move takes to handle.
//
// Usage: QT_QPA_PLATFORM=offscreen tarnwell_measure_morph [drag seconds]
// (default 1). Exits 1 when a link does not end on B's values or a
// Software/USB drag sends a parameter twice within a frame.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTemporaryDir>

#include "core/midi/midi_manager.hpp"
#include "core/midi/nrpn.hpp"
#include "core/model.hpp"
#include "testing/loopback_service.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/panel/morph_view.hpp"
#include "ui/panel/parameter_slider.hpp"

namespace {

using namespace tarnwell;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Times every paint pass of one window: the top-level's update request is
// where Qt paints whatever changed since the last frame.
class TimingApplication final : public QApplication {
public:
    using QApplication::QApplication;
    QObject* window = nullptr;
    bool recording = false;
    std::vector<double> paintMs;

    bool notify(QObject* receiver, QEvent* event) override {
        if (!recording || receiver != window || event->type() != QEvent::UpdateRequest) {
            return QApplication::notify(receiver, event);
        }
        const auto start = Clock::now();
        const bool handled = QApplication::notify(receiver, event);
        paintMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        return handled;
    }
};

class Recorder final : public SendObserver {
public:
    void sequenceSent(const SentSequence& sequence) override { sent.push_back(sequence); }
    std::vector<SentSequence> sent;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::ranges::sort(v);
    return v[static_cast<std::size_t>(std::floor(p * static_cast<double>(v.size() - 1)))];
}

void spinFor(std::chrono::milliseconds time) {
    const auto end = Clock::now() + time;
    while (Clock::now() < end) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(200us);
    }
}

void mouse(QWidget* widget, QEvent::Type type, double x, Qt::MouseButtons buttons) {
    const QPointF local(x, widget->height() / 2.0);
    QMouseEvent event(type, local, local, widget->mapToGlobal(local), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

MidiSliderPreset sound(bool b) {
    MidiSliderPreset preset;
    for (std::size_t i = 0; i < preset.values.size(); ++i) {
        const auto at = static_cast<double>(i);
        preset.values[i] = b ? 15000.0 - 300.0 * at : 200.0 + 90.0 * at;
    }
    preset.modStates[0] = b;
    preset.modeToggles[static_cast<std::size_t>(ModeToggle::filterModeToggle)] = b;
    preset.modeToggles[static_cast<std::size_t>(ModeToggle::regenModeToggle)] = !b;
    return preset;
}

struct DragResult {
    int moves = 0;
    double seconds = 0.0;
    std::uint64_t applications = 0;
    std::size_t sequences = 0;    // handed to the service from press to the last one
    double sendingSeconds = 0.0;  // from the first of them to the last
    double lastSentAfterReleaseMs = 0.0;
    int mostInOneFrame = 0;
    bool endsOnB = false;
    std::vector<double> moveMs;
    std::vector<double> paintMs;
};

// Drags from A (0 %) to B (100 %) in `seconds` with one pointer move a
// millisecond, then waits for what is still held to leave.
DragResult drag(TimingApplication& app, Application& panel, Recorder& recorder, double seconds) {
    Model& model = *panel.model();
    ParameterSlider* slider =
        qobject_cast<MorphView*>(panel.window().morphDock()->widget())->slider();
    slider->showValue(0.0);
    model.morph().setMorphPosition(0.0);
    spinFor(300ms);
    while (model.midi().pacedBacklog() > 0) {
        spinFor(20ms);
    }
    recorder.sent.clear();
    DragResult result;
    const std::uint64_t appliedBefore = model.morph().applications();
    const double from = slider->handleRect().center().x();
    const double to = slider->width() + 10.0;
    const int moves = static_cast<int>(seconds * 1000.0);

    app.paintMs.clear();
    app.recording = true;
    const auto start = Clock::now();
    mouse(slider, QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int k = 1; k <= moves; ++k) {
        const auto due = start + std::chrono::microseconds(1000 * k);
        while (Clock::now() < due) {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
            std::this_thread::sleep_for(50us);
        }
        const auto t0 = Clock::now();
        mouse(slider, QEvent::MouseMove, from + (to - from) * k / moves, Qt::LeftButton);
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        result.moveMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    mouse(slider, QEvent::MouseButtonRelease, to, Qt::NoButton);
    const auto released = Clock::now();
    result.seconds = std::chrono::duration<double>(released - start).count();
    // What is still held (the last frame, a DIN backlog) leaves now.
    std::size_t seen = recorder.sent.size();
    auto quietSince = Clock::now();
    while (Clock::now() - quietSince < 300ms) {
        spinFor(20ms);
        if (recorder.sent.size() != seen) {
            seen = recorder.sent.size();
            quietSince = Clock::now();
        }
    }
    app.recording = false;
    result.paintMs = app.paintMs;
    result.moves = moves;
    result.applications = model.morph().applications() - appliedBefore;
    result.sequences = recorder.sent.size();
    if (!recorder.sent.empty()) {
        result.sendingSeconds =
            std::chrono::duration<double>(recorder.sent.back().time - recorder.sent.front().time)
                .count();
        result.lastSentAfterReleaseMs = std::chrono::duration<double, std::milli>(
                                            recorder.sent.back().time - released.time_since_epoch())
                                            .count();
    }
    // Sends of one parameter within any 1/60 s.
    std::map<std::int64_t, std::vector<std::chrono::nanoseconds>> times;
    std::map<std::int64_t, std::int64_t> last;
    for (const SentSequence& s : recorder.sent) {
        times[s.number].push_back(s.time);
        last[s.number] = s.value;
    }
    constexpr auto kFrame = std::chrono::nanoseconds(1s) / 60;
    for (const auto& [number, stamps] : times) {
        for (std::size_t i = 0, j = 0; i < stamps.size(); ++i) {
            while (stamps[i] - stamps[j] >= kFrame) {
                ++j;
            }
            result.mostInOneFrame = std::max(result.mostInOneFrame, static_cast<int>(i - j + 1));
        }
    }
    const MidiSliderPreset b = sound(true);
    result.endsOnB = true;
    for (std::size_t i = 0; i < b.values.size(); ++i) {
        const auto number = nrpnNumberOfIndex(static_cast<std::int64_t>(i));
        result.endsOnB = result.endsOnB && last.contains(number) &&
                         last[number] == nrpnValueFromDouble(b.values[i]);
    }
    return result;
}

void print(const char* link, const DragResult& r) {
    std::printf("%s link, a %.2f s drag from A to B, %d pointer moves:\n", link, r.seconds,
                r.moves);
    std::printf(
        "  panel set %llu times (%.1f a second); %zu sequences sent over %.2f s, %.0f a "
        "second\n",
        static_cast<unsigned long long>(r.applications),
        static_cast<double>(r.applications) / r.seconds, r.sequences, r.sendingSeconds,
        static_cast<double>(r.sequences) / r.sendingSeconds);
    std::printf("  most sends of one parameter within one 60 Hz frame: %d\n", r.mostInOneFrame);
    std::printf("  the last sequence left %+.1f ms from the release; the wire ends on B: %s\n",
                r.lastSentAfterReleaseMs, r.endsOnB ? "yes" : "NO");
    std::printf("  window frame (paint pass) %zu frames: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                r.paintMs.size(), percentile(r.paintMs, 0.5), percentile(r.paintMs, 0.99),
                percentile(r.paintMs, 1.0));
    std::printf("  handling one pointer move: p50 %.3f ms, p99 %.2f ms, max %.2f ms\n",
                percentile(r.moveMs, 0.5), percentile(r.moveMs, 0.99), percentile(r.moveMs, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
    TimingApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(0.2, std::atof(argv[1])) : 1.0;
    auto service = std::make_shared<LoopbackMidiService>();
    service->addDestination("Synth");
    AppEnvironment environment;
    environment.makeMidiService = [service] { return service; };
    // The user's own settings and presets are neither read nor changed.
    const QTemporaryDir home;
    environment.settingsFile = home.filePath("settings.ini");
    environment.documentsFolder = [folder = std::filesystem::path(home.path().toStdString())] {
        return std::optional(folder);
    };
    Application panel(environment);
    panel.start();
    const auto deadline = Clock::now() + 10s;
    while (panel.model() == nullptr || panel.model()->midi().connectedEndpoint() == std::nullopt) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "the panel never connected\n");
            return 2;
        }
        spinFor(20ms);
    }
    Model& model = *panel.model();
    model.presets().replacePresets({sound(false), sound(true)});
    model.morph().setPresetA(0);
    model.morph().setPresetB(1);
    panel.window().actions().morph->trigger();
    panel.contentView()->tabs()->setCurrentIndex(0);
    app.window = &panel.window();
    spinFor(300ms);

    Recorder recorder;
    model.midi().addSendObserver(&recorder);
    const DragResult usb = drag(app, panel, recorder, seconds);
    print("Software/USB", usb);

    LinkChoices choices;
    choices.speeds["Synth"] = LinkSpeed::din;
    choices.dinPacing = true;
    model.midi().setLinkChoices(choices);
    const DragResult din = drag(app, panel, recorder, seconds);
    print("DIN (paced)", din);
    model.midi().removeSendObserver(&recorder);

    const bool ok = usb.endsOnB && din.endsOnB && usb.mostInOneFrame <= 1;
    if (!ok) {
        std::printf("FAILED\n");
    }
    return ok ? 0 : 1;
}
