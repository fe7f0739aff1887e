#pragma once

#include <memory>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QWidget>
#include <QtTest>

#include "core/panel/preset_file.hpp"
#include "support/panel_harness.hpp"
#include "support/temp_dir.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/unit_page_view.hpp"
#include "ui/panel/value_field.hpp"
#include "ui/physics/ball_page_view.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/physics/tick_timer.hpp"

namespace tarnwell::test {

// The program as the application builds it, over a loopback service (by default with one
// destination, "Synth"), its settings and documents in `folder` (a second run over it reads what
// the first remembered), past its start-up screen. Deferred work runs only when the test drains
// the queue; the 60 Hz timer is stopped so tests tick by hand.
struct WindowHarness {
    struct Options {
        std::shared_ptr<LoopbackMidiService> service = nullptr;
        const TempDir* folder = nullptr;
        bool synth = true;
        bool pastStartup = true;
    };
    WindowHarness() : WindowHarness(Options{}) {}
    explicit WindowHarness(Options options)
        : service(options.service ? options.service : std::make_shared<LoopbackMidiService>()),
          folder((options.folder ? *options.folder : ownFolder).path()) {
        if (options.synth) {
            synth = service->addDestination("Synth");
        }
        AppEnvironment environment;
        environment.makeMidiService = [this] { return service; };
        environment.queue = &queue;
        environment.random = &random;
        environment.fileChooser = &chooser;
        environment.documentsFolder = [this] { return std::optional(folder); };
        environment.settingsFile = QString::fromStdString((folder / "settings.ini").string());
        environment.clock = &clock;
        app = std::make_unique<Application>(environment);
        app->start();
        if (options.pastStartup) {
            queue.advance(MainWindow::kStartupDelay);
            view = app->contentView();
            timerWasRunning = app->tickTimer()->isActive();
            app->tickTimer()->stop();
            queue.runPending();
        }
    }

    MainWindow& window() { return app->window(); }
    const PanelActions& actions() { return window().actions(); }
    Model& model() { return *app->model(); }
    Controller& controller() { return model().controller(); }
    Presets& presets() { return model().presets(); }
    std::vector<Sent> sent() const { return sentTo(*service, synth); }
    // Parameter `index`'s slider and value field, on its unit's page or the regen bank.
    MidiSliderView* bank(std::int64_t index) const {
        const auto group = static_cast<int>(groupOfIndex(index));
        return group < kUnitCount ? view->unitPage(group)->bank() : view->regenBank();
    }
    ParameterSlider* slider(std::int64_t index) const { return bank(index)->sliderFor(index); }
    ValueField* field(std::int64_t index) const { return bank(index)->fieldFor(index); }
    QString notice() const { return view->noticeText()->text(); }
    QString status() const { return view->statusText()->text(); }
    // The service tells the panel its endpoints changed, and the panel catches up.
    void replug() {
        service->notifySetupChanged();
        queue.runPending();
    }
    bool activate() {
        window().activateWindow();
        return QTest::qWaitForWindowActive(&window());
    }

    template <typename T = QAbstractButton>
    T* find(const QString& text, QWidget* within = nullptr) const {
        for (auto* widget : (within ? within : view)->findChildren<T*>()) {
            if (widget->text() == text) {
                return widget;
            }
        }
        return nullptr;
    }

    TempDir ownFolder;
    std::shared_ptr<LoopbackMidiService> service;
    std::filesystem::path folder;
    ManualQueue queue;
    ManualQueueTime clock{queue};
    SeededRandom random;
    FakeFileChooser chooser;
    EndpointRef synth = 0;
    std::unique_ptr<Application> app;
    ContentView* view = nullptr;
    bool timerWasRunning = false;
};

// What a screen reader announces a control by: its label where there is one (Qt reports a
// picker's current row as its name on Linux), otherwise its own name.
inline QString spokenName(QWidget* widget) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
    if (a == nullptr) {
        return {};
    }
    for (const auto& relation : a->relations(QAccessible::Label)) {
        if (const QString label = relation.first->text(QAccessible::Name); !label.isEmpty()) {
            return label;
        }
    }
    return a->text(QAccessible::Name);
}

// The buttons, sliders and pickers in `root`'s window (not pop-up lists); `onlyShown`: shown now.
inline QList<QWidget*> controlsUnder(QWidget* root, bool onlyShown = true) {
    QList<QWidget*> controls;
    for (auto* w : root->findChildren<QWidget*>()) {
        if ((qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSlider*>(w) ||
             qobject_cast<QComboBox*>(w)) &&
            w->window() == root->window() && (!onlyShown || w->isVisibleTo(root))) {
            controls << w;
        }
    }
    return controls;
}

inline bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           40;
}

// Whether any pixel of the widget as drawn is near `colour`.
inline bool shows(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (near(image.pixelColor(x, y), colour)) {
                return true;
            }
        }
    }
    return false;
}

// Presses Tab from `start` until the focus comes back; returns what it visited.
inline QSet<QWidget*> reachedByTab(QWidget* start) {
    QSet<QWidget*> reached;
    start->window()->activateWindow();
    if (!QTest::qWaitForWindowActive(start->window())) {
        return reached;
    }
    start->setFocus();
    for (QWidget* w = QApplication::focusWidget();
         w && !reached.contains(w) && reached.size() < 200; w = QApplication::focusWidget()) {
        reached.insert(w);
        QTest::keyClick(w, Qt::Key_Tab);
    }
    return reached;
}

}  // namespace tarnwell::test
