#pragma once

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

    [[nodiscard]] MainWindow& window() { return *window_; }
    // Shows the window: the start-up screen, then the controller window.
    void start();

private:
    QtMainQueue queue_;
    SystemRandom random_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace tarnwell
