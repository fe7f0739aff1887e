#pragma once

#include <memory>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QSet>
#include <QWidget>
#include <QtTest>

#include "core/model.hpp"
#include "support/fake_file_chooser.hpp"
#include "support/panel_harness.hpp"
#include "support/temp_dir.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/physics/tick_timer.hpp"

namespace tarnwell::test {

// The program as the application object builds it, over the loopback service
// with one destination, "Synth", past its start-up screen and connected;
// deferred work runs only when the test drains the queue, and the 60 Hz
// timer is stopped so tests tick by hand.
struct WindowHarness {
    explicit WindowHarness(bool withDestination = true) {
        if (withDestination) {
            synth = service->addDestination("Synth");
        }
        AppEnvironment environment;
        environment.makeMidiService = [this] { return service; };
        environment.queue = &queue;
        environment.random = &random;
        environment.fileChooser = &chooser;
        environment.documentsFolder = [this] { return std::optional(documents.path()); };
        environment.settingsFile =
            QString::fromStdString((documents.path() / "settings.ini").string());
        app = std::make_unique<Application>(environment);
        app->window().show();
        queue.advance(MainWindow::kStartupDelay);
        view = app->contentView();
        app->tickTimer()->stop();
        queue.runPending();
    }

    Model& model() { return *app->model(); }
    Controller& controller() { return model().controller(); }
    Presets& presets() { return model().presets(); }
    std::vector<Sent> sent() const { return sentTo(*service, synth); }

    template <typename T = QAbstractButton>
    T* find(const QString& text, QWidget* within = nullptr) const {
        for (auto* widget : (within ? within : view)->findChildren<T*>()) {
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
    std::unique_ptr<Application> app;
    ContentView* view = nullptr;
};

// What a screen reader announces a control by: its label where another
// widget labels it (Qt reports a picker's current row as its name on Linux
// and its label through the "labelled by" relation), otherwise its name.
inline QString spokenName(QWidget* widget) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
    if (a == nullptr) {
        return {};
    }
    for (const auto& relation : a->relations(QAccessible::Label)) {
        const QString label = relation.first->text(QAccessible::Name);
        if (!label.isEmpty()) {
            return label;
        }
    }
    return a->text(QAccessible::Name);
}

// The buttons, sliders and pickers under `root`, on every page, that live in
// its window (the pickers' pop-up lists are windows of their own).
inline QList<QWidget*> controlsIn(QWidget* root) {
    QList<QWidget*> controls;
    for (auto* w : root->findChildren<QWidget*>()) {
        if ((qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSlider*>(w) ||
             qobject_cast<QComboBox*>(w)) &&
            w->window() == root->window()) {
            controls << w;
        }
    }
    return controls;
}

// Presses Tab from `start` until the focus comes back to it; returns every
// widget the focus visited.
inline QSet<QWidget*> reachedByTab(QWidget* start) {
    QSet<QWidget*> reached;
    start->window()->activateWindow();
    if (!QTest::qWaitForWindowActive(start->window())) {
        return reached;
    }
    start->setFocus();
    QWidget* current = QApplication::focusWidget();
    for (int i = 0; i < 200 && current && !reached.contains(current); ++i) {
        reached.insert(current);
        QTest::keyClick(current, Qt::Key_Tab);
        current = QApplication::focusWidget();
    }
    return reached;
}

}  // namespace tarnwell::test
