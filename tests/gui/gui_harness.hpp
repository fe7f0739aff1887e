#pragma once

#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

#include "base/manual_queue.hpp"
#include "midi/loopback_service.hpp"
#include "panel/content_view.hpp"
#include "panel/controller.hpp"
#include "support/fake_file_chooser.hpp"
#include "support/panel_harness.hpp"
#include "support/temp_dir.hpp"
#include "support/wire.hpp"

namespace tarnwell::test {

// A controller window over the loopback service with one destination,
// "Synth", shown (so it connects once the queue runs), whose deferred work
// runs only when the test drains the queue.
struct WindowHarness {
    explicit WindowHarness(bool withDestination = true) {
        if (withDestination) {
            synth = service->addDestination("Synth");
        }
        PanelEnvironment environment;
        environment.midiService = service;
        environment.queue = &queue;
        environment.random = &random;
        environment.fileChooser = &chooser;
        environment.documentsFolder = [this] { return std::optional(documents.path()); };
        view = std::make_unique<ContentView>(environment);
        view->resize(view->sizeHint());
        view->show();
        queue.runPending();
    }

    Controller& controller() { return view->controller(); }
    std::vector<Sent> sent() const { return sentTo(*service, synth); }

    template <typename T = QAbstractButton>
    T* find(const QString& text, QWidget* within = nullptr) const {
        for (auto* widget : (within ? within : view.get())->findChildren<T*>()) {
            if (widget->text() == text) {
                return widget;
            }
        }
        return nullptr;
    }

    std::shared_ptr<LoopbackMidiService> service = std::make_shared<LoopbackMidiService>();
    ManualQueue queue;
    SeededRandom random;
    FakeFileChooser chooser;
    TempDir documents;
    EndpointRef synth = 0;
    std::unique_ptr<ContentView> view;
};

}  // namespace tarnwell::test
