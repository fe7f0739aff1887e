#include "ui/app/application.hpp"

#include "core/midi/platform_midi.hpp"

namespace tarnwell {

Application::Application() {
    PanelEnvironment panel;
    panel.queue = &queue_;
    panel.random = &random_;
    window_ = std::make_unique<MainWindow>(panel, &createPlatformMidiService);
}

void Application::start() {
    window_->resize(900, 900);
    window_->show();
}

}  // namespace tarnwell
