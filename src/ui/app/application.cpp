#include "ui/app/application.hpp"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDockWidget>
#include <QMenu>
#include <QSocketNotifier>

#include "core/base/file_io.hpp"
#include "core/base/random.hpp"
#include "core/control/controller_input.hpp"
#include "core/control/mapping_file.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/midi_service.hpp"
#include "core/midi/monitor_feed.hpp"
#include "core/midi/platform_midi.hpp"
#include "core/midi/traffic_meter.hpp"
#include "core/model.hpp"
#include "core/panel/resume_file.hpp"
#include "ui/app/main_window.hpp"
#include "ui/app/qt_file_chooser.hpp"
#include "ui/app/qt_main_queue.hpp"
#include "ui/app/settings.hpp"
#include "ui/control/attach_controls.hpp"
#include "ui/control/control_menu.hpp"
#include "ui/control/controller_bindings.hpp"
#include "ui/control/mappings_window.hpp"
#include "ui/midi/link_settings.hpp"
#include "ui/midi/midi_activity_view.hpp"
#include "ui/midi/midi_monitor_dock.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/morph_view.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/preset_dialogs.hpp"
#include "ui/panel/preset_list_model.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/physics/tick_timer.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

Application::Application(AppEnvironment environment)
    : environment_(std::move(environment)),
      settings_(std::make_unique<Settings>(environment_.settingsFile)) {
    theme::installStyle();
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
    if (environment_.clock == nullptr) {
        environment_.clock = &steadyTime();
    }
    window_ = std::make_unique<MainWindow>(*environment_.queue);
    if (!environment_.fileChooser) {
        ownFileChooser_ = std::make_unique<QtFileChooser>(window_.get(), settings_.get());
        environment_.fileChooser = ownFileChooser_.get();
        auto mappings = std::make_unique<QtFileChooser>(window_.get(), settings_.get());
        mappings->setTitles(QObject::tr("Import Mappings"), QObject::tr("Export Mappings"));
        mappingsFileChooser_ = std::move(mappings);
    }
    QObject::connect(window_.get(), &MainWindow::startupFinished, window_.get(),
                     [this] { buildPanel(); });
    // Saved while the window still stands where the user left it: whatever
    // ends the program (Quit, a signal, the close button) closes it first.
    QObject::connect(window_.get(), &MainWindow::closing, window_.get(),
                     [this] { settings_->setWindowGeometry(window_->saveGeometry()); });
    settings_->onFailure([this](const QString& why) { tellSettingsFailure(why); });

    // The options can be set before the panel is up; they take effect there.
    const PanelActions& actions = window_->actions();
    actions.sendPanelOnConnect->setChecked(settings_->sendPanelOnConnect());
    actions.restorePresetsAtStart->setChecked(settings_->restorePresetsAtStart());
    actions.resumeAtStart->setChecked(settings_->resumeAtStart());
    for (QAction* option :
         {actions.sendPanelOnConnect, actions.restorePresetsAtStart, actions.resumeAtStart}) {
        option->setEnabled(true);
    }
    QObject::connect(actions.sendPanelOnConnect, &QAction::toggled, window_.get(), [this](bool on) {
        settings_->setSendPanelOnConnect(on);
        if (model_) {
            model_->controller().setSendAllOnConnect(on);
        }
    });
    QObject::connect(actions.restorePresetsAtStart, &QAction::toggled, window_.get(),
                     [this](bool on) { settings_->setRestorePresetsAtStart(on); });
    QObject::connect(actions.resumeAtStart, &QAction::toggled, window_.get(),
                     [this](bool on) { settings_->setResumeAtStart(on); });
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
    if (model_ && settings_->resumeAtStart()) {
        keepSoundForNextRun();
    }
    connections_.clear();
    inputNotifier_.reset();
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
                                     environment_.fileChooser, environment_.documentsFolder,
                                     *environment_.clock);
    Controller& controller = model_->controller();
    controller.setPreferredDestination(settings_->destination());
    controller.setSendAllOnConnect(settings_->sendPanelOnConnect());
    recallExploring();
    physicsView_ = new PhysicsView(model_->physics(), model_->random());
    window_->showPanel(new ContentView(*model_, window_->actions(), physicsView_));
    window_->morphDock()->setWidget(
        new MorphView(model_->morph(), model_->presets(), window_->actions()));
    installMidiViews();
    // After the views, so the status line tells how the stored file fared.
    if (settings_->restorePresetsAtStart()) {
        model_->presets().restoreStoredPresets();
    }
    if (settings_->resumeAtStart()) {
        resumeSound();
    }
    if (!untoldSettingsFailure_.isEmpty()) {
        contentView()->showNotice({true, std::exchange(untoldSettingsFailure_, {}).toStdString()},
                                  ContentView::NoticePlacement::below);
    }
    bindActions();
    installController();
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
            settings_->commit();
        }
    }));
    monitorFeed_ = std::make_unique<MonitorFeed>([&midi](EndpointRef endpoint) {
        if (auto name = midi.destinationName(endpoint)) {
            return *name;
        }
        return QObject::tr("endpoint %1").arg(endpoint).toStdString();
    });
    trafficMeter_ = std::make_unique<TrafficMeter>();
    window_->showMidiActivity(new MidiActivityView(model_->sharedMidi(), *trafficMeter_));
    window_->midiMonitor()->setSource(model_->sharedMidi(), *monitorFeed_);
}

void Application::recallExploring() {
    model_->locks().setLockedIndices(settings_->lockedParameters());
    model_->setMutateOptions({settings_->mutatePercent(), settings_->mutateSwitches()});
    model_->morph().setPresetA(settings_->morphPreset(false));
    model_->morph().setPresetB(settings_->morphPreset(true));
    Model& model = *model_;
    connections_.push_back(model.locks().changed.connect([this, &model](std::int64_t) {
        settings_->setLockedParameters(model.locks().lockedIndices());
    }));
    connections_.push_back(model.mutateOptionsChanged.connect([this, &model] {
        settings_->setMutatePercent(model.mutateOptions().percent);
        settings_->setMutateSwitches(model.mutateOptions().switches);
    }));
    // The morph announces every move of its position; only its presets are kept.
    connections_.push_back(model.morph().changed.connect(
        [this, &model,
         kept = std::pair(model.morph().presetA(), model.morph().presetB())]() mutable {
            const auto now = std::pair(model.morph().presetA(), model.morph().presetB());
            if (now != kept) {
                kept = now;
                settings_->setMorphPreset(false, now.first);
                settings_->setMorphPreset(true, now.second);
            }
        }));
}

std::filesystem::path Application::resumeFile() const {
    return settings_->folderPath() / kResumeFileName;
}

void Application::resumeSound() {
    const std::filesystem::path file = resumeFile();
    std::error_code missing;
    if (!std::filesystem::exists(file, missing)) {
        return;
    }
    const FileRead read = readWholeFile(file, kMaxResumeFileBytes);
    ResumeDecoding decoded =
        read.bytes ? decodeResumeFile(*read.bytes) : ResumeDecoding{std::nullopt, read.error};
    if (!decoded.state) {
        contentView()->showNotice(
            {true,
             QObject::tr("The sound of the last run was not restored (%1: %2); the panel "
                         "starts afresh.")
                 .arg(QString::fromStdString(file.string()), QString::fromStdString(decoded.error))
                 .toStdString()},
            ContentView::NoticePlacement::below);
        return;
    }
    model_->resume(*decoded.state);
    const QString after = settings_->sendPanelOnConnect()
                              ? QObject::tr(
                                    "it is sent when a destination connects, or with "
                                    "Send All to Synth")
                              : QObject::tr("until Send All to Synth");
    contentView()->showNotice(
        {false, QObject::tr("Resumed where you left off; the synth may differ %1.")
                    .arg(after)
                    .toStdString()},
        ContentView::NoticePlacement::below);
}

void Application::keepSoundForNextRun() {
    const std::optional<std::string> text = encodeResumeFile(model_->resumeState());
    const std::string error =
        text ? writeFileAtomically(resumeFile(), *text) : std::string("a value cannot be written");
    if (!error.empty()) {
        qWarning("tarnwell: the sound to resume was not kept: %s", error.c_str());
    }
}

void Application::installController() {
    ControllerInput& input = model_->controllerInput();
    // The mappings of the last run; a damaged file is reported and set aside
    // (it is only replaced once the musician changes a mapping).
    const std::filesystem::path file = settings_->mappingsFile();
    std::optional<std::string> fileInput;
    std::error_code missing;
    if (std::filesystem::exists(file, missing)) {
        const MappingFileReading reading = readMappingFile(file);
        if (!reading.file) {
            contentView()->showNotice(
                {true, QObject::tr("The controller mappings were not restored (%1: %2).")
                           .arg(QString::fromStdString(file.string()),
                                QString::fromStdString(reading.error))
                           .toStdString()},
                ContentView::NoticePlacement::below);
        } else {
            input.engine().setMappings(reading.file->mappings);
            fileInput = reading.file->input;
            if (!reading.warning.empty()) {
                contentView()->showNotice({true, reading.warning},
                                          ContentView::NoticePlacement::below);
            }
        }
    }
    input.setThru(settings_->controllerThru());
    // Opt-in: the input port exists only once a source was chosen, in this
    // run or an earlier one.
    if (settings_->hasControllerInput()) {
        input.chooseSource(settings_->controllerInput());
    } else if (fileInput) {
        input.chooseSource(fileInput);
    }

    // The input thread writes one byte to the signal's pipe when input
    // arrives; nothing runs while the controller is silent.
    if (input.wake().fd() >= 0) {
        auto* notifier = new QSocketNotifier(input.wake().fd(), QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [&input] { input.service(); });
        inputNotifier_.reset(notifier);
    } else {
        qWarning("tarnwell: no wake-up for controller input; the controller cannot be played");
    }

    connections_.push_back(input.engine().mappingsChanged.connect([this] { keepMappings(); }));
    connections_.push_back(input.sourceChanged.connect([this, &input] {
        if (!settings_->hasControllerInput() ||
            settings_->controllerInput() != input.chosenSource()) {
            settings_->setControllerInput(input.chosenSource());
            keepMappings();
        }
    }));
    connections_.push_back(input.inputLost.connect(
        [this](std::uint64_t lost) { window_->midiMonitor()->showInputLoss(lost); }));

    controlMenus_ = new ControlMenus(window_.get());
    attachPanelControls(*controlMenus_, *contentView(), physicsView_, window_->actions());
    // The morph slider is a control like the others: it can be learned.
    if (auto* morph = qobject_cast<MorphView*>(window_->morphDock()->widget())) {
        controlMenus_->attach(morph->slider(), {ControlKind::morph, 0});
    }
    bindings_ = new ControllerBindings(
        *controlMenus_, *model_,
        [this](const QString& text, bool isError) {
            if (ContentView* view = contentView()) {
                view->showNotice({isError, text.toStdString()});
            }
        },
        window_.get());
    // Below the controller's entries, a parameter's lock, the same lock as
    // Ctrl+L and the padlock show.
    Locks& locks = model_->locks();
    controlMenus_->addEntries([&locks](QMenu& menu, ControlId control, QWidget*) {
        if (control.kind != ControlKind::parameter) {
            return;
        }
        const auto index = static_cast<std::int64_t>(control.index);
        QAction* lock = menu.addAction(QObject::tr("Lock"));
        lock->setObjectName("lockParameterEntry");
        lock->setCheckable(true);
        lock->setChecked(locks.isLocked(index));
        QObject::connect(lock, &QAction::toggled, &menu,
                         [&locks, index](bool on) { locks.setLocked(index, on); });
    });
}

void Application::keepMappings() {
    const std::string error =
        writeMappingFile(settings_->mappingsFile(), model_->controllerInput().mappingFile());
    if (!error.empty()) {
        qWarning("tarnwell: the controller mappings were not kept: %s", error.c_str());
    }
}

MappingsWindow& Application::showMappingsWindow() {
    if (mappingsWindow_ == nullptr) {
        FileChooser* files =
            mappingsFileChooser_ ? mappingsFileChooser_.get() : environment_.fileChooser;
        mappingsWindow_ = new MappingsWindow(model_->controllerInput(), *files, window_.get());
        mappingsWindow_->setWindowFlag(Qt::Window);
    }
    mappingsWindow_->show();
    mappingsWindow_->raise();
    mappingsWindow_->activateWindow();
    return *mappingsWindow_;
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
    bind(actions.savePresetAs, [window, &presets] { askToSavePresetAs(window, presets); });
    bind(actions.renamePreset,
         [window, &presets] { askToRenamePreset(window, presets, presets.selectedPresetIndex()); });
    bind(actions.importPresets, [&presets] { presets.importPresets(); });
    bind(actions.exportPresets, [&presets] { presets.exportPresets(); });
    bind(actions.sendAll, [&controller] { controller.sendAll(); });
    bind(actions.calibrate, [&controller] { controller.randomizeSliders("calibrate"); });
    bind(actions.dice, [&controller] { controller.randomizeSliders("dice"); });
    bind(actions.mutate, [this, &model] {
        const bool allLocked =
            model.locks().lockedIndices().size() == static_cast<std::size_t>(kParameterCount);
        if (model.mutate() == 0 && allLocked && !model.mutateOptions().switches) {
            contentView()->showNotice(
                {false, QObject::tr("Every parameter is locked: Mutate left the sound as it was")
                            .toStdString()});
        }
    });
    actions.mutateSwitches->setChecked(model.mutateOptions().switches);
    bind(actions.mutateSwitches, [&model, actions] {
        MutateOptions options = model.mutateOptions();
        options.switches = actions.mutateSwitches->isChecked();
        model.setMutateOptions(options);
    });
    actions.morph->setEnabled(true);
    bindLockParameter();
    bind(actions.revertToSaved, [&presets] { presets.revertToSaved(); });
    // Checked follows the presets, not the click: a comparison that cannot
    // start leaves it unchecked.
    bind(actions.compare, [&presets] { presets.toggleCompare(); });
    bind(actions.controllerMappings, [this] { showMappingsWindow(); });
    bind(actions.importMappings, [this] { showMappingsWindow().importFile(); });
    bind(actions.exportMappings, [this] { showMappingsWindow().exportFile(); });
    actions.passThru->setChecked(settings_->controllerThru());
    actions.passThru->setEnabled(true);
    QObject::connect(actions.passThru, &QAction::toggled, window, [this, &model](bool on) {
        settings_->setControllerThru(on);
        model.controllerInput().setThru(on);
    });
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

    // The selected preset in the title, marked while the panel differs.
    const auto showPreset = [this, &presets, actions] {
        const std::int64_t selected = presets.selectedPresetIndex();
        const bool inList =
            selected >= 0 && static_cast<std::uint64_t>(selected) < presets.presets().size();
        window_->setWindowTitle(
            inList ? QObject::tr("%1[*] \u2014 Tarnwell")
                         .arg(presetName(
                             selected, presets.presets()[static_cast<std::size_t>(selected)].name))
                   : QObject::tr("Tarnwell"));
        window_->setWindowModified(presets.isModified());
        actions.revertToSaved->setEnabled(inList);
        actions.renamePreset->setEnabled(inList);
        actions.compare->setEnabled(presets.canCompare());
        actions.compare->setChecked(presets.isComparing());
    };
    showPreset();
    connections_.push_back(presets.changed.connect([showPreset](PresetsEvent) { showPreset(); }));
    // The destination the panel reaches is the one to look for next time.
    connections_.push_back(controller.changed.connect([this, &model](ControllerChange change) {
        const MidiManager& midi = model.midi();
        if (change.field == ControllerField::destinations && midi.connectedDeviceName() &&
            midi.connectedDestinationAvailable()) {
            settings_->setDestination(*midi.connectedDeviceName());
        }
    }));
}

// Ctrl+L and Edit > Lock Parameter act on the parameter whose slider or value
// field has the keyboard focus; elsewhere the command is unavailable.
void Application::bindLockParameter() {
    QAction* lock = window_->actions().lockParameter;
    Locks& locks = model_->locks();
    const auto focused = [] { return parameterOfWidget(QApplication::focusWidget()); };
    const auto show = [lock, &locks, focused] {
        const std::optional<std::int64_t> index = focused();
        lock->setEnabled(index.has_value());
        lock->setChecked(index && locks.isLocked(*index));
    };
    QObject::connect(lock, &QAction::triggered, window_.get(), [&locks, focused, show](bool on) {
        if (const auto index = focused()) {
            locks.setLocked(*index, on);
        }
        show();
    });
    // Held by the action: it goes with the window, before the model.
    QObject::connect(qApp, &QApplication::focusChanged, lock, show);
    connections_.push_back(locks.changed.connect([show](std::int64_t) { show(); }));
    show();
}

void Application::tellSettingsFailure(const QString& why) {
    qWarning("tarnwell: %s", qPrintable(why));
    if (ContentView* view = contentView()) {
        view->showNotice({true, why.toStdString()}, ContentView::NoticePlacement::below);
    } else {
        untoldSettingsFailure_ = why;
    }
}

void Application::start() {
    // A damaged saved geometry (cut short, a size below zero) can restore a
    // window too small to use; the default size is taken instead.
    constexpr QSize kSmallestRestored{320, 240};
    const QByteArray geometry = settings_->windowGeometry();
    if (!geometry.isEmpty() && window_->restoreGeometry(geometry) &&
        window_->width() >= kSmallestRestored.width() &&
        window_->height() >= kSmallestRestored.height()) {
        window_->setFitsToPanel(false);
    } else {
        window_->setWindowState(Qt::WindowNoState);
        window_->resize(900, 900);
    }
    window_->show();
}

}  // namespace tarnwell
