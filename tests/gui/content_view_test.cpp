// The controller window driven through its real widgets, as a user would,
// checking what the user sees and what reaches the synthesizer.
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "core/panel/preset_file.hpp"
#include "gui_harness.hpp"
#include "ui/panel/link_button_view.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/unit_page_view.hpp"

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

// Drags the knob from where it is to `x`, through every pixel on the way.
void dragKnob(ParameterSlider* slider, int x) {
    const QPoint start = slider->handleRect().center();
    sendMouse(slider, QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int px = start.x() + 1; px <= x; ++px) {
        sendMouse(slider, QEvent::MouseMove, QPoint(px, start.y()), Qt::LeftButton);
    }
    sendMouse(slider, QEvent::MouseButtonRelease, QPoint(x, start.y()), Qt::NoButton);
}

// Whether any pixel of the widget as drawn is within a small distance of `colour`.
bool shows(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                40) {
                return true;
            }
        }
    }
    return false;
}

bool isYellow(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    const QColor c = image.pixelColor(image.width() / 2, image.height() - 4);
    return c.red() > 200 && c.green() > 170 && c.blue() < 80;
}

}  // namespace

class ContentViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void draggingASliderSendsEveryPositionAndMirrorsIntoGroupedUnits();
    void regenTabShowsItsSixLabelsInTwoRowsAndItsSlidersFollowTheKeyboard();
    void modeTogglesShowTheirTextsOnEveryPageAndSendOnce();
    void multiplicationTurnsYellowAndGroupingReadsUngroupInGreen();
    void calibrateAndDiceBothRandomiseAndSend();
    void presetControlsSaveRecallImportAndExport();
    void destinationPickerAndStatusFollowTheDestinations();
    void everyControlHasAnAccessibleNameAndIsReachableByKeyboard();
};

void ContentViewTest::draggingASliderSendsEveryPositionAndMirrorsIntoGroupedUnits() {
    WindowHarness h;
    h.controller().toggleLink(0);
    h.controller().toggleLink(2);
    auto* slider = h.view->unitPage(0)->bank()->sliderFor(2);

    dragKnob(slider, slider->width() / 2);
    const auto sent = h.sent();
    QVERIFY2(sent.size() > 20, "every intermediate position is sent");
    for (std::size_t i = 0; i < sent.size(); ++i) {
        QCOMPARE(sent[i].parameter, std::int64_t{3});
        QVERIFY(i == 0 || sent[i].value >= sent[i - 1].value);
    }
    const double value = h.controller().sliderValues()[2];
    QVERIFY(value > 4000 && value < 12000);
    QVERIFY2(value != std::floor(value), "a drag yields fractional values");
    QCOMPARE(sent.back().value, static_cast<std::int64_t>(value));

    auto* mirrored = h.view->unitPage(2)->bank()->sliderFor(14);
    QCOMPARE(mirrored->value(), 0);
    h.queue.runPending();
    QCOMPARE(mirrored->doubleValue(), value);
    QCOMPARE(h.sent().back(), (Sent{15, static_cast<std::int64_t>(value)}));
    QCOMPARE(h.controller().sliderValues()[8], 0.0);
}

void ContentViewTest::regenTabShowsItsSixLabelsInTwoRowsAndItsSlidersFollowTheKeyboard() {
    WindowHarness h;
    h.view->tabs()->setCurrentIndex(6);
    QCOMPARE(h.view->tabs()->tabText(6), QString("Regen"));
    const QStringList expected = {"regeneration left", "regeneration right", "regen filter",
                                  "regen feedback",    "regen mix",          "<N/F+Q(n) = 3"};
    std::vector<QPoint> at;
    for (const auto& text : expected) {
        auto* label = h.find<QLabel>(text, h.view->regenBank());
        QVERIFY2(label, qPrintable(text));
        at.push_back(label->mapTo(h.view, QPoint()));
    }
    QVERIFY(at[0].y() == at[1].y() && at[1].y() == at[2].y());
    QVERIFY(at[3].y() == at[4].y() && at[4].y() == at[5].y());
    QVERIFY(at[3].y() > at[0].y());
    QVERIFY(at[0].x() < at[1].x() && at[1].x() < at[2].x());
    QCOMPARE(at[0].x(), at[3].x());

    auto* slider = h.view->regenBank()->sliderFor(41);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    QCOMPARE(h.controller().sliderValues()[41], 16383.0);
    QTest::keyClick(slider, Qt::Key_Left);
    QVERIFY(h.controller().sliderValues()[41] < 16383.0);
    QCOMPARE(h.sent().size(), std::size_t{2});
    QCOMPARE(h.sent()[0], (Sent{42, 16383}));
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

    h.service->clearRecorded();
    auto* voice = h.find<ModeToggleView>("Voice allocation A");
    auto* channel = h.find<ModeToggleView>("channel assign off");
    QVERIFY(voice && channel && h.find<ModeToggleView>("PNP off"));
    voice->click();
    QCOMPARE(voice->text(), QString("Voice allocation B"));
    voice->click();
    QCOMPARE(voice->text(), QString("Voice allocation A"));
    channel->click();
    QCOMPARE(channel->text(), QString(" channel assign on"));
    QCOMPARE(h.sent(), (std::vector<Sent>{{130, 130}, {131, 131}, {140, 140}}));
}

void ContentViewTest::multiplicationTurnsYellowAndGroupingReadsUngroupInGreen() {
    WindowHarness h;
    h.view->tabs()->setCurrentIndex(2);
    QPushButton* button = h.view->unitPage(2)->multiplicationButton();
    QVERIFY(!isYellow(button));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY2(isYellow(button), "yellow while the flag is set");
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!isYellow(button));
    QCOMPARE(h.sent(), (std::vector<Sent>{{106, 127}, {107, 127}}));

    // A recall that sets the flag turns it yellow too.
    MidiSliderPreset preset;
    preset.modStates[2] = true;
    h.presets().replacePresets({preset});
    QVERIFY(isYellow(button));

    h.service->clearRecorded();
    LinkButtonView* link = h.view->unitPage(2)->linkButton();
    QCOMPARE(link->text(), QString("Group"));
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(link->text(), QString("Ungroup"));
    QVERIFY(h.controller().linkedTabs()[2]);
    QVERIFY2(shows(link, QColor(0x34, 0xc7, 0x59)), "green text while grouped");
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(link->text(), QString("Group"));
    QVERIFY(!shows(link, QColor(0x34, 0xc7, 0x59)));
    QVERIFY(shows(link, Qt::white));
    QVERIFY(h.sent().empty());
}

void ContentViewTest::calibrateAndDiceBothRandomiseAndSend() {
    for (const QString name : {"calibrate", "dice"}) {
        WindowHarness h;
        QTest::mouseClick(h.find(name), Qt::LeftButton);
        QCOMPARE(h.sent().size(), std::size_t{42});
        // The sliders show the new values.
        const double value = h.controller().sliderValues()[0];
        QVERIFY(value != 0.0);
        QVERIFY(std::abs(h.view->unitPage(0)->bank()->sliderFor(0)->doubleValue() - value) < 0.01);
    }
}

void ContentViewTest::presetControlsSaveRecallImportAndExport() {
    WindowHarness h;
    h.controller().editParameter(0, 1000.5);
    h.service->clearRecorded();
    QTest::mouseClick(h.find("Save Preset"), Qt::LeftButton);
    QVERIFY(h.view->noticeText()->text().contains("Preset 1 saved to"));
    QComboBox* picker = h.view->presetPicker();
    QCOMPARE(picker->count(), 100);
    QCOMPARE(picker->itemText(0), QString("Preset 1"));
    QCOMPARE(picker->itemText(99), QString("Preset 100"));

    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(h.presets().selectedPresetIndex(), std::int64_t{1});
    QCOMPARE(h.sent().size(), std::size_t{50});
    QCOMPARE(h.controller().sliderValues()[0], 0.0);
    QTest::keyClick(picker, Qt::Key_Up);
    QCOMPARE(h.view->unitPage(0)->bank()->sliderFor(0)->doubleValue(), 1000.5);

    // A bad file: the status bar says which and why; nothing else changes.
    h.service->clearRecorded();
    const auto file = h.documents / "broken.json";
    test::writeText(file, R"([{"values":[1],"modStates":[]}])");
    QTest::mouseClick(h.find("Import Presets"), Qt::LeftButton);
    QVERIFY(h.chooser.answer(file));
    QCOMPARE(h.view->noticeText()->text(),
             "Import failed: " + QString::fromStdString(file.string()) +
                 ": not a preset file: object 1 lacks voiceModeToggle");
    QCOMPARE(h.presets().presets().size(), std::size_t{100});
    QCOMPARE(h.controller().sliderValues()[0], 1000.5);
    QVERIFY(h.sent().empty());
    QTest::mouseClick(h.find("Import Presets"), Qt::LeftButton);
    QVERIFY(h.chooser.answer(h.documents / "missing.json"));
    QVERIFY(h.view->noticeText()->text().startsWith("Import failed: could not read "));

    QTest::mouseClick(h.find("Export Presets"), Qt::LeftButton);
    QVERIFY(h.chooser.answer(h.documents / "out.json"));
    QVERIFY(h.view->noticeText()->text().startsWith("Exported 100 presets to"));
}

void ContentViewTest::destinationPickerAndStatusFollowTheDestinations() {
    WindowHarness empty(false);
    QComboBox* picker = empty.view->destinationPicker();
    QCOMPARE(picker->count(), 0);
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
    QCOMPARE(h.view->destinationPicker()->count(), 0);
    // Another destination appearing is not taken for the vanished one.
    h.service->addDestination("Other");
    h.service->notifySetupChanged();
    h.queue.runPending();
    QCOMPARE(h.view->statusText()->text(), QString("Synth (unavailable)"));
    QCOMPARE(h.view->destinationPicker()->currentIndex(), -1);
}

void ContentViewTest::everyControlHasAnAccessibleNameAndIsReachableByKeyboard() {
    WindowHarness h;
    const QList<QWidget*> controls = test::controlsIn(h.view);
    QVERIFY(controls.size() > 80);
    for (auto* w : controls) {
        QVERIFY2(!test::spokenName(w).trimmed().isEmpty(),
                 qPrintable(w->metaObject()->className()));
    }
    auto* slider = h.view->unitPage(0)->bank()->sliderFor(0);
    QCOMPARE(test::spokenName(slider), QString("f/oh*n = (2n -1 ) f Odd harmonics A"));
    QCOMPARE(test::spokenName(h.view->presetPicker()), QString("Select Preset"));
    QCOMPARE(test::spokenName(h.view->destinationPicker()), QString("MIDI Output"));
    QCOMPARE(test::spokenName(h.find("multiplication")), QString("multiplication"));

    // Tab walks through every control of the visible page and the controls
    // below the tabs.
    const QSet<QWidget*> reached = test::reachedByTab(h.view->destinationPicker());
    for (auto* w : controls) {
        QVERIFY2(!w->isVisibleTo(h.view) || reached.contains(w),
                 qPrintable(w->objectName() + " " + w->metaObject()->className()));
    }
}

QTEST_MAIN(ContentViewTest)
#include "content_view_test.moc"
