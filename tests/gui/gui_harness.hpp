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

#include "core/panel/controller.hpp"
#include "support/fake_file_chooser.hpp"
#include "support/panel_harness.hpp"
#include "support/temp_dir.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"
#include "ui/panel/content_view.hpp"

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
