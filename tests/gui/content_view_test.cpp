// The controller window driven through its real widgets: what the user sees, what the synth hears.
#include <QMouseEvent>

#include "gui_harness.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/theme.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

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
    void draggingASliderSendsEveryPositionAndMirrorsIntoGroupedUnits() {
        WindowHarness h;
        h.controller().toggleLink(0);
        h.controller().toggleLink(2);
        auto* slider = h.slider(2);
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

        QCOMPARE(h.slider(14)->value(), 0);
        h.queue.runPending();
        QCOMPARE(h.slider(14)->doubleValue(), value);
        QCOMPARE(h.sent().back(), (Sent{15, static_cast<std::int64_t>(value)}));
    }

    void endTakesARegenSliderToTheTopAndCalibrateAndDiceEachSendAWholeNewSound() {
        WindowHarness h;
        h.view->tabs()->setCurrentIndex(6);
        QCOMPARE(h.view->tabs()->tabText(6), QString("Regen"));
        QVERIFY(h.find<QLabel>("<N/F+Q(n) = 3", h.view->regenBank()));
        h.slider(41)->setFocus();
        QTest::keyClick(h.slider(41), Qt::Key_End);
        QCOMPARE(h.sent(), (std::vector<Sent>{{42, 16383}}));

        // Each draws every parameter once, sent in order, and every page's sliders show it.
        for (const char* button : {"calibrate", "dice"}) {
            h.service->clearRecorded();
            const std::vector<double> before = h.controller().sliderValues();
            QTest::mouseClick(h.find(button), Qt::LeftButton);
            const auto sent = h.sent();
            QCOMPARE(sent.size(), std::size_t{42});
            QVERIFY2(h.controller().sliderValues() != before, button);
            for (std::int64_t i = 0; i < 42; ++i) {
                const double value = h.controller().sliderValues()[std::size_t(i)];
                QCOMPARE(sent[std::size_t(i)], (Sent{i + 1, static_cast<std::int64_t>(value)}));
                QVERIFY2(std::abs(h.slider(i)->doubleValue() - value) < 0.01,
                         qPrintable(QString::number(i)));
            }
            QCOMPARE(h.actions().undo->text(), QString("Undo ") + button);
        }
    }

    void modeTogglesShowTheirTextsOnEveryPageAndSendOnce() {
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

    void presetControlsSaveIntoTheChosenRowRecallImportAndExport() {
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
        QVERIFY(h.notice().startsWith("Preset 3 saved to"));
        QCOMPARE(h.presets().presets()[2].values[0], 1000.5);
        QCOMPARE(h.presets().presets()[0].values[0], 0.0);
        const auto noticeColour = [&] {
            return h.view->noticeText()->palette().color(QPalette::WindowText);
        };
        const QColor normal = noticeColour();
        QVERIFY(normal != theme::kErrorRed);

        QTest::keyClick(picker, Qt::Key_Up);
        QCOMPARE(h.slider(0)->doubleValue(), 0.0);
        QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(h.slider(0)->doubleValue(), 1000.5);

        // A bad file: the notice says which and why, in red; nothing else changes.
        h.service->clearRecorded();
        const auto file = h.folder / "broken.json";
        const auto import = [&] {
            QTest::mouseClick(h.find("Import Presets"), Qt::LeftButton);
            return h.chooser.answer(file);
        };
        test::writeText(file, R"([{"values":[1],"modStates":[]}])");
        QVERIFY(import());
        QCOMPARE(h.notice(), "Import failed: " + QString::fromStdString(file.string()) +
                                 ": not a preset file: object 1 lacks voiceModeToggle");
        QCOMPARE(noticeColour(), theme::kErrorRed);
        QCOMPARE(h.presets().presets().size(), std::size_t{100});
        QVERIFY(h.sent().empty());

        // A shorter list: the picker shows its rows.
        test::writeText(file, *encodePresetFile(std::vector<MidiSliderPreset>(3)).text);
        QVERIFY(import());
        QCOMPARE(picker->count(), 3);
        QCOMPARE(noticeColour(), normal);
        QTest::mouseClick(h.find("Export Presets"), Qt::LeftButton);
        QVERIFY(h.chooser.answer(h.folder / "out.json"));
        QVERIFY(h.notice().startsWith("Exported 3 presets to"));
    }

    void destinationPickerAndStatusFollowTheDestinations() {
        // One appearing while nothing is connected is taken, and only then shown as chosen.
        WindowHarness empty({.synth = false});
        QCOMPARE(empty.status(), QString("Not Connected"));
        empty.service->addDestination("Later");
        empty.replug();
        QCOMPARE(empty.view->destinationPicker()->count(), 1);
        QCOMPARE(empty.status(), QString("Later"));
        QCOMPARE(empty.view->destinationPicker()->currentIndex(), 0);

        // Another appearing while the chosen one is away is neither taken nor shown as chosen.
        WindowHarness h;
        QCOMPARE(h.status(), QString("Synth"));
        h.service->removeDestination(h.synth);
        h.replug();
        QCOMPARE(h.status(), QString("Synth (unavailable)"));
        h.service->addDestination("Other");
        h.replug();
        QCOMPARE(h.status(), QString("Synth (unavailable)"));
        QCOMPARE(h.view->destinationPicker()->currentIndex(), -1);
    }

    void everyControlIsNamedAndReachableByKeyboardOnBothPages() {
        WindowHarness h;
        QVERIFY2(h.timerWasRunning, "the application runs the 60 Hz timer");
        for (auto* w : test::controlsUnder(h.view, false)) {
            QVERIFY2(!test::spokenName(w).trimmed().isEmpty(), w->metaObject()->className());
        }
        PhysicsView* physics = h.app->physicsView();
        BallPageView* ball = physics->ballPage(0);
        const std::pair<QWidget*, QString> names[] = {
            {h.slider(0), "f/oh*n = (2n -1 ) f Odd harmonics A"},
            {h.view->presetPicker(), "Select Preset"},
            {h.view->destinationPicker(), "MIDI Output"},
            {ball->slider(BallSlider::ampY), "Amp Y"},
            {ball->waveXPicker(), "X wave:"}};
        for (const auto& [widget, name] : names) {
            QCOMPARE(test::spokenName(widget), name);
        }
        // Tab walks every control shown: a unit page with the controls below, then physics.
        for (QWidget* page : {static_cast<QWidget*>(h.view), static_cast<QWidget*>(physics)}) {
            h.view->tabs()->setCurrentWidget(page == h.view ? h.view->unitPage(0) : page);
            const QList<QWidget*> controls = test::controlsUnder(page);
            QVERIFY(controls.size() > 14);
            const QSet<QWidget*> reached = test::reachedByTab(controls.front());
            for (auto* w : controls) {
                // A command that cannot act now (Compare, nothing edited) is disabled, untabbable.
                QVERIFY2(reached.contains(w) || !w->isEnabled(), qPrintable(test::spokenName(w)));
            }
        }
    }
};

QTEST_MAIN(ContentViewTest)
#include "content_view_test.moc"
