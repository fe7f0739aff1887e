#include "app/application.hpp"

#include "midi/midi_service.hpp"

namespace tarnwell {

namespace {

std::shared_ptr<MidiService> makeMidiService() {
    return std::make_shared<NullMidiService>();
}

}  // namespace

Application::Application() {
    PanelEnvironment panel;
    panel.queue = &queue_;
    panel.random = &random_;
    window_ = std::make_unique<MainWindow>(panel, &makeMidiService);
}

void Application::start() {
    window_->resize(900, 900);
    window_->show();
}

}  // namespace tarnwell
