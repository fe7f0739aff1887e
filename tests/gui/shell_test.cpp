// The application shell: the start-up screen, the switch to the controller window, About.
#include <algorithm>

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "gui_harness.hpp"
#include "ui/theme.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

// The colour the window shows at `point` of `widget`.
QColor shownAt(QMainWindow& window, QWidget* widget, QPoint point) {
    return window.grab().toImage().pixelColor(widget->mapTo(&window, point));
}

class ShellTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startupScreenGivesWayAfterOneAndAHalfSeconds() {
        WindowHarness shell({.pastStartup = false});
        auto* title = shell.window().findChild<QLabel*>("title");
        QCOMPARE(title ? title->text() : QString(), QString("tarnwell!"));
        QVERIFY(!shell.window().findChild<QLabel*>("ascii")->pixmap().isNull());

        shell.queue.advance(std::chrono::milliseconds(1499));
        QVERIFY(shell.window().isFirstLaunch());
        QVERIFY(!shell.service->clientName());  // no MIDI client during the start-up screen
        shell.queue.advance(std::chrono::milliseconds(1));
        QVERIFY(!shell.window().isFirstLaunch());
        QCOMPARE(shell.service->clientName(), std::optional<std::string>("MidiClient"));
        shell.queue.runPending();
        QCOMPARE(shell.window().contentView()->statusText()->text(), QString("Synth"));
        QVERIFY(shell.service->deliveries().empty());  // nothing is sent at start-up

        // On a screen smaller than the panel the window fits it and the panel scrolls.
        const QRect screen = shell.window().screen()->availableGeometry();
        if (shell.window().contentView()->sizeHint().height() > screen.height()) {
            QVERIFY(shell.window().height() <= screen.height());
            auto* scroll = qobject_cast<QScrollArea*>(shell.window().centralWidget());
            QVERIFY(scroll && scroll->verticalScrollBar()->maximum() > 0);
        }
    }

    void aboutTwiceGivesOneWindowKeptWhereTheUserLeftIt() {
        WindowHarness shell({.synth = false, .pastStartup = false});
        QAction* about = shell.window().actions().about;
        QCOMPARE(about->text(), QString("About Tarnwell"));
        QCOMPARE(shell.window().menuBar()->actions().back()->text(), QString("Help"));
        QVERIFY(shell.window().menuBar()->actions().back()->menu()->actions().contains(about));
        const auto aboutWindows = [] {
            return std::ranges::count_if(QApplication::topLevelWidgets(), [](QWidget* w) {
                return w->objectName() == "AboutWindow";
            });
        };
        about->trigger();
        QCOMPARE(aboutWindows(), 0);  // opened after the menu action has finished
        shell.queue.runPending();
        about->trigger();
        shell.queue.runPending();
        QCOMPARE(aboutWindows(), 1);
        QWidget* window = shell.window().aboutWindow();
        QCOMPARE(window->windowTitle(), QString("Tarnwell"));
        QCOMPARE(window->size(), QSize(480, 300));
        QCOMPARE(window->minimumSize(), window->maximumSize());

        window->move(123, 77);
        window->close();
        about->trigger();
        shell.queue.runPending();
        QCOMPARE(aboutWindows(), 1);
        QVERIFY(window->isVisible());
        QCOMPARE(window->pos(), QPoint(123, 77));
    }

    void startupScreenIsWhiteAndThePanelSitsOnTheLightenedGround() {
        WindowHarness shell({.pastStartup = false});
        MainWindow& window = shell.window();
        QWidget* startup = window.findChild<QWidget*>("StartupView");
        QVERIFY(startup != nullptr);
        // Beside the pictures, which are drawn on white too.
        QCOMPARE(shownAt(window, startup, QPoint(startup->width() - 3, 3)), theme::kArtGround);

        shell.queue.advance(MainWindow::kStartupDelay);
        shell.queue.runPending();
        ContentView* panel = window.contentView();
        QVERIFY(panel != nullptr);
        const QColor windowColour = window.palette().color(QPalette::Window);
        const QColor ground = theme::groundColour(windowColour);
        QVERIFY(ground != windowColour);  // the desktop's palette here is a light one
        // Left of the tabs, halfway down them: no control there, only the ground.
        const QPoint besideTabs(2, panel->tabs()->mapTo(panel, panel->tabs()->rect().center()).y());
        QCOMPARE(shownAt(window, panel, besideTabs), ground);
    }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
