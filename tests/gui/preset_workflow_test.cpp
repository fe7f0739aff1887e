// The preset workflow as a musician drives it: Save Preset As, names, the modified marker, Compare
// and Revert; the live value of a ball on its slider; the sound resumed next run.
#include <QDialog>
#include <QMessageBox>

#include "gui_harness.hpp"

namespace tarnwell {

using namespace test;

namespace {

// The dialog of that name once it shows; null (and the test fails) if it never does.
template <typename T = QDialog>
T* openDialog(WindowHarness& run, const QString& name) {
    T* found = nullptr;
    const bool shown = QTest::qWaitFor(
        [&] { return (found = run.window().findChild<T*>(name)) && found->isVisible(); }, 5000);
    if (!shown) {
        QTest::qFail(qPrintable("no dialog " + name), __FILE__, __LINE__);
        return nullptr;
    }
    return found;
}

void pressDialogButton(QDialog* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text().remove('&') == text) {
            button->click();
            return;
        }
    }
    QFAIL(qPrintable("no button " + text));
}

// Saves the panel through the dialog as the musician would.
void saveAs(WindowHarness& run, int slot, const QString& name) {
    run.actions().savePresetAs->trigger();
    QDialog* dialog = openDialog(run, "SavePresetAsDialog");
    dialog->findChild<QComboBox*>("presetSlot")->setCurrentIndex(slot);
    dialog->findChild<QLineEdit*>("presetName")->setText(name);
    pressDialogButton(dialog, "Save");
}

}  // namespace

class PresetWorkflowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void saveAsStoresWithoutSendingAndAsksBeforeReplacingAnotherSound() {
        WindowHarness run;
        QComboBox* picker = run.view->presetPicker();
        run.controller().editParameter(0, 1234.0);
        QCOMPARE(picker->currentText(), QString("Preset 1 *"));
        QVERIFY(run.window().isWindowModified());
        run.service->clearRecorded();

        saveAs(run, 4, QStringLiteral("Glass Bells"));
        QVERIFY(run.sent().empty());
        QCOMPARE(run.presets().selectedPresetIndex(), std::int64_t{4});
        QCOMPARE(picker->currentText(), QString("5  Glass Bells"));
        QVERIFY(run.window().windowTitle().startsWith("Glass Bells"));
        QVERIFY(!run.window().isWindowModified());
        QCOMPARE(run.controller().sliderValues()[0], 1234.0);

        // From another slot, storing over Glass Bells asks first; Cancel keeps it.
        run.presets().setSelectedPresetIndex(0);
        run.controller().editParameter(0, 77.0);
        saveAs(run, 4, QString());
        auto* question = openDialog<QMessageBox>(run, "replacePresetQuestion");
        QCOMPARE(question->text(), QString("Replace 'Glass Bells'?"));
        question->button(QMessageBox::Cancel)->click();
        QCOMPARE(run.presets().presets()[4].values[0], 1234.0);
        QCOMPARE(run.presets().selectedPresetIndex(), std::int64_t{0});

        saveAs(run, 4, QStringLiteral("Dark Bells"));
        pressDialogButton(openDialog<QMessageBox>(run, "replacePresetQuestion"), "Replace");
        QCOMPARE(run.presets().presets()[4].values[0], 77.0);
        QCOMPARE(picker->currentText(), QString("5  Dark Bells"));
        QVERIFY2(run.sent().size() == 51u, "only the recall of slot 1 and the edit sent anything");
    }

    void compareRevertAndRenameFromTheButtonsMenusAndPicker() {
        WindowHarness run;
        const PanelActions& a = run.actions();
        auto* compare = run.view->findChild<QPushButton*>("compare");
        QVERIFY(compare && !compare->isEnabled());
        run.controller().editParameter(2, 300.0);
        run.actions().savePreset->trigger();
        run.controller().editParameter(2, 900.0);
        QVERIFY(compare->isEnabled());

        // The button, by mouse and by an assistive technology's toggle.
        run.service->clearRecorded();
        QTest::mouseClick(compare, Qt::LeftButton);
        QVERIFY(compare->isChecked() && a.compare->isChecked());
        QCOMPARE(run.sent(), (std::vector<test::Sent>{{3, 300}}));
        QCOMPARE(run.field(2)->text(), QString("300"));
        compare->toggle();
        QVERIFY(!compare->isChecked() && !run.presets().isComparing());
        QCOMPARE(run.sent().back(), (test::Sent{3, 900}));

        a.revertToSaved->trigger();
        QCOMPARE(run.controller().sliderValues()[2], 300.0);
        QVERIFY(!compare->isEnabled());
        QCOMPARE(a.undo->text(), QString("Undo revert"));

        // The picker's context menu holds rename; the name shows in the picker.
        QVERIFY(run.view->presetPicker()->actions().contains(a.renamePreset));
        a.renamePreset->trigger();
        QDialog* rename = openDialog(run, "RenamePresetDialog");
        rename->findChild<QLineEdit*>("presetName")->setText(QStringLiteral("  Bass \u266B  "));
        pressDialogButton(rename, "Rename");
        QCOMPARE(run.view->presetPicker()->currentText(), QStringLiteral("1  Bass \u266B"));
        QCOMPARE(run.presets().presets()[0].values[2], 300.0);
    }

    void aRunningBallShowsWhatItSendsWithoutChangingTheStoredValue() {
        WindowHarness run;
        run.controller().editParameter(0, 100.0);
        ParameterSlider* slider = run.slider(0);
        const int knob = slider->value();
        QVERIFY(!slider->liveValue());

        PhysicsSimulation& physics = run.model().physics();
        QCOMPARE(physics.balls()[0].assignedParam, std::int64_t{1});
        physics.toggleRunning(0);
        QVERIFY(slider->liveValue());  // at once when the ball starts
        // Then it follows the ball, a few times a second.
        const auto showsWhatIsSent = [&] {
            physics.timerTick();
            const auto sent = PhysicsSimulation::sentValue(physics.balls()[0]);
            return run.sent().back() == test::Sent{1, sent} &&
                   slider->liveValue() == static_cast<double>(sent);
        };
        bool shown = false;  // evaluated once more after the wait: the tick must not be
        QTRY_VERIFY_WITH_TIMEOUT(shown || (shown = showsWhatIsSent()), 10000);
        QVERIFY(!slider->liveMarkerRect().isEmpty());
        QCOMPARE(slider->value(), knob);
        // Off screen the marker still follows; back on screen it is drawn there.
        QTabWidget* tabs = run.view->tabs();
        tabs->setCurrentIndex(tabs->count() - 1);
        QVERIFY(!slider->isVisible());
        shown = false;
        QTRY_VERIFY_WITH_TIMEOUT(shown || (shown = showsWhatIsSent()), 10000);
        tabs->setCurrentIndex(0);
        const QRect marker = slider->liveMarkerRect();
        QCOMPARE(slider->grab().toImage().pixelColor(marker.center().x(), marker.bottom() - 1),
                 slider->palette().color(QPalette::Highlight));
        QCOMPARE(run.controller().sliderValues()[0], 100.0);

        run.actions().savePreset->trigger();
        QCOMPARE(run.presets().presets()[0].values[0], 100.0);  // the stored value, not the ball's
        physics.toggleRunning(0);
        QVERIFY(!slider->liveValue());
    }

    void theSoundIsResumedNextRunWithoutSendingWhenAskedFor() {
        test::TempDir folder;
        {
            WindowHarness run({.folder = &folder});
            run.actions().resumeAtStart->setChecked(true);
            run.controller().editParameter(7, 4321.0);
            run.controller().toggleLink(2);
            run.model().physics().editBall(1, [](Ball& ball) { ball.ampX = 2.5; });
            run.presets().setSelectedPresetIndex(3);
            run.controller().editParameter(8, 8.0);
            run.app->shutDown();
        }
        {
            auto service = std::make_shared<LoopbackMidiService>();
            WindowHarness run({.service = service, .folder = &folder});
            QVERIFY(run.sent().empty());
            QCOMPARE(run.controller().sliderValues()[8], 8.0);
            QVERIFY(run.controller().linkedTabs()[2]);
            QCOMPARE(run.model().physics().balls()[1].ampX, 2.5);
            QCOMPARE(run.presets().selectedPresetIndex(), std::int64_t{3});
            QVERIFY(run.notice().startsWith("Resumed where you left off"));
            run.actions().resumeAtStart->setChecked(false);
            run.app->shutDown();
        }
        {
            // A damaged file is reported and the panel starts afresh.
            test::writeText(folder / "resume.json", "{\"values\": [1, 2");
            WindowHarness run({.folder = &folder});
            QCOMPARE(run.controller().sliderValues()[8], 0.0);  // not asked for: not read
            run.actions().resumeAtStart->setChecked(true);
            run.app->shutDown();
            test::writeText(folder / "resume.json", "{\"values\": [1, 2");
            WindowHarness again({.folder = &folder});
            QCOMPARE(again.controller().sliderValues()[8], 0.0);
            QVERIFY(again.notice().contains("was not restored"));
        }
    }
};

}  // namespace tarnwell

QTEST_MAIN(tarnwell::PresetWorkflowTest)
#include "preset_workflow_test.moc"
