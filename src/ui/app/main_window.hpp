#pragma once

#include <functional>
#include <memory>

#include <QMainWindow>
#include <QPointer>

#include "ui/panel/content_view.hpp"

namespace tarnwell {

class MidiActivityView;
class MidiManager;
class MidiMonitorDock;
class MidiService;

// The application's window: the start-up screen for its first 1.5 seconds,
// then the controller window, whose MIDI system is set up only at that moment;
// the "View" menu with the MIDI monitor, the status bar's MIDI activity, and
// the "Help" menu with "About Tarnwell".
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kStartupDelay{1500};

    // `panel` describes everything but the MIDI service, which
    // `makeMidiService` creates when the controller window appears.
    MainWindow(PanelEnvironment panel,
               std::function<std::shared_ptr<MidiService>()> makeMidiService,
               QWidget* parent = nullptr);

    [[nodiscard]] bool isFirstLaunch() const { return isFirstLaunch_; }
    [[nodiscard]] ContentView* contentView() const { return content_; }
    [[nodiscard]] QWidget* aboutWindow() const { return about_; }
    [[nodiscard]] MidiMonitorDock* midiMonitor() const;
    [[nodiscard]] MidiActivityView* midiActivity() const;
    // The panel's one MIDI manager; null until the controller window exists.
    [[nodiscard]] std::shared_ptr<MidiManager> midiManager() const;
    // Opens the About window, or shows the one already made where it was left.
    void showAboutWindow();

Q_SIGNALS:
    // The start-up screen has given way to the controller window.
    void controllerWindowShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void finishStartup();
    // "View" > "MIDI Monitor": the monitor dock, closed until asked for.
    void buildViewMenu(QMenu* before);
    // The MIDI activity in the status bar and the monitor's source, once the
    // manager exists; link choices are loaded from and saved to the settings.
    void installMidiActivity();
    // The panel's own size, or the screen's where that is smaller.
    void fitToScreen();

    PanelEnvironment panel_;
    std::function<std::shared_ptr<MidiService>()> makeMidiService_;
    bool isFirstLaunch_ = true;
    bool startupScheduled_ = false;
    QPointer<ContentView> content_;
    QPointer<QWidget> about_;
    QPointer<MidiMonitorDock> midiMonitor_;
    QPointer<MidiActivityView> midiActivity_;
};

}  // namespace tarnwell
