// Exploring sounds: locks (Ctrl+L, Lock Unit, the control menu), Mutate with its reach, and the
// Morph panel driven by keyboard, mouse and assistive set-value; all of it remembered.
#include <numeric>

#include <QAccessibleValueInterface>
#include <QDockWidget>
#include <QMenu>
#include <QSpinBox>

#include "core/midi/nrpn.hpp"
#include "gui_harness.hpp"
#include "ui/control/control_menu.hpp"
#include "ui/panel/lock_mark.hpp"
#include "ui/panel/morph_view.hpp"

namespace tarnwell {

using namespace test;

namespace {

// Two named presets far apart in slots 1 and 2; the panel then holds a third sound.
void storeTwoSounds(WindowHarness& run) {
    Controller& c = run.controller();
    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        c.editParameter(i, 100.0 * static_cast<double>(i));
    }
    run.presets().savePresetAs(0, "Glass Bells");
    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        c.editParameter(i, 15000.0 - 300.0 * static_cast<double>(i));
    }
    c.toggleModButton(0);
    run.presets().savePresetAs(1, "Dark Drone");
    c.randomizeSliders("dice");
    run.queue.runPending();
}

}  // namespace

class ExploreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void locksFollowTheFocusedSliderAndLockUnitShowOnThePageAndAreRememberedNextRun() {
        test::TempDir folder;
        {
            WindowHarness run({.folder = &folder});
            QAction* lock = run.actions().lockParameter;
            MidiSliderView* bank = run.view->unitPage(0)->bank();
            ParameterSlider* slider = bank->sliderFor(2);
            QVERIFY(run.activate());

            run.view->presetPicker()->setFocus();
            QVERIFY2(!lock->isEnabled(), "no parameter has the focus");
            slider->setFocus();
            QVERIFY(lock->isEnabled());
            LockMark* mark = bank->lockMarkFor(2);
            const QColor ink = slider->palette().color(QPalette::WindowText);
            QVERIFY(!mark->isLocked() && !test::shows(mark, ink));
            QTest::keyClick(slider, Qt::Key_L, Qt::ControlModifier);
            QVERIFY(run.model().locks().isLocked(2) && lock->isChecked());
            QVERIFY(mark->isLocked() && test::shows(mark, ink));
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(slider);
            QVERIFY(a->text(QAccessible::Description).startsWith("Locked"));
            QCOMPARE(a->text(QAccessible::Name), slider->accessibleName());

            // The value field beside the slider is the same parameter.
            bank->fieldFor(2)->setFocus();
            QVERIFY(lock->isChecked());
            QTest::keyClick(bank->fieldFor(2), Qt::Key_L, Qt::ControlModifier);
            QVERIFY(!run.model().locks().isLocked(2));
            QVERIFY(!a->text(QAccessible::Description).startsWith("Locked"));
            lock->trigger();
            QVERIFY(run.model().locks().isLocked(2));

            // Lock Unit on Voice 2 by a click; unlocking one of its six takes the unit's mark off.
            UnitPageView* page = run.view->unitPage(1);
            page->lockUnitButton()->click();
            QVERIFY(run.model().locks().unitLocked(1));
            QVERIFY(page->lockUnitButton()->isChecked());
            QVERIFY(page->bank()->lockMarkFor(11)->isLocked());
            page->bank()->sliderFor(8)->setFocus();
            lock->trigger();
            QVERIFY(!page->lockUnitButton()->isChecked());
            page->lockUnitButton()->toggle();  // an assistive toggle
            QVERIFY(run.model().locks().unitLocked(1));
            run.model().locks().setLocked(40, true);
            QVERIFY(run.view->regenBank()->lockMarkFor(40)->isLocked());
            // The control menu of a slider or its field holds the same lock; a control that is
            // not a parameter has none. Presses it; says what it showed.
            const auto pressLockEntry = [&](QWidget* widget) {
                QMenu* menu =
                    run.app->controlMenus()->openMenu(widget, widget->mapToGlobal(QPoint(2, 2)));
                QAction* entry = menu ? menu->findChild<QAction*>("lockParameterEntry") : nullptr;
                const QString shown = !menu    ? "no menu"
                                      : !entry ? "none"
                                               : entry->text() + (entry->isChecked() ? " on" : "");
                if (entry) {
                    entry->trigger();
                }
                return menu ? (menu->close(), shown) : shown;
            };
            QCOMPARE(pressLockEntry(bank->sliderFor(4)), QString("Lock"));
            QVERIFY(run.model().locks().isLocked(4) && bank->lockMarkFor(4)->isLocked());
            QCOMPARE(pressLockEntry(bank->fieldFor(4)), QString("Lock on"));
            QVERIFY(!run.model().locks().isLocked(4));
            QCOMPARE(pressLockEntry(run.view->unitPage(0)->resetDacButton()), QString("none"));

            // A recall and a save neither take nor store locks.
            run.presets().savePreset(0);
            Q_EMIT run.view->presetPicker()->activated(3);
            QVERIFY(run.model().locks().isLocked(2));
            run.app->shutDown();
        }
        WindowHarness run({.folder = &folder});
        QCOMPARE(run.model().locks().lockedIndices(),
                 (std::vector<std::int64_t>{2, 6, 7, 8, 9, 10, 11, 40}));
        QVERIFY(run.view->unitPage(1)->lockUnitButton()->isChecked());
        QVERIFY(run.view->unitPage(0)->bank()->lockMarkFor(2)->isLocked());
    }

    void mutateFromTheMenuMovesOnlyUnlockedParametersWithinItsReachAndUndoesAsOne() {
        test::TempDir folder;
        {
            WindowHarness run({.folder = &folder});
            const PanelActions& actions = run.actions();
            QCOMPARE(actions.mutate->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
            QCOMPARE(run.view->mutateAmount()->value(), 10);
            QVERIFY2(run.find("Mutate") != nullptr, "a button beside dice");
            Controller& c = run.controller();
            for (std::int64_t i = 0; i < kParameterCount; ++i) {
                c.editParameter(i, 8000.0);
            }
            run.model().locks().setLocked(5, true);
            run.view->mutateAmount()->setValue(5);
            QCOMPARE(run.model().mutateOptions().percent, 5);
            run.service->clearRecorded();

            actions.mutate->trigger();
            QCOMPARE(actions.undo->text(), QString("Undo mutate"));
            QCOMPARE(run.queue.runPending(), std::size_t{0});
            const std::vector<double> after = c.sliderValues();
            QCOMPARE(after[5], 8000.0);
            for (std::size_t i = 0; i < after.size(); ++i) {
                QVERIFY2(std::abs(after[i] - 8000.0) <= 16383.0 * 0.05,
                         qPrintable(QString::number(i)));
            }
            const std::vector<Sent> sent = run.sent();
            QCOMPARE(sent.size(), std::size_t{41});
            QCOMPARE(sent.back(), (Sent{42, nrpnValueFromDouble(after[41])}));
            QCOMPARE(run.view->presetPicker()->currentText(), QString("Preset 1 *"));

            actions.undo->trigger();
            QCOMPARE(c.sliderValues(), std::vector<double>(kParameterCount, 8000.0));
            // With everything locked it says why nothing moved, and is no step.
            std::vector<std::int64_t> all(kParameterCount);
            std::iota(all.begin(), all.end(), 0);
            run.model().locks().setLockedIndices(all);
            const QString undoBefore = actions.undo->text();
            actions.mutate->trigger();
            QVERIFY(run.notice().startsWith("Every parameter is locked"));
            QCOMPARE(actions.undo->text(), undoBefore);
            run.model().locks().setLockedIndices({5});
            actions.mutateSwitches->trigger();
            QVERIFY(run.model().mutateOptions().switches);
            run.app->shutDown();
        }
        WindowHarness run({.folder = &folder});
        QCOMPARE(run.view->mutateAmount()->value(), 5);
        QVERIFY(run.actions().mutateSwitches->isChecked());
        QCOMPARE(run.model().mutateOptions(), (MutateOptions{5, true}));
    }

    void theMorphPanelPicksPresetsByNameAndItsSliderActsByKeyMouseAndAssistiveValue() {
        test::TempDir folder;
        {
            WindowHarness run({.folder = &folder});
            const PanelActions& actions = run.actions();
            const auto frame = [&run] {
                run.queue.advance(Morph::kFrame);
            };  // applied once a frame
            QCOMPARE(actions.morph->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
            QVERIFY(!run.window().morphDock()->isVisible());
            actions.morph->trigger();
            QVERIFY(run.window().morphDock()->isVisible());
            auto* view = qobject_cast<MorphView*>(run.window().morphDock()->widget());
            QVERIFY(view != nullptr);
            storeTwoSounds(run);
            QCOMPARE(view->pickerA()->itemText(0), QString("1  Glass Bells"));
            QCOMPARE(view->pickerB()->itemText(1), QString("2  Dark Drone"));
            QCOMPARE(view->pickerA()->itemText(2), QString("Preset 3"));
            ParameterSlider* slider = view->slider();
            QVERIFY2(!slider->isEnabled(), "nothing to morph between yet");

            Q_EMIT view->pickerA()->activated(0);
            Q_EMIT view->pickerB()->activated(1);
            QVERIFY(slider->isEnabled());
            QCOMPARE(view->pickerB()->currentText(), QString("2  Dark Drone"));
            const std::vector<double> a = run.presets().presets()[0].values;
            const std::vector<double> b = run.presets().presets()[1].values;
            run.service->clearRecorded();
            QVERIFY2(run.sent().empty(), "choosing sends nothing");

            // An assistive technology sets the value in percent, as shown.
            QAccessibleInterface* access = QAccessible::queryAccessibleInterface(slider);
            QCOMPARE(access->text(QAccessible::Name), QString("Morph"));
            QAccessibleValueInterface* value = access->valueInterface();
            QCOMPARE(value->maximumValue().toDouble(), 100.0);
            value->setCurrentValue(50.0);
            QCOMPARE(run.model().morph().morphPosition(), 0.5);
            QCOMPARE(view->readout()->text(), QString("50.0 %"));
            QCOMPARE(access->text(QAccessible::Value), QString("50.0"));
            QCOMPARE(actions.undo->text(), QString("Undo morph"));
            const std::size_t steps = run.model().history().undoSteps();

            // Keys: End to B, Home to A, each a step of its own.
            frame();
            slider->setFocus();
            QTest::keyClick(slider, Qt::Key_End);
            frame();
            QCOMPARE(run.controller().sliderValues(), b);
            QTest::keyClick(slider, Qt::Key_Home);
            frame();
            QCOMPARE(run.controller().sliderValues(), a);
            QVERIFY(!run.controller().modButtonPressed()[0]);
            QCOMPARE(run.model().history().undoSteps(), steps + 2);
            QTest::keyClick(slider, Qt::Key_Right);
            frame();
            QCOMPARE(run.model().morph().morphPosition(), 0.01);

            // One drag with the mouse across the whole range is one step.
            frame();
            run.service->clearRecorded();
            const std::uint64_t applied = run.model().morph().applications();
            const QRect knob = slider->handleRect();
            QTest::mousePress(slider, Qt::LeftButton, {}, knob.center());
            int moves = 0;
            for (int x = knob.center().x(); x <= slider->width(); x += 4, ++moves) {
                QTest::mouseMove(slider, QPoint(x, knob.center().y()));
                run.queue.advance(std::chrono::milliseconds(2));
            }
            QTest::mouseMove(slider, QPoint(slider->width() + 20, knob.center().y()));
            QTest::mouseRelease(slider, Qt::LeftButton, {},
                                QPoint(slider->width() + 20, knob.center().y()));
            frame();
            QCOMPARE(run.model().morph().morphPosition(), 1.0);
            QCOMPARE(run.controller().sliderValues(), b);
            QCOMPARE(run.model().history().undoSteps(), steps + 4);
            const std::uint64_t frames = run.model().morph().applications() - applied;
            QVERIFY2(frames <= static_cast<std::uint64_t>(moves * 2 / Morph::kFrame.count() + 2),
                     "the panel is set once a frame, not once a pointer move");
            QVERIFY(frames > 3);

            // Keep what you found: Save Preset As is at hand in the panel.
            QVERIFY(run.find("Save Preset As...", view) != nullptr);
            run.app->shutDown();
        }
        WindowHarness run({.folder = &folder});
        QCOMPARE(run.model().morph().presetA(), std::optional<std::int64_t>(0));
        QCOMPARE(run.model().morph().presetB(), std::optional<std::int64_t>(1));
    }
};

}  // namespace tarnwell

QTEST_MAIN(tarnwell::ExploreTest)
#include "explore_test.moc"
