#include "ui/app/main_window.hpp"

#include <QApplication>
#include <QDockWidget>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "core/base/main_queue.hpp"
#include "ui/app/art_view.hpp"
#include "ui/midi/midi_activity_view.hpp"
#include "ui/midi/midi_monitor_dock.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

// The window's ground: its usual colour lightened (see theme). The
// content scrolls when the screen is smaller than the panel (a laptop at 200%
// scale), so every control stays reachable.
QWidget* withGround(QWidget* content) {
    auto* root = new QScrollArea;
    root->setFrameShape(QFrame::NoFrame);
    root->setWidgetResizable(true);
    root->setFocusPolicy(Qt::NoFocus);
    QPalette palette = root->palette();
    palette.setColor(QPalette::Window, theme::groundColour(palette.color(QPalette::Window)));
    root->setPalette(palette);
    root->setAutoFillBackground(true);
    // setWidget turns the content's own fill on. The panel inherits the
    // ground above and fills with it; the start-up screen keeps its own white
    // ground (its pictures are drawn on white).
    root->setWidget(content);
    root->viewport()->setAutoFillBackground(false);
    return root;
}

}  // namespace

MainWindow::MainWindow(MainQueue& queue, QWidget* parent) : QMainWindow(parent), queue_(queue) {
    setWindowTitle(tr("Tarnwell"));
    setCentralWidget(withGround(new StartupView));

    buildMenus();
}

void MainWindow::buildMenus() {
    const auto add = [this](QMenu* menu, const QString& text, const QString& tip,
                            QKeySequence keys = {}) {
        QAction* action = menu->addAction(text);
        action->setStatusTip(tip);
        action->setShortcut(keys);
        action->setEnabled(false);
        return action;
    };
    QMenu* file = menuBar()->addMenu(tr("&File"));
    actions_.savePreset =
        add(file, tr("Save Preset"),
            tr("Store the panel in the selected preset and write the presets file"),
            QKeySequence::Save);
    actions_.savePresetAs =
        add(file, tr("Save Preset As..."),
            tr("Store the panel in a slot you choose, under a name, without recalling anything"),
            QKeySequence::SaveAs);
    actions_.importPresets =
        add(file, tr("Import Presets..."), tr("Replace the presets with those of a file"),
            QKeySequence::Open);
    actions_.exportPresets = add(file, tr("Export Presets..."), tr("Write every preset to a file"),
                                 QKeySequence(Qt::CTRL | Qt::Key_E));
    file->addSeparator();
    actions_.sendAll = add(file, tr("Send All to Synth"),
                           tr("Send every value, button and switch of the panel again"),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    actions_.sendPanelOnConnect =
        add(file, tr("Send the Panel When a Destination Connects"),
            tr("Send every value of the panel whenever a destination becomes connected"));
    actions_.restorePresetsAtStart = add(file, tr("Restore Saved Presets at Start"),
                                         tr("Read the stored presets file when the panel starts"));
    actions_.resumeAtStart =
        add(file, tr("Resume Where You Left Off"),
            tr("Start with the sound the panel had when it was closed, without sending it"));
    for (QAction* option :
         {actions_.sendPanelOnConnect, actions_.restorePresetsAtStart, actions_.resumeAtStart}) {
        option->setCheckable(true);
    }
    file->addSeparator();
    actions_.quit = add(file, tr("Quit"), tr("End Tarnwell"), QKeySequence::Quit);
    actions_.quit->setMenuRole(QAction::QuitRole);
    actions_.quit->setEnabled(true);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    actions_.undo = add(edit, tr("Undo"), tr("Take back the last change"), QKeySequence::Undo);
    actions_.redo =
        add(edit, tr("Redo"), tr("Make the change taken back again"), QKeySequence::Redo);
    edit->addSeparator();
    actions_.revertToSaved =
        add(edit, tr("Revert to Saved"), tr("Recall the selected preset again, as it was saved"),
            QKeySequence(Qt::CTRL | Qt::Key_R));
    actions_.compare = add(edit, tr("Compare with Saved"),
                           tr("Switch between the edited sound and the selected preset as saved"),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    actions_.compare->setCheckable(true);
    actions_.renamePreset =
        add(edit, tr("Rename Preset..."), tr("Name the selected preset"), QKeySequence(Qt::Key_F2));
    edit->addSeparator();
    actions_.calibrate =
        add(edit, tr("calibrate"), tr("Set all 42 values at random and send them"));
    actions_.dice = add(edit, tr("dice"), tr("Set all 42 values at random and send them"));
    actions_.mutate = add(edit, tr("Mutate"),
                          tr("Move every unlocked parameter a random amount within the Mutate "
                             "percentage of its range, and send what changed"),
                          QKeySequence(Qt::CTRL | Qt::Key_U));
    actions_.mutateSwitches =
        add(edit, tr("Mutate Switches Too"),
            tr("Let Mutate flip the five sound switches, each with half the percentage's chance"));
    actions_.mutateSwitches->setCheckable(true);
    actions_.lockParameter =
        add(edit, tr("Lock Parameter"),
            tr("Lock the focused parameter against Mutate and Morph, or unlock it"),
            QKeySequence(Qt::CTRL | Qt::Key_L));
    actions_.lockParameter->setCheckable(true);

    // A hardware controller playing the panel; its input source is chosen
    // beside "MIDI Output".
    QMenu* controller = menuBar()->addMenu(tr("&Controller"));
    actions_.controllerMappings =
        add(controller, tr("Controller Mappings..."),
            tr("Show which knobs, keys and pads move which controls, and change them"),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    controller->addSeparator();
    actions_.passThru =
        add(controller, tr("Pass Other Messages to the Synth"),
            tr("Send on, unchanged, what the controller plays that no mapping takes: notes, "
               "sustain, pitch bend"));
    actions_.passThru->setCheckable(true);
    controller->addSeparator();
    actions_.importMappings = add(controller, tr("Import Mappings..."),
                                  tr("Replace the controller mappings with those of a file"));
    actions_.exportMappings =
        add(controller, tr("Export Mappings..."), tr("Write the controller mappings to a file"));

    QMenu* help = menuBar()->addMenu(tr("Help"));
    actions_.about = help->addAction(tr("About Tarnwell"));
    QAction* about = actions_.about;
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] {
        // Opened after the menu action has finished.
        QPointer<MainWindow> self(this);
        queue_.post([self] {
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
    QMenu* view = new QMenu(tr("&View"), this);
    menuBar()->insertMenu(before->menuAction(), view);
    QAction* monitor = midiMonitor_->toggleViewAction();
    monitor->setText(tr("MIDI Monitor"));
    monitor->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    monitor->setStatusTip(tr("Show every NRPN sequence the panel sends"));
    view->addAction(monitor);

    morphDock_ = new QDockWidget(tr("Morph"), this);
    morphDock_->setObjectName("MorphDock");
    addDockWidget(Qt::BottomDockWidgetArea, morphDock_);
    morphDock_->hide();
    actions_.morph = morphDock_->toggleViewAction();
    actions_.morph->setText(tr("Morph"));
    actions_.morph->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    actions_.morph->setStatusTip(
        tr("Show the morph between two presets, with every unlocked parameter between them"));
    actions_.morph->setEnabled(false);
    view->addAction(actions_.morph);
}

void MainWindow::showMidiActivity(MidiActivityView* activity) {
    if (activity == nullptr || midiActivity_ != nullptr) {
        return;
    }
    midiActivity_ = activity;
    statusBar()->addPermanentWidget(midiActivity_);
}

ContentView* MainWindow::contentView() const {
    return content_;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (startupScheduled_) {
        return;
    }
    startupScheduled_ = true;
    QPointer<MainWindow> self(this);
    queue_.postAfter(kStartupDelay, [self] {
        if (self) {
            self->finishStartup();
        }
    });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    Q_EMIT closing();
    QMainWindow::closeEvent(event);
}

void MainWindow::finishStartup() {
    if (!isFirstLaunch_) {
        return;
    }
    isFirstLaunch_ = false;
    Q_EMIT startupFinished();
}

void MainWindow::showPanel(ContentView* content) {
    content_ = content;
    QWidget* root = withGround(content_);
    setCentralWidget(root);
    // Shown now rather than on the layout's next pass, so the destination
    // picker appears (and connects) within this turn.
    root->show();
    if (fitsToPanel_) {
        fitToScreen();
    }
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
        window->setWindowTitle(tr("Tarnwell"));
        window->setFixedSize(theme::metrics::kAboutWidth, theme::metrics::kAboutHeight);
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
