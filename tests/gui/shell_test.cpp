// The application shell: the start-up screen, the switch to the controller
// window and the About window.
#include <algorithm>

#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include "support/panel_harness.hpp"
#include "support/temp_dir.hpp"
#include "testing/loopback_service.hpp"
#include "testing/manual_queue.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"

using namespace tarnwell;

namespace {

QAction* aboutAction(MainWindow& window) {
    for (QAction* menu : window.menuBar()->actions()) {
        for (QAction* item : menu->menu() ? menu->menu()->actions() : QList<QAction*>{}) {
            if (menu->text() == "Help" && item->text() == "About Tarnwell") {
                return item;
            }
        }
    }
    return nullptr;
}

int aboutWindows() {
    return static_cast<int>(std::ranges::count_if(QApplication::topLevelWidgets(), [](QWidget* w) {
        return w->objectName() == "AboutWindow";
    }));
}

// The program on a manual queue; MIDI comes from `service`.
struct Shell {
    Shell() : app(environment()), window(app.window()) {}

    AppEnvironment environment() {
        AppEnvironment env;
        env.queue = &queue;
        env.random = &random;
        env.settingsFile = QString::fromStdString((folder.path() / "settings.ini").string());
        env.makeMidiService = [this] {
            ++midiServicesMade;
            return service;
        };
        return env;
    }

    test::TempDir folder;
    ManualQueue queue;
    test::SeededRandom random;
    std::shared_ptr<LoopbackMidiService> service = std::make_shared<LoopbackMidiService>();
    int midiServicesMade = 0;
    Application app;
    MainWindow& window;
};

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startupScreenGivesWayAfterOneAndAHalfSeconds();
    void aboutTwiceGivesOneWindowKeptWhereTheUserLeftIt();
};

void ShellTest::startupScreenGivesWayAfterOneAndAHalfSeconds() {
    Shell shell;
    shell.service->addDestination("Synth");
    shell.window.show();
    QVERIFY(shell.window.isFirstLaunch());
    QVERIFY(shell.window.findChild<QWidget*>("StartupView"));
    auto* title = shell.window.findChild<QLabel*>("title");
    QCOMPARE(title ? title->text() : QString(), QString("tarnwell!"));
    QVERIFY(!shell.window.findChild<QLabel*>("ascii")->pixmap().isNull());
    QVERIFY(!shell.window.findChild<QLabel*>("ascii1")->pixmap().isNull());

    shell.queue.advance(std::chrono::milliseconds(1499));
    QVERIFY(shell.window.isFirstLaunch());
    QCOMPARE(shell.midiServicesMade, 0);
    QVERIFY(!shell.service->clientName());  // no MIDI client during the start-up screen

    shell.queue.advance(std::chrono::milliseconds(1));
    QVERIFY(!shell.window.isFirstLaunch());
    QVERIFY(shell.window.contentView());
    QCOMPARE(shell.midiServicesMade, 1);
    QCOMPARE(shell.service->clientName(), std::optional<std::string>("MidiClient"));
    shell.queue.runPending();
    QCOMPARE(shell.window.contentView()->statusText()->text(), QString("Synth"));
    QVERIFY(shell.service->deliveries().empty());  // nothing is sent at start-up

    // On a screen smaller than the panel the window fits the screen and the
    // panel scrolls, so every control stays reachable.
    const QRect screen = shell.window.screen()->availableGeometry();
    auto* content = shell.window.contentView();
    if (content->sizeHint().height() > screen.height()) {
        QVERIFY(shell.window.height() <= screen.height());
        auto* scroll = qobject_cast<QScrollArea*>(shell.window.centralWidget());
        QVERIFY(scroll);
        QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
    }
}

void ShellTest::aboutTwiceGivesOneWindowKeptWhereTheUserLeftIt() {
    Shell shell;
    shell.window.show();
    QAction* about = aboutAction(shell.window);
    QVERIFY(about);
    about->trigger();
    QCOMPARE(aboutWindows(), 0);  // opened after the menu action has finished
    shell.queue.runPending();
    about->trigger();
    shell.queue.runPending();
    QCOMPARE(aboutWindows(), 1);
    QWidget* window = shell.window.aboutWindow();
    QCOMPARE(window->windowTitle(), QString("Tarnwell"));
    QCOMPARE(window->size(), QSize(480, 300));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);

    window->move(123, 77);
    window->close();
    QVERIFY(!window->isVisible());
    about->trigger();
    shell.queue.runPending();
    QCOMPARE(aboutWindows(), 1);
    QVERIFY(window->isVisible());
    QCOMPARE(window->pos(), QPoint(123, 77));
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
