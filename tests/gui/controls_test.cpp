// The controls as a musician drives them: readouts, typed values, fine steps, the wheel, and what
// assistive technologies see and do.
#include <QAccessibleValueInterface>

#include "gui_harness.hpp"
#include "ui/panel/link_button_view.hpp"
#include "ui/theme.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

QAccessibleValueInterface* valueOf(QWidget* widget) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
    return a ? a->valueInterface() : nullptr;
}

// One notch over `target` (down, or up); true when it took the notch rather than leave it to the
// page.
bool wheel(QWidget* target, int notch = -120) {
    QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, notch),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    event.setAccepted(true);
    static_cast<QObject*>(target)->event(&event);
    return event.isAccepted();
}

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readoutFollowsEveryChangeAndTakesATypedValue() {
        WindowHarness h;
        ValueField* field = h.field(1);
        QCOMPARE(field->text(), QString("0"));
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY2(h.sent().empty(), "Enter on the shown value sends nothing");
        QCOMPARE(h.model().history().undoSteps(), std::size_t{0});

        h.controller().editParameter(1, 1234.9);
        QCOMPARE(field->text(), QString("1234"));  // what the synthesizer receives
        h.model().undo();
        QCOMPARE(field->text(), QString("0"));

        h.service->clearRecorded();
        field->selectAll();
        QTest::keyClicks(field, "1000");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(h.sent(), (std::vector<Sent>{{2, 1000}}));  // Enter sends once
        QCOMPARE(h.slider(1)->doubleValue(), 1000.0);

        for (const QString typed : {"16384", "-1", "abc", "1e3", ""}) {
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Backspace);
            QTest::keyClicks(field, typed);
            QTest::keyClick(field, Qt::Key_Return);
            QCOMPARE(field->text(), QString("1000"));
        }
        field->selectAll();
        QTest::keyClicks(field, "77");
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(field->text(), QString("1000"));
        QCOMPARE(h.sent().size(), std::size_t{1});  // refused and cancelled text sends nothing

        // As an assistive technology sets text: Qt's modified flag stays clear.
        h.service->clearRecorded();
        field->setText("16383");
        QVERIFY(!field->isModified());
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(h.sent(), (std::vector<Sent>{{2, 16383}}));
        field->setText("16384");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(h.sent().size(), std::size_t{1});
        QCOMPARE(field->text(), QString("16383"));
    }

    void shiftGivesSingleStepsAndPageKeysStayCoarse() {
        WindowHarness h;
        ParameterSlider* slider = h.slider(0);
        slider->setFocus();
        // A plain arrow moves 16, Page Up a sixteenth even with Shift.
        const std::tuple<Qt::Key, Qt::KeyboardModifier, double> presses[] = {
            {Qt::Key_Right, Qt::ShiftModifier, 1.0},
            {Qt::Key_Right, Qt::ShiftModifier, 2.0},
            {Qt::Key_Left, Qt::ShiftModifier, 1.0},
            {Qt::Key_Right, Qt::NoModifier, 17.0},
            {Qt::Key_PageUp, Qt::ShiftModifier, 1041.0}};
        for (const auto& [key, modifier, expected] : presses) {
            QTest::keyClick(slider, key, modifier);
            QCOMPARE(h.controller().sliderValues()[0], expected);
        }
        QCOMPARE(h.model().history().undoSteps(), std::size_t{5});  // one step per key press
    }

    void theWheelNeverChoosesARowOrMovesAnUnfocusedSliderAndANotchIsOneCoarseStep() {
        WindowHarness h({.synth = false});
        h.service->addDestination("One");
        h.service->addDestination("Two");
        h.replug();
        h.service->clearRecorded();
        BallPageView* ball = h.app->physicsView()->ballPage(0);
        for (QComboBox* picker : {h.view->presetPicker(), h.view->destinationPicker(),
                                  ball->paramPicker(), ball->waveYPicker()}) {
            const int row = picker->currentIndex();
            QVERIFY2(!wheel(picker), "left to the page, which scrolls");
            h.queue.runPending();
            QCOMPARE(picker->currentIndex(), row);
        }
        QCOMPARE(h.presets().selectedPresetIndex(), std::int64_t{0});
        QCOMPARE(h.status(), QString("One"));
        QCOMPARE(h.model().physics().balls()[0], initialBalls()[0]);

        ParameterSlider* slider = h.slider(0);
        QVERIFY(!wheel(slider, 120));
        QCOMPARE(h.controller().sliderValues()[0], 0.0);
        QVERIFY(h.activate());
        slider->setFocus();
        QVERIFY(wheel(slider, 120));  // a focused slider takes the wheel
        QCOMPARE(h.controller().sliderValues()[0], 16.0);
        wheel(slider, -60);  // half a notch waits for the other half
        QCOMPARE(h.controller().sliderValues()[0], 16.0);
        wheel(slider, -60);
        QCOMPARE(h.controller().sliderValues()[0], 0.0);
    }

    void assistiveTechnologiesSeeAndSetRealUnits() {
        WindowHarness h;
        // A slider, its maximum and step, and a value set, all in the units shown.
        const std::tuple<QWidget*, double, double, double> rows[] = {
            {h.slider(0), 16383.0, 1.0, 1000.0},
            {h.app->physicsView()->ballPage(0)->slider(BallSlider::ampY), 5.0, 0.1, 2.5}};
        for (const auto& [slider, maximum, step, set] : rows) {
            QAccessibleValueInterface* value = valueOf(slider);
            QVERIFY(value);
            QCOMPARE(value->maximumValue().toDouble(), maximum);
            QCOMPARE(value->minimumStepSize().toDouble(), step);
            value->setCurrentValue(set);
            QCOMPARE(value->currentValue().toDouble(), set);
        }
        QCOMPARE(h.sent(), (std::vector<Sent>{{1, 1000}}));
        QCOMPARE(h.model().physics().balls()[0].ampY, 2.5);
    }

    void checkableButtonsShowTheModelWhateverTogglesThem() {
        WindowHarness h;
        h.view->tabs()->setCurrentIndex(2);
        UnitPageView* page = h.view->unitPage(2);
        QPushButton* multiplication = page->multiplicationButton();
        const QColor yellow = theme::kModOnYellow;
        QTest::mouseClick(multiplication, Qt::LeftButton);
        QVERIFY2(shows(multiplication, yellow), "yellow while the flag is set");
        multiplication->toggle();  // what an assistive toggle action does
        QVERIFY(!h.controller().modButtonPressed()[2]);
        QVERIFY(!shows(multiplication, yellow));
        QCOMPARE(h.sent(), (std::vector<Sent>{{106, 127}, {107, 127}}));
        MidiSliderPreset preset;
        preset.modStates[2] = true;
        h.presets().replacePresets({preset});
        QVERIFY2(shows(multiplication, yellow), "a recall that sets the flag turns it yellow");
        multiplication->setFocus();
        QTest::keyClick(multiplication, Qt::Key_Space);
        QVERIFY(!h.controller().modButtonPressed()[2]);

        h.service->clearRecorded();
        LinkButtonView* link = page->linkButton();
        const QColor green(0x34, 0xc7, 0x59);
        QCOMPARE(link->text(), QString("Group"));
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(link->text(), QString("Ungroup"));
        QVERIFY(h.controller().linkedTabs()[2]);
        QVERIFY2(shows(link, green), "green text while grouped");
        h.model().undo();
        QCOMPARE(link->text(), QString("Group"));  // undo moves the button back too
        QVERIFY(!link->isChecked());
        QVERIFY(!shows(link, green));
        link->toggle();
        QVERIFY(h.controller().linkedTabs()[2]);
        QVERIFY(h.sent().empty());
    }
};

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
