#include "ui/app/application.hpp"

#include "core/base/random.hpp"
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
    if (tickTimer_) {
        tickTimer_->stop();
    }
    // The views refer to the model: they go first.
    window_.reset();
}

ContentView* Application::contentView() const {
    return window_->contentView();
}

void Application::buildPanel() {
    model_ = std::make_unique<Model>(environment_.makeMidiService(), *environment_.queue,
                                     *environment_.random, environment_.fileChooser,
                                     environment_.documentsFolder);
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
