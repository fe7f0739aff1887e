#include "ui/app/application.hpp"

#include <QAction>
#include <QCoreApplication>

#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/midi_service.hpp"
#include "core/midi/monitor_feed.hpp"
#include "core/midi/platform_midi.hpp"
#include "core/midi/traffic_meter.hpp"
#include "core/model.hpp"
#include "ui/app/main_window.hpp"
#include "ui/app/qt_file_chooser.hpp"
#include "ui/app/qt_main_queue.hpp"
#include "ui/app/settings.hpp"
#include "ui/midi/link_settings.hpp"
#include "ui/midi/midi_activity_view.hpp"
#include "ui/midi/midi_monitor_dock.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/physics/tick_timer.hpp"

namespace tarnwell {

Application::Application(AppEnvironment environment)
    : environment_(std::move(environment)),
      settings_(std::make_unique<Settings>(environment_.settingsFile)) {
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
        ownFileChooser_ = std::make_unique<QtFileChooser>(window_.get(), settings_.get());
        environment_.fileChooser = ownFileChooser_.get();
    }
    QObject::connect(window_.get(), &MainWindow::startupFinished, window_.get(),
                     [this] { buildPanel(); });

    // The options can be set before the panel is up; they take effect there.
    const PanelActions& actions = window_->actions();
    actions.sendPanelOnConnect->setChecked(settings_->sendPanelOnConnect());
    actions.restorePresetsAtStart->setChecked(settings_->restorePresetsAtStart());
    actions.sendPanelOnConnect->setEnabled(true);
    actions.restorePresetsAtStart->setEnabled(true);
    QObject::connect(actions.sendPanelOnConnect, &QAction::toggled, window_.get(), [this](bool on) {
        settings_->setSendPanelOnConnect(on);
        if (model_) {
            model_->controller().setSendAllOnConnect(on);
        }
    });
    QObject::connect(actions.restorePresetsAtStart, &QAction::toggled, window_.get(),
                     [this](bool on) { settings_->setRestorePresetsAtStart(on); });
    QObject::connect(actions.quit, &QAction::triggered, window_.get(),
                     [] { QCoreApplication::quit(); });
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
    if (window_->isVisible()) {
        settings_->setWindowGeometry(window_->saveGeometry());
    }
    connections_.clear();
    // The views refer to the model: they go first. The model holds the MIDI
    // manager; this holds the last reference to the service, whose end closes
    // the client.
    window_.reset();
    tickTimer_.reset();
    monitorFeed_.reset();
    trafficMeter_.reset();
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
    Controller& controller = model_->controller();
    controller.setPreferredDestination(settings_->destination());
    controller.setSendAllOnConnect(settings_->sendPanelOnConnect());
    physicsView_ = new PhysicsView(model_->physics(), model_->random());
    window_->showPanel(new ContentView(*model_, physicsView_));
    installMidiViews();
    // After the views, so the status line tells how the stored file fared.
    if (settings_->restorePresetsAtStart()) {
        model_->presets().restoreStoredPresets();
    }
    bindActions();
    // The timer wakes only while a ball runs; the ticks it sleeps through
    // still advance the simulation's time, so a ball started later resumes
    // where an always-running timer would have it.
    PhysicsSimulation& physics = model_->physics();
    tickTimer_ =
        std::make_unique<TickTimer>([&physics] { physics.timerTick(); },
                                    [&physics](std::uint64_t ticks) { physics.skipTicks(ticks); });
    tickTimer_->setPaused(!physics.anyRunning());
    tickTimer_->start();
    connections_.push_back(physics.changed.connect([this, &physics](PhysicsChange change) {
        if (change == PhysicsChange::settings) {
            tickTimer_->setPaused(!physics.anyRunning());
        }
    }));
}

void Application::installMidiViews() {
    MidiManager& midi = model_->midi();
    midi.setLinkChoices(loadLinkChoices(settings_->store()));
    connections_.push_back(midi.changed.connect([this, &midi](MidiManagerChange change) {
        if (change == MidiManagerChange::link) {
            saveLinkChoices(settings_->store(), midi.linkChoices());
        }
    }));
    monitorFeed_ = std::make_unique<MonitorFeed>([&midi](EndpointRef endpoint) {
        return midi.destinationName(endpoint).value_or("endpoint " + std::to_string(endpoint));
    });
    trafficMeter_ = std::make_unique<TrafficMeter>();
    window_->showMidiActivity(new MidiActivityView(model_->sharedMidi(), *trafficMeter_));
    window_->midiMonitor()->setSource(model_->sharedMidi(), *monitorFeed_);
}

void Application::bindActions() {
    const PanelActions& actions = window_->actions();
    Model& model = *model_;
    Controller& controller = model.controller();
    Presets& presets = model.presets();
    QMainWindow* window = window_.get();
    const auto bind = [window](QAction* action, std::function<void()> run) {
        QObject::connect(action, &QAction::triggered, window, std::move(run));
        action->setEnabled(true);
    };
    bind(actions.savePreset, [&presets] { presets.savePreset(presets.selectedPresetIndex()); });
    bind(actions.importPresets, [&presets] { presets.importPresets(); });
    bind(actions.exportPresets, [&presets] { presets.exportPresets(); });
    bind(actions.sendAll, [&controller] { controller.sendAll(); });
    bind(actions.calibrate, [&controller] { controller.randomizeSliders("calibrate"); });
    bind(actions.dice, [&controller] { controller.randomizeSliders("dice"); });
    QObject::connect(actions.undo, &QAction::triggered, window, [&model] { model.undo(); });
    QObject::connect(actions.redo, &QAction::triggered, window, [&model] { model.redo(); });

    const auto showHistory = [&model, actions] {
        const History& history = model.history();
        actions.undo->setEnabled(history.canUndo());
        actions.undo->setText(history.canUndo() ? QObject::tr("Undo %1").arg(
                                                      QString::fromStdString(history.undoAction()))
                                                : QObject::tr("Undo"));
        actions.redo->setEnabled(history.canRedo());
        actions.redo->setText(history.canRedo() ? QObject::tr("Redo %1").arg(
                                                      QString::fromStdString(history.redoAction()))
                                                : QObject::tr("Redo"));
    };
    showHistory();
    connections_.push_back(model.history().changed.connect(showHistory));
    // The destination the panel reaches is the one to look for next time.
    connections_.push_back(controller.changed.connect([this, &model](ControllerChange change) {
        const MidiManager& midi = model.midi();
        if (change.field == ControllerField::destinations && midi.connectedDeviceName() &&
            midi.connectedDestinationAvailable()) {
            settings_->setDestination(*midi.connectedDeviceName());
        }
    }));
}

void Application::start() {
    const QByteArray geometry = settings_->windowGeometry();
    if (geometry.isEmpty() || !window_->restoreGeometry(geometry)) {
        window_->resize(900, 900);
    } else {
        window_->setFitsToPanel(false);
    }
    window_->show();
}

}  // namespace tarnwell
