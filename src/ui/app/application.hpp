#pragma once

#include <chrono>
#include <memory>

#include "core/base/random.hpp"
#include "ui/app/main_window.hpp"
#include "ui/app/qt_main_queue.hpp"

namespace tarnwell {

// Everything the running panel is made of, built the same way for the program
// and for the measurements that time it. Needs a QApplication.
class Application {
public:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    ~Application();

    [[nodiscard]] MainWindow& window() { return *window_; }
    // Shows the window: the start-up screen, then the controller window.
    void start();

    // How long quitting waits for MIDI already sent to leave the program.
    static constexpr std::chrono::milliseconds kQuitDrainBound{200};
    // Ends the panel once the event loop has ended, whatever ended it (the
    // window closed, quit(), a signal): the tick timers stop, tasks already
    // posted run, MIDI already sent leaves within kQuitDrainBound, and the
    // window, the MIDI manager and the MIDI client are closed. Runs once.
    void shutDown();

private:
    QtMainQueue queue_;
    SystemRandom random_;
    std::shared_ptr<MidiService> midiService_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace tarnwell
