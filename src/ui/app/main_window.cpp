#include "ui/app/main_window.hpp"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "core/base/main_queue.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/midi_service.hpp"
#include "core/panel/controller.hpp"
#include "ui/app/art_view.hpp"
#include "ui/midi/link_settings.hpp"
#include "ui/midi/midi_activity_view.hpp"
#include "ui/midi/midi_monitor_dock.hpp"

namespace tarnwell {

namespace {

// The window's ground: its usual colour under white at half opacity. The
// content scrolls when the screen is smaller than the panel (a laptop at 200%
// scale), so every control stays reachable.
QWidget* withGround(QWidget* content) {
    auto* root = new QScrollArea;
    root->setFrameShape(QFrame::NoFrame);
    root->setWidgetResizable(true);
    root->setFocusPolicy(Qt::NoFocus);
    QPalette palette = root->palette();
    const QColor base = palette.color(QPalette::Window);
    palette.setColor(QPalette::Window, QColor((base.red() + 255) / 2, (base.green() + 255) / 2,
                                              (base.blue() + 255) / 2));
    root->setPalette(palette);
    root->setAutoFillBackground(true);
    content->setAutoFillBackground(false);
    root->setWidget(content);
    root->viewport()->setAutoFillBackground(false);
    return root;
}

}  // namespace

MainWindow::MainWindow(PanelEnvironment panel,
                       std::function<std::shared_ptr<MidiService>()> makeMidiService,
                       QWidget* parent)
    : QMainWindow(parent), panel_(std::move(panel)), makeMidiService_(std::move(makeMidiService)) {
    setWindowTitle("Tarnwell");
    setCentralWidget(withGround(new StartupView));

    QMenu* help = menuBar()->addMenu("Help");
    QAction* about = help->addAction("About Tarnwell");
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] {
        // Opened after the menu action has finished.
        QPointer<MainWindow> self(this);
        panel_.queue->post([self] {
            if (self) {
                self->showAboutWindow();
            }
        });
    });
    buildViewMenu(help);
}

void MainWindow::buildViewMenu(QMenu* before) {
    midiMonitor_ = new MidiMonitorDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, midiMonitor_);
    midiMonitor_->hide();
    QMenu* view = new QMenu("View", this);
    menuBar()->insertMenu(before->menuAction(), view);
    QAction* monitor = midiMonitor_->toggleViewAction();
    monitor->setText("MIDI Monitor");
    monitor->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    monitor->setStatusTip("Show every NRPN sequence the panel sends");
    view->addAction(monitor);
}

MidiMonitorDock* MainWindow::midiMonitor() const {
    return midiMonitor_;
}

MidiActivityView* MainWindow::midiActivity() const {
    return midiActivity_;
}

std::shared_ptr<MidiManager> MainWindow::midiManager() const {
    return content_ ? content_->controller().sharedMidiManager() : nullptr;
}

void MainWindow::installMidiActivity() {
    const auto manager = midiManager();
    if (!manager || midiActivity_) {
        return;
    }
    {
        QSettings settings;
        manager->setLinkChoices(loadLinkChoices(settings));
    }
    midiActivity_ = new MidiActivityView(manager);
    statusBar()->addPermanentWidget(midiActivity_);
    midiMonitor_->setMidiManager(manager);
    // Held by the slot, which lives as long as the view.
    auto saved = std::make_shared<Connection>();
    *saved = manager->changed.connect([manager = manager.get()](MidiManagerChange change) {
        if (change == MidiManagerChange::link) {
            QSettings settings;
            saveLinkChoices(settings, manager->linkChoices());
        }
    });
    connect(midiActivity_, &QObject::destroyed, this, [saved] { saved->disconnect(); });
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (startupScheduled_) {
        return;
    }
    startupScheduled_ = true;
    QPointer<MainWindow> self(this);
    panel_.queue->postAfter(kStartupDelay, [self] {
        if (self) {
            self->finishStartup();
        }
    });
}

void MainWindow::finishStartup() {
    if (!isFirstLaunch_) {
        return;
    }
    isFirstLaunch_ = false;
    PanelEnvironment panel = panel_;
    panel.midiService = makeMidiService_ ? makeMidiService_() : nullptr;
    content_ = new ContentView(std::move(panel));
    QWidget* root = withGround(content_);
    setCentralWidget(root);
    // Shown now rather than on the layout's next pass, so the destination
    // picker appears (and connects) within this turn.
    root->show();
    installMidiActivity();
    fitToScreen();
    Q_EMIT controllerWindowShown();
}

void MainWindow::fitToScreen() {
    QSize wanted = content_->sizeHint() +
                   QSize(0, menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    if (const QScreen* screen = this->screen()) {
        wanted = wanted.boundedTo(screen->availableGeometry().size());
    }
    resize(wanted);
}

void MainWindow::showAboutWindow() {
    if (!about_) {
        auto* window = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint |
                                                Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        window->setObjectName("AboutWindow");
        window->setWindowTitle("Tarnwell");
        window->setFixedSize(480, 300);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new AboutView(window));
        // Closing only hides it; the next opening shows it where it was left.
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setAttribute(Qt::WA_QuitOnClose, false);
        if (const QScreen* screen = this->screen()) {
            window->move(screen->availableGeometry().center() - window->rect().center());
        }
        about_ = window;
        connect(this, &QObject::destroyed, window, &QObject::deleteLater);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

}  // namespace tarnwell
