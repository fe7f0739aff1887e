// Writes screenshots of the panel as a user sees it: the start-up screen, every
// tab of the controller window and the About window, each grabbed offscreen
// into the folder given (default docs/screenshots).
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QPalette>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "core/model.hpp"
#include "testing/loopback_service.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/theme.hpp"

namespace {

void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

bool save(QWidget* widget, const QDir& dir, const QString& name) {
    const QString file = dir.filePath(name + ".png");
    const bool ok = widget->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? argv[1] : "docs/screenshots");
    QDir().mkpath(dir.path());
    // "dark": the same pictures under a dark desktop palette.
    if (argc > 2 && QString(argv[2]) == "dark") {
        QApplication::setPalette(tarnwell::theme::darkPalette());
    }

    auto service = std::make_shared<tarnwell::LoopbackMidiService>();
    service->addDestination("Synth (USB MIDI 1)");
    service->addDestination("midi-monitor:input");
    tarnwell::AppEnvironment environment;
    environment.makeMidiService = [service] { return service; };
    // The pictures show a first run: no remembered window or destination,
    // and the user's own settings are neither read nor changed.
    const QTemporaryDir settings;
    environment.settingsFile = settings.filePath("settings.ini");
    tarnwell::Application application(environment);
    tarnwell::MainWindow& window = application.window();
    window.resize(900, 900);
    window.show();
    pump(300);
    bool ok = save(&window, dir, "startup");
    pump(1500);
    tarnwell::ContentView* content = window.contentView();
    if (content == nullptr) {
        std::printf("FAILED: the controller window did not appear\n");
        return 1;
    }
    // The whole panel, even where the offscreen screen is smaller than it.
    window.resize(content->sizeHint() + QSize(0, window.menuBar()->sizeHint().height()));
    pump(200);
    // Some state, so the pictures show what the controls look like in use.
    tarnwell::Controller& controller = application.model()->controller();
    controller.toggleLink(0);
    controller.toggleLink(2);
    controller.toggleModButton(0);
    controller.setModeToggle(tarnwell::ModeToggle::filterModeToggle, true);
    controller.randomizeSliders();
    pump(100);

    // The balls run from here on, so the physics picture shows them spread
    // over their square after about a second of motion.
    QWidget* physics = application.physicsView();
    tarnwell::PhysicsSimulation& simulation = application.model()->physics();
    for (std::size_t i = 0; i < simulation.balls().size(); ++i) {
        simulation.toggleRunning(i);
    }

    const QStringList names = {"voice1", "voice2", "voice3", "voice4",
                               "voice5", "voice6", "regen",  "physics"};
    for (int i = 0; i < content->tabs()->count() && i < names.size(); ++i) {
        content->tabs()->setCurrentIndex(i);
        pump(content->tabs()->widget(i) == physics ? 1000 : 150);
        ok = save(&window, dir, names[i]) && ok;
    }
    content->tabs()->setCurrentIndex(0);
    // Exploring: two parameters of Voice 1 locked, the morph between two
    // named presets part of the way.
    tarnwell::Model& model = *application.model();
    model.locks().setLocked(1, true);
    model.locks().setLocked(4, true);
    tarnwell::Presets& presets = model.presets();
    presets.savePresetAs(0, "Glass Bells");
    controller.randomizeSliders();
    presets.savePresetAs(1, "Dark Drone");
    model.morph().setPresetA(0);
    model.morph().setPresetB(1);
    model.morph().setMorphPosition(0.4);
    window.actions().morph->setEnabled(true);
    window.actions().morph->trigger();
    window.resize(window.width(), window.height() + window.morphDock()->sizeHint().height());
    pump(300);
    ok = save(&window, dir, "explore") && ok;
    window.actions().morph->trigger();

    window.showAboutWindow();
    pump(200);
    ok = save(window.aboutWindow(), dir, "about") && ok;
    return ok ? 0 : 1;
}
