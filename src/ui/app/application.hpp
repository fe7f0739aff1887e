#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>

#include "core/base/signal.hpp"
#include "core/panel/presets.hpp"

namespace tarnwell {

class ContentView;
class ControlMenus;
class ControllerBindings;
class FileChooser;
class MainQueue;
class MainWindow;
class MappingsWindow;
class MidiService;
class Model;
class MonitorFeed;
class PhysicsView;
class QtMainQueue;
class RandomSource;
class Settings;
class TickTimer;
class TimeSource;
class TrafficMeter;

// What the application draws on from outside. Each empty member means the
// platform's own: tests and measurements replace some of them.
struct AppEnvironment {
    // Called once, when the controller window appears.
    std::function<std::shared_ptr<MidiService>()> makeMidiService;
    MainQueue* queue = nullptr;          // null: the Qt event loop
    RandomSource* random = nullptr;      // null: the system's secure source
    FileChooser* fileChooser = nullptr;  // null: the window's JSON file dialogs
    Presets::Folder documentsFolder;     // empty: the platform's documents folder
    QString settingsFile;                // empty: the desktop's configuration folder
    const TimeSource* clock = nullptr;   // null: the steady clock (times controller input)
};

// The composition root: builds the window, and when its start-up screen has
// had its time, the model (MIDI manager, controller, presets, physics), the
// 60 Hz tick timer, the MIDI monitor's record and the traffic meter, and the
// views, handing each view what it shows. It loads the MIDI link choices into
// the manager and saves them when they change. Nothing else creates a model
// object. Needs a QApplication; main thread only.
class Application {
public:
    explicit Application(AppEnvironment environment = {});
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    [[nodiscard]] MainWindow& window() { return *window_; }
    // Null until the controller window has appeared.
    [[nodiscard]] Model* model() { return model_.get(); }
    [[nodiscard]] ContentView* contentView() const;
    [[nodiscard]] PhysicsView* physicsView() const { return physicsView_; }
    [[nodiscard]] TickTimer* tickTimer() { return tickTimer_.get(); }
    [[nodiscard]] Settings& settings() { return *settings_; }
    // The control menus, the controller's marks and the mappings window;
    // null until the controller window has appeared (the window: until
    // first opened).
    [[nodiscard]] ControlMenus* controlMenus() const { return controlMenus_; }
    [[nodiscard]] ControllerBindings* controllerBindings() const { return bindings_; }
    [[nodiscard]] MappingsWindow* mappingsWindow() const { return mappingsWindow_; }
    // Opens the mappings window, or raises it.
    MappingsWindow& showMappingsWindow();

    // Shows the window: the start-up screen, then the controller window.
    void start();

    // Ends the panel once the event loop has ended, whatever ended it (the
    // window closed, quit(), a signal): the tick timer stops, tasks already
    // posted run, MIDI already sent leaves within kQuitDrainBound, and the
    // window, the model and the MIDI client are closed. The window's place
    // is saved as it closes (or here, when it is still open). Runs once.
    void shutDown();

private:
    void buildPanel();
    // The status bar's MIDI activity and the monitor's record, with the link
    // choices they show.
    void installMidiViews();
    // Wires the menus' commands to the model just built.
    void bindActions();
    void bindLockParameter();
    // Locks, Mutate's options and the morph's presets as the settings keep
    // them, and kept there as they change.
    void recallExploring();
    // On the notice line (once the panel is up) and the error output.
    void tellSettingsFailure(const QString& why);
    // The sound of the last run, kept at quit when the musician asked for it.
    [[nodiscard]] std::filesystem::path resumeFile() const;
    void resumeSound();
    void keepSoundForNextRun();
    // The hardware controller: its stored mappings and source, the control
    // menus, the wake-up from its input thread, and keeping what changes.
    void installController();
    void keepMappings();

    AppEnvironment environment_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<QtMainQueue> ownQueue_;
    std::unique_ptr<RandomSource> ownRandom_;
    std::unique_ptr<FileChooser> ownFileChooser_;
    // Held here too so quitting can drain it after the model is gone.
    std::shared_ptr<MidiService> midiService_;
    // Declared before the window so the views go before what they show.
    std::unique_ptr<Model> model_;
    std::unique_ptr<TickTimer> tickTimer_;
    // What the monitor dock and the activity view show; they go after the
    // window and before the model.
    std::unique_ptr<MonitorFeed> monitorFeed_;
    std::unique_ptr<TrafficMeter> trafficMeter_;
    std::unique_ptr<MainWindow> window_;
    PhysicsView* physicsView_ = nullptr;
    ControlMenus* controlMenus_ = nullptr;
    ControllerBindings* bindings_ = nullptr;
    MappingsWindow* mappingsWindow_ = nullptr;
    std::unique_ptr<FileChooser> mappingsFileChooser_;
    std::unique_ptr<QObject> inputNotifier_;
    std::vector<Connection> connections_;
    QString untoldSettingsFailure_;
};

}  // namespace tarnwell
