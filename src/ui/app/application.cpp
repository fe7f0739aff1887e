#include "ui/app/application.hpp"

#include <QCoreApplication>

#include "core/midi/midi_service.hpp"
#include "core/midi/platform_midi.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/physics/tick_timer.hpp"

namespace tarnwell {

Application::Application() {
    PanelEnvironment panel;
    panel.queue = &queue_;
    panel.random = &random_;
    window_ = std::make_unique<MainWindow>(panel, [this] {
        midiService_ = createPlatformMidiService();
        return midiService_;
    });
}

Application::~Application() {
    shutDown();
}

void Application::shutDown() {
    if (!window_) {
        return;
    }
    for (PhysicsView* physics : window_->findChildren<PhysicsView*>()) {
        physics->tickTimer().stop();
    }
    queue_.runPosted();
    if (midiService_) {
        midiService_->drain(kQuitDrainBound);
    }
    // The window holds the views and the MIDI manager; this holds the last
    // reference to the service, whose end closes the client.
    window_.reset();
    midiService_.reset();
    // Windows the main window took with it (About) are deleted later.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Application::start() {
    window_->resize(900, 900);
    window_->show();
}

}  // namespace tarnwell
