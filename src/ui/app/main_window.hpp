#pragma once

#include <chrono>

#include <QMainWindow>
#include <QPointer>

#include "ui/commands.hpp"

class QDockWidget;

namespace tarnwell {

class ContentView;
class MainQueue;
class MidiActivityView;
class MidiMonitorDock;

// The application's window: the start-up screen for its first 1.5 seconds,
// then the controller window that the application builds at that moment; the
// menus: File, Edit, View with the MIDI monitor, and Help with "About
// Tarnwell"; and the MIDI activity in the status bar.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kStartupDelay{1500};

    // `queue` must outlive the window.
    explicit MainWindow(MainQueue& queue, QWidget* parent = nullptr);

    // Replaces the start-up screen with the controller window; the window
    // takes `content` over.
    void showPanel(ContentView* content);

    [[nodiscard]] bool isFirstLaunch() const { return isFirstLaunch_; }
    [[nodiscard]] ContentView* contentView() const;
    [[nodiscard]] QWidget* aboutWindow() const { return about_; }
    [[nodiscard]] const PanelActions& actions() const { return actions_; }
    // The monitor dock exists from the start (the View menu holds it); it
    // shows nothing until the application gives it its source.
    [[nodiscard]] MidiMonitorDock* midiMonitor() const { return midiMonitor_; }
    // "View" > "Morph": empty and closed until the application puts the
    // morph's view in it once the panel exists.
    [[nodiscard]] QDockWidget* morphDock() const { return morphDock_; }
    // Null until `showMidiActivity`.
    [[nodiscard]] MidiActivityView* midiActivity() const { return midiActivity_; }
    // Puts the MIDI activity in the status bar; the window takes it over.
    void showMidiActivity(MidiActivityView* activity);
    // Whether showing the panel sizes the window to it; off once a size the
    // user left it at has been restored.
    void setFitsToPanel(bool fits) { fitsToPanel_ = fits; }
    // Opens the About window, or shows the one already made where it was left.
    void showAboutWindow();

Q_SIGNALS:
    // The start-up screen has been shown for its time: the application now
    // builds the panel and hands it to `showPanel`.
    void startupFinished();
    // The start-up screen has given way to the controller window.
    void controllerWindowShown();
    // The window is closing, still in its place: by its close button, or
    // because the event loop is ending (quit() closes the windows first).
    void closing();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    // "View" > "MIDI Monitor" and "Morph": docks, closed until asked for.
    void buildViewMenu(QMenu* before);
    void finishStartup();
    // The panel's own size, or the screen's where that is smaller.
    void fitToScreen();

    MainQueue& queue_;
    bool isFirstLaunch_ = true;
    bool startupScheduled_ = false;
    bool fitsToPanel_ = true;
    PanelActions actions_;
    MidiMonitorDock* midiMonitor_ = nullptr;
    QDockWidget* morphDock_ = nullptr;
    MidiActivityView* midiActivity_ = nullptr;
    QPointer<ContentView> content_;
    QPointer<QWidget> about_;
};

}  // namespace tarnwell
