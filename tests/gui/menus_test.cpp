// The menus, their shortcuts, and what the panel remembers between runs.
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QtTest>

#include "core/panel/preset_file.hpp"
#include "gui_harness.hpp"

using namespace tarnwell;
using tarnwell::test::Sent;

namespace {

// A run of the program over `service`, remembering in `folder`, past its
// start-up screen; a second run over the same folder reads what the first
// remembered.
struct Run {
    Run(std::shared_ptr<LoopbackMidiService> midi, const test::TempDir& folder)
        : service(std::move(midi)) {
        AppEnvironment environment;
        environment.makeMidiService = [this] { return service; };
        environment.queue = &queue;
        environment.random = &random;
        environment.fileChooser = &chooser;
        const auto documents = folder.path();
        environment.documentsFolder = [documents] { return std::optional(documents); };
        environment.settingsFile =
            QString::fromStdString((folder.path() / "settings.ini").string());
        app = std::make_unique<Application>(environment);
        app->start();
        queue.advance(MainWindow::kStartupDelay);
        app->tickTimer()->stop();
        queue.runPending();
    }
    const PanelActions& actions() const { return app->window().actions(); }

    std::shared_ptr<LoopbackMidiService> service;
    ManualQueue queue;
    test::SeededRandom random;
    test::FakeFileChooser chooser;
    std::unique_ptr<Application> app;
};

}  // namespace

class MenusTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsCarryThePlatformShortcutsAndUndoNamesWhatItGivesBack();
    void destinationWindowAndOptionsAreRememberedByName();
    void savedPresetsComeBackAtStartOnlyWhenAskedAndOnlyWhole();
};

void MenusTest::commandsCarryThePlatformShortcutsAndUndoNamesWhatItGivesBack() {
    test::TempDir folder;
    auto service = std::make_shared<LoopbackMidiService>();
    const EndpointRef synth = service->addDestination("Synth");
    Run run(service, folder);
    const PanelActions& a = run.actions();
    QStringList menus;
    for (QAction* menu : run.app->window().menuBar()->actions()) {
        menus << menu->text().remove('&');
    }
    QCOMPARE(menus, (QStringList{"File", "Edit", "View", "Help"}));
    QCOMPARE(a.savePreset->shortcut(), QKeySequence(QKeySequence::Save));
    QCOMPARE(a.importPresets->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(a.exportPresets->shortcut(), QKeySequence(QKeySequence::SaveAs));
    QCOMPARE(a.quit->shortcut(), QKeySequence(QKeySequence::Quit));
    QCOMPARE(a.undo->shortcut(), QKeySequence(QKeySequence::Undo));
    QCOMPARE(a.redo->shortcut(), QKeySequence(QKeySequence::Redo));
    QVERIFY(!a.undo->isEnabled());

    a.dice->trigger();
    QCOMPARE(a.undo->text(), QString("Undo dice"));
    service->clearRecorded();
    a.undo->trigger();
    const auto undone = test::sentTo(*service, synth);
    QCOMPARE(undone.size(), std::size_t{42});
    QCOMPARE(undone.front(), (Sent{1, 0}));
    QCOMPARE(a.redo->text(), QString("Redo dice"));
    QVERIFY(!a.undo->isEnabled());

    service->clearRecorded();
    a.sendAll->trigger();
    QCOMPARE(test::sentTo(*service, synth).size(), std::size_t{56});
    a.savePreset->trigger();
    QVERIFY(std::filesystem::exists(folder.path() / "presets.json"));
    a.importPresets->trigger();
    QVERIFY(run.chooser.answer(std::nullopt));  // the open dialog was shown
}

void MenusTest::destinationWindowAndOptionsAreRememberedByName() {
    test::TempDir folder;
    auto service = std::make_shared<LoopbackMidiService>();
    service->addDestination("First");
    service->addDestination("Second");
    {
        Run run(service, folder);
        QCOMPARE(run.app->contentView()->statusText()->text(), QString("First"));
        Q_EMIT run.app->contentView()->destinationPicker()->activated(1);
        run.queue.runPending();
        QCOMPARE(run.app->contentView()->statusText()->text(), QString("Second"));
        run.actions().sendPanelOnConnect->setChecked(true);
        run.app->window().setGeometry(40, 50, 700, 500);
        run.app->shutDown();
    }
    // The next run lists the destinations the other way round: the name
    // decides, not the row.
    auto later = std::make_shared<LoopbackMidiService>();
    const EndpointRef again = later->addDestination("Second");
    later->addDestination("First");
    Run run(later, folder);
    QCOMPARE(run.app->contentView()->statusText()->text(), QString("Second"));
    QVERIFY(run.actions().sendPanelOnConnect->isChecked());
    QCOMPARE(test::sentTo(*later, again).size(), std::size_t{56});  // the option sends the panel
    QCOMPARE(run.app->window().size(), QSize(700, 500));

    // Remembered but absent: nothing else is taken for it until it appears.
    test::TempDir other;
    {
        Run first(later, other);
        first.app->shutDown();
    }
    auto without = std::make_shared<LoopbackMidiService>();
    without->addDestination("First");
    Run waiting(without, other);
    QCOMPARE(waiting.app->contentView()->statusText()->text(), QString("Not Connected"));
    QCOMPARE(waiting.app->contentView()->destinationPicker()->currentIndex(), -1);
    without->addDestination("Second");
    without->notifySetupChanged();
    waiting.queue.runPending();
    QCOMPARE(waiting.app->contentView()->statusText()->text(), QString("Second"));
}

void MenusTest::savedPresetsComeBackAtStartOnlyWhenAskedAndOnlyWhole() {
    test::TempDir folder;
    MidiSliderPreset stored;
    stored.values[0] = 123.0;
    test::writeText(folder.path() / "presets.json", *encodePresetFile({stored, stored}).text);
    auto service = std::make_shared<LoopbackMidiService>();
    {
        Run run(service, folder);
        QCOMPARE(run.app->model()->presets().presets().size(), std::size_t{100});
        run.actions().restorePresetsAtStart->setChecked(true);
        run.app->shutDown();
    }
    {
        Run run(service, folder);
        QCOMPARE(run.app->model()->presets().presets().size(), std::size_t{2});
        QCOMPARE(run.app->model()->controller().sliderValues()[0], 0.0);  // nothing recalled
        QVERIFY(run.service->deliveries().empty());                       // nothing sent
        run.app->shutDown();
    }
    test::writeText(folder.path() / "presets.json", "[{\"values\":[1]}]");
    Run run(service, folder);
    QCOMPARE(run.app->model()->presets().presets().size(), std::size_t{100});
    QVERIFY(
        run.app->contentView()->noticeText()->text().startsWith("Saved presets not restored: "));
}

QTEST_MAIN(MenusTest)
#include "menus_test.moc"
