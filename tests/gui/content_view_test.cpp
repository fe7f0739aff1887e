// The controller window driven through its real widgets, as a user would,
// checking what the user sees and what reaches the synthesizer.
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "core/panel/preset_file.hpp"
#include "gui_harness.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/unit_page_view.hpp"
#include "ui/physics/ball_page_view.hpp"
#include "ui/theme.hpp"

using namespace tarnwell;
using tarnwell::test::Sent;
using tarnwell::test::WindowHarness;

namespace {

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

class ContentViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void draggingASliderSendsEveryPositionAndMirrorsIntoGroupedUnits();
    void endTakesARegenSliderToTheTopAndCalibrateAndDiceEachSendAWholeNewSound();
    void modeTogglesShowTheirTextsOnEveryPageAndSendOnce();
    void presetControlsSaveIntoTheChosenRowRecallImportAndExport();
    void destinationPickerAndStatusFollowTheDestinations();
    void everyControlIsNamedAndReachableByKeyboardOnBothPages();
};

void ContentViewTest::draggingASliderSendsEveryPositionAndMirrorsIntoGroupedUnits() {
    WindowHarness h;
    h.controller().toggleLink(0);
    h.controller().toggleLink(2);
    auto* slider = h.view->unitPage(0)->bank()->sliderFor(2);

    const QPoint start = slider->handleRect().center();
    const int end = slider->width() / 2;
    sendMouse(slider, QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int px = start.x() + 1; px <= end; ++px) {
        sendMouse(slider, QEvent::MouseMove, QPoint(px, start.y()), Qt::LeftButton);
    }
    sendMouse(slider, QEvent::MouseButtonRelease, QPoint(end, start.y()), Qt::NoButton);
    const auto sent = h.sent();
    QVERIFY2(sent.size() > 20, "every intermediate position is sent");
    for (std::size_t i = 0; i < sent.size(); ++i) {
        QCOMPARE(sent[i].parameter, std::int64_t{3});
        QVERIFY(i == 0 || sent[i].value >= sent[i - 1].value);
    }
    const double value = h.controller().sliderValues()[2];
    QVERIFY(value > 4000 && value < 12000 && value != std::floor(value));
    QCOMPARE(sent.back().value, static_cast<std::int64_t>(value));

    auto* mirrored = h.view->unitPage(2)->bank()->sliderFor(14);
    QCOMPARE(mirrored->value(), 0);
    h.queue.runPending();
    QCOMPARE(mirrored->doubleValue(), value);
    QCOMPARE(h.sent().back(), (Sent{15, static_cast<std::int64_t>(value)}));
}

void ContentViewTest::endTakesARegenSliderToTheTopAndCalibrateAndDiceEachSendAWholeNewSound() {
    WindowHarness h;
    h.view->tabs()->setCurrentIndex(6);
    QCOMPARE(h.view->tabs()->tabText(6), QString("Regen"));
    QVERIFY(h.find<QLabel>("<N/F+Q(n) = 3", h.view->regenBank()));
    auto* slider = h.view->regenBank()->sliderFor(41);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    QCOMPARE(h.sent(), (std::vector<Sent>{{42, 16383}}));

    // Each button draws every parameter once, sent in order, and the sliders
    // on every page show what the synthesizer was sent.
    for (const char* button : {"calibrate", "dice"}) {
        h.service->clearRecorded();
        const std::vector<double> before = h.controller().sliderValues();
        QTest::mouseClick(h.find(button), Qt::LeftButton);
        const auto sent = h.sent();
        QCOMPARE(sent.size(), std::size_t{42});
        QVERIFY2(h.controller().sliderValues() != before, button);
        for (std::size_t i = 0; i < 42; ++i) {
            const double value = h.controller().sliderValues()[i];
            QCOMPARE(sent[i],
                     (Sent{static_cast<std::int64_t>(i) + 1, static_cast<std::int64_t>(value)}));
            const auto* shown = i < 36
                                    ? h.view->unitPage(static_cast<int>(i) / 6)
                                          ->bank()
                                          ->sliderFor(static_cast<std::int64_t>(i))
                                    : h.view->regenBank()->sliderFor(static_cast<std::int64_t>(i));
            QVERIFY2(std::abs(shown->doubleValue() - value) < 0.01, qPrintable(QString::number(i)));
        }
        QCOMPARE(h.actions().undo->text(), QString("Undo ") + button);
    }
}

void ContentViewTest::modeTogglesShowTheirTextsOnEveryPageAndSendOnce() {
    WindowHarness h;
    auto* filter = h.find<ModeToggleView>("regen filter A", h.view->unitPage(3));
    QVERIFY(filter);
    h.view->tabs()->setCurrentIndex(3);
    QTest::mouseClick(filter, Qt::LeftButton, {}, QPoint(8, filter->height() / 2));
    QCOMPARE(h.sent(), (std::vector<Sent>{{134, 134}}));
    for (int unit = 0; unit < 6; ++unit) {
        auto* copy = h.find<ModeToggleView>("regen filter B", h.view->unitPage(unit));
        QVERIFY2(copy && copy->isChecked(), "every page shows the new state");
    }

    // What each switch sends is the controller's test; here, what it reads.
    auto* voice = h.find<ModeToggleView>("Voice allocation A");
    auto* channel = h.find<ModeToggleView>("channel assign off");
    QVERIFY(voice && channel && h.find<ModeToggleView>("PNP off"));
    voice->click();
    QCOMPARE(voice->text(), QString("Voice allocation B"));
    channel->click();
    QCOMPARE(channel->text(), QString(" channel assign on"));
}

void ContentViewTest::presetControlsSaveIntoTheChosenRowRecallImportAndExport() {
    WindowHarness h;
    QComboBox* picker = h.view->presetPicker();
    QCOMPARE(picker->count(), 100);
    QCOMPARE(picker->itemText(99), QString("Preset 100"));
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(h.presets().selectedPresetIndex(), std::int64_t{2});
    h.controller().editParameter(0, 1000.5);
    QTest::mouseClick(h.find("Save Preset"), Qt::LeftButton);
    QVERIFY(h.view->noticeText()->text().startsWith("Preset 3 saved to"));
    QCOMPARE(h.presets().presets()[2].values[0], 1000.5);
    QCOMPARE(h.presets().presets()[0].values[0], 0.0);
    const QColor normal = h.view->noticeText()->palette().color(QPalette::WindowText);
    QVERIFY(normal != theme::kErrorRed);

    QTest::keyClick(picker, Qt::Key_Up);
    QCOMPARE(h.view->unitPage(0)->bank()->sliderFor(0)->doubleValue(), 0.0);
    QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(h.view->unitPage(0)->bank()->sliderFor(0)->doubleValue(), 1000.5);

    // A bad file: the notice says which and why, in red; nothing else changes.
    h.service->clearRecorded();
    const auto file = h.folder / "broken.json";
    test::writeText(file, R"([{"values":[1],"modStates":[]}])");
    QTest::mouseClick(h.find("Import Presets"), Qt::LeftButton);
    QVERIFY(h.chooser.answer(file));
    QCOMPARE(h.view->noticeText()->text(),
             "Import failed: " + QString::fromStdString(file.string()) +
                 ": not a preset file: object 1 lacks voiceModeToggle");
    QCOMPARE(h.view->noticeText()->palette().color(QPalette::WindowText), theme::kErrorRed);
    QCOMPARE(h.presets().presets().size(), std::size_t{100});
    QVERIFY(h.sent().empty());

    // A shorter list: the picker shows its rows.
    test::writeText(file, *encodePresetFile(std::vector<MidiSliderPreset>(3)).text);
    QTest::mouseClick(h.find("Import Presets"), Qt::LeftButton);
    QVERIFY(h.chooser.answer(file));
    QCOMPARE(picker->count(), 3);
    QCOMPARE(h.view->noticeText()->palette().color(QPalette::WindowText), normal);

    QTest::mouseClick(h.find("Export Presets"), Qt::LeftButton);
    QVERIFY(h.chooser.answer(h.folder / "out.json"));
    QVERIFY(h.view->noticeText()->text().startsWith("Exported 3 presets to"));
}

void ContentViewTest::destinationPickerAndStatusFollowTheDestinations() {
    WindowHarness empty({.synth = false});
    QComboBox* picker = empty.view->destinationPicker();
    QCOMPARE(empty.view->statusText()->text(), QString("Not Connected"));
    // A destination that appears while nothing is connected is connected by
    // itself, and only then does the picker show its row as chosen.
    empty.service->addDestination("Later");
    empty.service->notifySetupChanged();
    empty.queue.runPending();
    QCOMPARE(picker->count(), 1);
    QCOMPARE(empty.view->statusText()->text(), QString("Later"));
    QCOMPARE(picker->currentIndex(), 0);

    WindowHarness h;
    QCOMPARE(h.view->statusText()->text(), QString("Synth"));
    h.service->removeDestination(h.synth);
    h.service->notifySetupChanged();
    h.queue.runPending();
    QCOMPARE(h.view->statusText()->text(), QString("Synth (unavailable)"));
    // Another destination appearing is neither taken nor shown as chosen.
    h.service->addDestination("Other");
    h.service->notifySetupChanged();
    h.queue.runPending();
    QCOMPARE(h.view->statusText()->text(), QString("Synth (unavailable)"));
    QCOMPARE(h.view->destinationPicker()->currentIndex(), -1);
}

void ContentViewTest::everyControlIsNamedAndReachableByKeyboardOnBothPages() {
    WindowHarness h;
    QVERIFY2(h.timerWasRunning, "the application runs the 60 Hz timer");
    for (auto* w : test::controlsUnder(h.view, false)) {
        QVERIFY2(!test::spokenName(w).trimmed().isEmpty(), w->metaObject()->className());
    }
    QCOMPARE(test::spokenName(h.view->unitPage(0)->bank()->sliderFor(0)),
             QString("f/oh*n = (2n -1 ) f Odd harmonics A"));
    QCOMPARE(test::spokenName(h.view->presetPicker()), QString("Select Preset"));
    QCOMPARE(test::spokenName(h.view->destinationPicker()), QString("MIDI Output"));
    PhysicsView* physics = h.app->physicsView();
    BallPageView* ball = physics->ballPage(0);
    QCOMPARE(test::spokenName(ball->slider(BallSlider::ampY)), QString("Amp Y"));
    QCOMPARE(test::spokenName(ball->waveXPicker()), QString("X wave:"));

    // Tab walks through every control shown: a unit page with the controls
    // below the tabs, then the physics page.
    for (QWidget* page : {static_cast<QWidget*>(h.view), static_cast<QWidget*>(physics)}) {
        h.view->tabs()->setCurrentWidget(page == h.view ? h.view->unitPage(0) : page);
        const QList<QWidget*> controls = test::controlsUnder(page);
        QVERIFY(controls.size() > 14);
        const QSet<QWidget*> reached = test::reachedByTab(controls.front());
        for (auto* w : controls) {
            // A command that cannot act now (Compare, with nothing edited)
            // is disabled and, as everywhere, left out of the Tab order.
            QVERIFY2(reached.contains(w) || !w->isEnabled(), qPrintable(test::spokenName(w)));
        }
    }
}

QTEST_MAIN(ContentViewTest)
#include "content_view_test.moc"
