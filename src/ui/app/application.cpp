#include "ui/app/application.hpp"

#include <QCoreApplication>

#include "core/base/random.hpp"
#include "core/midi/midi_service.hpp"
#include "core/midi/platform_midi.hpp"
#include "core/model.hpp"
#include "ui/app/main_window.hpp"
#include "ui/app/qt_file_chooser.hpp"
#include "ui/app/qt_main_queue.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/physics/tick_timer.hpp"

namespace tarnwell {

Application::Application(AppEnvironment environment) : environment_(std::move(environment)) {
    if (!environment_.queue) {
        ownQueue_ = std::make_unique<QtMainQueue>();
        environment_.queue = ownQueue_.get();
    }
    if (!environment_.random) {
        ownRandom_ = std::make_unique<SystemRandom>();
        environment_.random = ownRandom_.get();
    }
    if (!environment_.makeMidiService) {
        environment_.makeMidiService = &createPlatformMidiService;
    }
    if (!environment_.documentsFolder) {
        environment_.documentsFolder = &documentsFolder;
    }
    window_ = std::make_unique<MainWindow>(*environment_.queue);
    if (!environment_.fileChooser) {
        ownFileChooser_ = std::make_unique<QtFileChooser>(window_.get());
        environment_.fileChooser = ownFileChooser_.get();
    }
    QObject::connect(window_.get(), &MainWindow::startupFinished, window_.get(),
                     [this] { buildPanel(); });
}

Application::~Application() {
    shutDown();
}

void Application::shutDown() {
    if (!window_) {
        return;
    }
    if (tickTimer_) {
        tickTimer_->stop();
    }
    if (ownQueue_) {
        ownQueue_->runPosted();
    }
    if (midiService_) {
        midiService_->drain(kQuitDrainBound);
    }
    // The views refer to the model: they go first. The model holds the MIDI
    // manager; this holds the last reference to the service, whose end closes
    // the client.
    window_.reset();
    tickTimer_.reset();
    model_.reset();
    midiService_.reset();
    // Windows the main window took with it (About) are deleted later.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ContentView* Application::contentView() const {
    return window_->contentView();
}

void Application::buildPanel() {
    midiService_ = environment_.makeMidiService();
    model_ = std::make_unique<Model>(midiService_, *environment_.queue, *environment_.random,
                                     environment_.fileChooser, environment_.documentsFolder);
    physicsView_ = new PhysicsView(model_->physics(), model_->random());
    window_->showPanel(new ContentView(*model_, physicsView_));
    tickTimer_ = std::make_unique<TickTimer>([this] { model_->physics().timerTick(); });
    tickTimer_->start();
}

void Application::start() {
    window_->resize(900, 900);
    window_->show();
}

}  // namespace tarnwell
