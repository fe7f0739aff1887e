// The menus, their shortcuts, and what the panel remembers between runs.
#include "gui_harness.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

class MenusTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsCarryThePlatformShortcutsAndUndoNamesWhatItGivesBack() {
        WindowHarness run;
        const PanelActions& a = run.actions();
        QStringList menus;
        for (QAction* menu : run.window().menuBar()->actions()) {
            menus << menu->text().remove('&');
        }
        QCOMPARE(menus, (QStringList{"File", "Edit", "Controller", "View", "Help"}));
        QCOMPARE(a.controllerMappings->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
        QCOMPARE(a.savePreset->shortcut(), QKeySequence(QKeySequence::Save));
        QCOMPARE(a.importPresets->shortcut(), QKeySequence(QKeySequence::Open));
        QCOMPARE(a.savePresetAs->shortcut(), QKeySequence(QKeySequence::SaveAs));
        QCOMPARE(a.exportPresets->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
        QCOMPARE(a.quit->shortcut(), QKeySequence(QKeySequence::Quit));
        QCOMPARE(a.undo->shortcut(), QKeySequence(QKeySequence::Undo));
        QCOMPARE(a.redo->shortcut(), QKeySequence(QKeySequence::Redo));
        QVERIFY(!a.undo->isEnabled());

        a.dice->trigger();
        QCOMPARE(a.undo->text(), QString("Undo dice"));
        a.undo->trigger();
        QCOMPARE(run.controller().sliderValues(), std::vector<double>(42, 0.0));
        QCOMPARE(a.redo->text(), QString("Redo dice"));
        QVERIFY(!a.undo->isEnabled());

        run.service->clearRecorded();
        a.sendAll->trigger();
        QCOMPARE(run.sent().size(), std::size_t{56});
        a.savePreset->trigger();
        QVERIFY(std::filesystem::exists(run.folder / "presets.json"));
        a.importPresets->trigger();
        QVERIFY(run.chooser.answer(std::nullopt));  // the open dialog was shown
    }

    // A key bound twice is ambiguous: Qt runs neither. The docks' toggles count too.
    void noTwoCommandsShareAKey() {
        WindowHarness run;
        QHash<QString, QString> boundTo;
        for (const QAction* action : run.window().findChildren<QAction*>()) {
            for (const QKeySequence& keys : action->shortcuts()) {
                const QString key = keys.toString(QKeySequence::PortableText);
                const QString name = action->text().remove('&');
                QVERIFY2(!boundTo.contains(key),
                         qPrintable(QString("%1 is bound to both \"%2\" and \"%3\"")
                                        .arg(key, boundTo.value(key), name)));
                boundTo.insert(key, name);
            }
        }
        // The monitor's and the morph's toggles are among them.
        QCOMPARE(boundTo.value("Ctrl+Shift+M"), QString("MIDI Monitor"));
        QCOMPARE(boundTo.value("Ctrl+Shift+O"), QString("Morph"));
        // The keys every desktop has; Save As and Quit have a standard key only on some.
        QVERIFY(boundTo.size() >= 14);
    }

    void destinationAndOptionsAreRememberedByName() {
        test::TempDir folder;
        auto service = std::make_shared<LoopbackMidiService>();
        service->addDestination("First");
        service->addDestination("Second");
        {
            WindowHarness run({.service = service, .folder = &folder, .synth = false});
            QCOMPARE(run.status(), QString("First"));
            Q_EMIT run.view->destinationPicker()->activated(1);
            run.queue.runPending();
            QCOMPARE(run.status(), QString("Second"));
            run.actions().sendPanelOnConnect->setChecked(true);
            run.app->shutDown();
        }
        // The next run lists the destinations the other way round: the name decides.
        auto later = std::make_shared<LoopbackMidiService>();
        const EndpointRef again = later->addDestination("Second");
        later->addDestination("First");
        WindowHarness run({.service = later, .folder = &folder, .synth = false});
        QCOMPARE(run.status(), QString("Second"));
        QVERIFY(run.actions().sendPanelOnConnect->isChecked());
        QCOMPARE(test::sentTo(*later, again).size(),
                 std::size_t{56});  // the option sends the panel

        // Remembered but absent: nothing else is taken for it until it appears.
        test::TempDir other;
        {
            WindowHarness first({.service = later, .folder = &other, .synth = false});
            first.app->shutDown();
        }
        auto without = std::make_shared<LoopbackMidiService>();
        without->addDestination("First");
        WindowHarness waiting({.service = without, .folder = &other, .synth = false});
        QCOMPARE(waiting.status(), QString("Not Connected"));
        QCOMPARE(waiting.view->destinationPicker()->currentIndex(), -1);
        without->addDestination("Second");
        waiting.replug();
        QCOMPARE(waiting.status(), QString("Second"));
    }

    void savedPresetsComeBackAtStartOnlyWhenAskedAndOnlyWhole() {
        test::TempDir folder;
        MidiSliderPreset stored;
        stored.values[0] = 123.0;
        test::writeText(folder.path() / "presets.json", *encodePresetFile({stored, stored}).text);
        {
            WindowHarness run({.folder = &folder});
            QCOMPARE(run.presets().presets().size(), std::size_t{100});
            run.actions().restorePresetsAtStart->setChecked(true);
            run.app->shutDown();
        }
        {
            WindowHarness run({.folder = &folder});
            QCOMPARE(run.presets().presets().size(), std::size_t{2});
            // The picker follows the list it restored, not the 100 it was built with.
            QCOMPARE(run.view->presetPicker()->count(), 2);
            QCOMPARE(run.view->presetPicker()->currentIndex(), 0);
            QCOMPARE(run.controller().sliderValues()[0], 0.0);  // nothing recalled
            QVERIFY(run.service->deliveries().empty());         // nothing sent
            run.actions().savePreset->trigger();  // continues the file it read: none is kept aside
            QVERIFY(!run.notice().contains("kept in"));
            run.app->shutDown();
        }
        test::writeText(folder.path() / "presets.json", "[{\"values\":[1]}]");
        WindowHarness run({.folder = &folder});
        QCOMPARE(run.presets().presets().size(), std::size_t{100});
        QVERIFY(run.notice().startsWith("Saved presets not restored: "));
    }

    void aSynthSwitchedOffAndOnIsSentThePanelOnceTheOptionIsTicked() {
        WindowHarness run;
        const auto powerCycle = [&run] {
            run.service->removeDestination(run.synth);
            run.replug();
            QCOMPARE(run.status(), QString("Synth (unavailable)"));
            run.service->clearRecorded();
            run.service->restoreDestination(run.synth, "Synth");
            run.replug();
            QCOMPARE(run.status(), QString("Synth"));
        };
        QVERIFY(!run.actions().sendPanelOnConnect->isChecked());
        powerCycle();
        QVERIFY(run.sent().empty());  // the option is off: nothing on its own

        // Ticked, it holds at once: the synth back on the same port hears the whole panel.
        run.actions().sendPanelOnConnect->setChecked(true);
        QVERIFY(run.sent().empty());  // ticking alone sends nothing
        for (int again = 0; again < 2; ++again) {
            powerCycle();
            QCOMPARE(run.sent().size(), std::size_t{56});
        }
        run.actions().sendPanelOnConnect->setChecked(false);
        powerCycle();
        QVERIFY(run.sent().empty());
    }
};

QTEST_MAIN(MenusTest)
#include "menus_test.moc"
