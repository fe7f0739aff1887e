#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "core/base/signal.hpp"
#include "core/panel/presets.hpp"

namespace tarnwell {

class ContentView;
class FileChooser;
class MainQueue;
class MainWindow;
class MidiService;
class Model;
class PhysicsView;
class QtMainQueue;
class RandomSource;
class Settings;
class TickTimer;

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
};

// The composition root: builds the window, and when its start-up screen has
// had its time, the model (MIDI manager, controller, presets, physics), the
// 60 Hz tick timer and the views, handing each view what it shows. Nothing
// else creates a model object. Needs a QApplication; main thread only.
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

    // Shows the window: the start-up screen, then the controller window.
    void start();

    // How long quitting waits for MIDI already sent to leave the program.
    static constexpr std::chrono::milliseconds kQuitDrainBound{200};
    // Ends the panel once the event loop has ended, whatever ended it (the
    // window closed, quit(), a signal): the tick timer stops, tasks already
    // posted run, MIDI already sent leaves within kQuitDrainBound, and the
    // window, the model and the MIDI client are closed. The window's place
    // is saved as it closes (or here, when it is still open). Runs once.
    void shutDown();

private:
    void buildPanel();
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
    std::unique_ptr<MainWindow> window_;
    PhysicsView* physicsView_ = nullptr;
    std::vector<Connection> connections_;
    QString untoldSettingsFailure_;
};

}  // namespace tarnwell
