// The controller window driven through its real widgets, as a user would,
// checking what the user sees and what reaches the synthesizer.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "gui_harness.hpp"
#include "panel/link_button_view.hpp"
#include "panel/mode_toggle_view.hpp"
#include "panel/parameter_slider.hpp"
#include "panel/preset_file.hpp"
#include "panel/slider_bank_view.hpp"
#include "panel/unit_page_view.hpp"

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
    const int step = x > start.x() ? 1 : -1;
    for (int px = start.x() + step; px != x + step; px += step) {
        sendMouse(slider, QEvent::MouseMove, QPoint(px, start.y()), Qt::LeftButton);
    }
    sendMouse(slider, QEvent::MouseButtonRelease, QPoint(x, start.y()), Qt::NoButton);
}

QColor centreColour(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() - 4);
}

// What a screen reader announces a control by: its label where another
// widget labels it (Qt reports a picker's current row as its name on Linux
// and its label through the "labelled by" relation), otherwise its name.
QString spokenName(QWidget* widget) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
    if (a == nullptr) {
        return {};
    }
    for (const auto& relation : a->relations(QAccessible::Label)) {
        const QString label = relation.first->text(QAccessible::Name);
        if (!label.isEmpty()) {
            return label;
        }
    }
    return a->text(QAccessible::Name);
}

bool isYellow(const QColor& c) {
    return c.red() > 200 && c.green() > 170 && c.blue() < 80;
}

}  // namespace

class ContentViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void draggingASliderSendsEveryPositionAndMirrorsIntoGroupedUnits();
    void keyboardMovesASliderAndSends();
    void regenTabShowsItsSixLabelsInTwoRows();
    void aRegenSwitchShowsOnEveryUnitPageAndSendsOnce();
    void modeTogglesShowTheirTexts();
    void multiplicationTurnsYellowAndBack();
    void linkButtonReadsUngroupInGreenAndSendsNothing();
    void calibrateAndDiceBothRandomiseAndSend();
    void choosingAPresetRowRecallsIt();
    void badImportShowsTheReasonAndChangesNothing();
    void destinationPickerAndStatusFollowTheDestinations();
    void everyControlHasAnAccessibleNameAndIsReachableByKeyboard();
};

void ContentViewTest::draggingASliderSendsEveryPositionAndMirrorsIntoGroupedUnits() {
    WindowHarness h;
    QVERIFY(h.controller().midiManager().connectedEndpoint());
    h.controller().toggleLink(0);
    h.controller().toggleLink(2);
    auto* slider = h.view->unitPage(0)->bank()->sliderFor(2);
    QVERIFY(slider);

    dragKnob(slider, slider->width() / 2);
    const auto sent = h.sent();
    QVERIFY2(sent.size() > 20, "every intermediate position is sent");
    for (const auto& s : sent) {
        QCOMPARE(s.parameter, std::int64_t{3});
    }
    const double value = h.controller().sliderValues()[2];
    QVERIFY(value > 4000 && value < 12000);
    QCOMPARE(sent.back().value, static_cast<std::int64_t>(value));
    bool sawFraction = false;
    for (std::size_t i = 1; i < sent.size(); ++i) {
        QVERIFY(sent[i].value >= sent[i - 1].value);
    }
    sawFraction = value != std::floor(value);
    QVERIFY2(sawFraction, "a drag yields fractional values");

    auto* mirrored = h.view->unitPage(2)->bank()->sliderFor(14);
    QCOMPARE(mirrored->value(), 0);
    h.queue.runPending();
    QCOMPARE(h.controller().sliderValues()[14], value);
    QCOMPARE(mirrored->doubleValue(), value);
    QCOMPARE(h.sent().back(), (Sent{15, static_cast<std::int64_t>(value)}));
    QCOMPARE(h.controller().sliderValues()[8], 0.0);
}

void ContentViewTest::keyboardMovesASliderAndSends() {
    WindowHarness h;
    auto* slider = h.view->regenBank()->sliderFor(41);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    QCOMPARE(h.controller().sliderValues()[41], 16383.0);
    QCOMPARE(h.sent(), (std::vector<Sent>{{42, 16383}}));
    QTest::keyClick(slider, Qt::Key_Left);
    QVERIFY(h.controller().sliderValues()[41] < 16383.0);
    QCOMPARE(h.sent().size(), std::size_t{2});
}

void ContentViewTest::regenTabShowsItsSixLabelsInTwoRows() {
    WindowHarness h;
    h.view->tabs()->setCurrentIndex(6);
    QCOMPARE(h.view->tabs()->tabText(6), QString("Regen"));
    const QStringList expected = {"regeneration left", "regeneration right", "regen filter",
                                  "regen feedback",    "regen mix",          "<N/F+Q(n) = 3"};
    std::vector<QLabel*> labels;
    for (const auto& text : expected) {
        auto* label = h.find<QLabel>(text, h.view->regenBank());
        QVERIFY2(label, qPrintable(text));
        labels.push_back(label);
    }
    const auto y = [&](int i) { return labels[i]->mapTo(h.view.get(), QPoint()).y(); };
    const auto x = [&](int i) { return labels[i]->mapTo(h.view.get(), QPoint()).x(); };
    QCOMPARE(y(0), y(1));
    QCOMPARE(y(1), y(2));
    QCOMPARE(y(3), y(4));
    QCOMPARE(y(4), y(5));
    QVERIFY(y(3) > y(0));
    QVERIFY(x(0) < x(1) && x(1) < x(2));
    QCOMPARE(x(0), x(3));
}

void ContentViewTest::aRegenSwitchShowsOnEveryUnitPageAndSendsOnce() {
    WindowHarness h;
    auto* first = h.find<ModeToggleView>("regen filter A", h.view->unitPage(3));
    QVERIFY(first);
    h.view->tabs()->setCurrentIndex(3);
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(8, first->height() / 2));
    QCOMPARE(h.sent(), (std::vector<Sent>{{134, 134}}));
    for (int unit = 0; unit < 6; ++unit) {
        auto* copy = h.find<ModeToggleView>("regen filter B", h.view->unitPage(unit));
        QVERIFY2(copy && copy->isChecked(), "every page shows the new state");
    }
}

void ContentViewTest::modeTogglesShowTheirTexts() {
    WindowHarness h;
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

void ContentViewTest::multiplicationTurnsYellowAndBack() {
    WindowHarness h;
    h.view->tabs()->setCurrentIndex(2);
    QPushButton* button = h.view->unitPage(2)->multiplicationButton();
    QVERIFY(!isYellow(centreColour(button)));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(h.controller().modButtonPressed()[2]);
    QVERIFY2(isYellow(centreColour(button)), "yellow while the flag is set");
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!isYellow(centreColour(button)));
    QCOMPARE(h.sent(), (std::vector<Sent>{{106, 127}, {107, 127}}));

    // A recall that sets the flag turns it yellow too.
    MidiSliderPreset preset;
    preset.modStates[2] = true;
    h.controller().replacePresets({preset});
    QVERIFY(isYellow(centreColour(button)));
}

void ContentViewTest::linkButtonReadsUngroupInGreenAndSendsNothing() {
    WindowHarness h;
    LinkButtonView* link = h.view->unitPage(1)->linkButton();
    QCOMPARE(link->text(), QString("Group"));
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(link->text(), QString("Ungroup"));
    QVERIFY(h.controller().linkedTabs()[1]);
    QVERIFY(link->styleSheet().contains("color: #34c759"));
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(link->text(), QString("Group"));
    QVERIFY(link->styleSheet().contains("color: #ffffff"));
    QVERIFY(h.sent().empty());
}

void ContentViewTest::calibrateAndDiceBothRandomiseAndSend() {
    for (const QString name : {"calibrate", "dice"}) {
        WindowHarness h;
        auto* button = h.find(name);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        const auto sent = h.sent();
        QCOMPARE(sent.size(), std::size_t{42});
        for (int i = 0; i < 42; ++i) {
            QCOMPARE(sent[i].parameter, std::int64_t{i + 1});
        }
        // The sliders show the new values.
        auto* slider = h.view->unitPage(0)->bank()->sliderFor(0);
        QCOMPARE(slider->value(),
                 static_cast<int>(std::lround(h.controller().sliderValues()[0] * 64)));
    }
}

void ContentViewTest::choosingAPresetRowRecallsIt() {
    WindowHarness h;
    h.controller().setSliderValue(0, 1000.5);
    QTest::mouseClick(h.find("Save Preset"), Qt::LeftButton);
    QComboBox* picker = h.view->presetPicker();
    QCOMPARE(picker->count(), 100);
    QCOMPARE(picker->itemText(0), QString("Preset 1"));
    QCOMPARE(picker->itemText(99), QString("Preset 100"));

    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(h.controller().selectedPresetIndex(), std::int64_t{1});
    QCOMPARE(h.sent().size(), std::size_t{50});
    QCOMPARE(h.controller().sliderValues()[0], 0.0);
    QTest::keyClick(picker, Qt::Key_Up);
    QCOMPARE(h.controller().sliderValues()[0], 1000.5);
    QCOMPARE(h.view->unitPage(0)->bank()->sliderFor(0)->doubleValue(), 1000.5);
    QVERIFY(h.view->noticeText()->text().contains("Preset 1 saved to"));
}

void ContentViewTest::badImportShowsTheReasonAndChangesNothing() {
    WindowHarness h;
    const auto file = h.documents / "broken.json";
    test::writeText(file, R"([{"values":[1],"modStates":[]}])");
    h.controller().setSliderValue(4, 55.0);
    QTest::mouseClick(h.find("Import Presets"), Qt::LeftButton);
    QCOMPARE(h.chooser.opens, 1);
    QVERIFY(h.chooser.answer(file));
    const QString notice = h.view->noticeText()->text();
    QVERIFY2(notice.contains("broken.json") && notice.contains("lacks voiceModeToggle"),
             qPrintable(notice));
    QCOMPARE(h.controller().presets().size(), std::size_t{100});
    QCOMPARE(h.controller().sliderValues()[4], 55.0);
    QVERIFY(h.sent().empty());

    QTest::mouseClick(h.find("Export Presets"), Qt::LeftButton);
    QVERIFY(h.chooser.answer(h.documents / "out.json"));
    QVERIFY(h.view->noticeText()->text().startsWith("Exported 100 presets to"));
}

void ContentViewTest::destinationPickerAndStatusFollowTheDestinations() {
    WindowHarness empty(false);
    QCOMPARE(empty.view->destinationPicker()->count(), 0);
    QCOMPARE(empty.view->statusText()->text(), QString("Not Connected"));

    // A destination that appears later is connected when the user picks it,
    // even though its row is the one already selected.
    const auto later = empty.service->addDestination("Later");
    empty.service->notifySetupChanged();
    empty.queue.runPending();
    QCOMPARE(empty.view->destinationPicker()->count(), 1);
    QCOMPARE(empty.view->statusText()->text(), QString("Not Connected"));
    empty.view->destinationPicker()->setFocus();
    QTest::keyClick(empty.view->destinationPicker(), Qt::Key_Up);  // stays on row 0
    Q_EMIT empty.view->destinationPicker()->activated(0);
    empty.queue.runPending();
    QCOMPARE(empty.view->statusText()->text(), QString("Later"));

    WindowHarness h;
    QCOMPARE(h.view->statusText()->text(), QString("Synth"));
    h.service->removeDestination(h.synth);
    h.service->notifySetupChanged();
    h.queue.runPending();
    QCOMPARE(h.view->statusText()->text(), QString("Synth (unavailable)"));
    QCOMPARE(h.view->destinationPicker()->count(), 0);
    (void)later;
}

void ContentViewTest::everyControlHasAnAccessibleNameAndIsReachableByKeyboard() {
    WindowHarness h;
    QList<QWidget*> controls;
    for (auto* w : h.view->findChildren<QWidget*>()) {
        const bool interactive = qobject_cast<QAbstractButton*>(w) ||
                                 qobject_cast<QAbstractSlider*>(w) || qobject_cast<QComboBox*>(w);
        if (!interactive || w->window() != h.view.get()) {
            continue;  // the pickers' pop-up lists are windows of their own
        }
        controls.push_back(w);
        QVERIFY2(!spokenName(w).trimmed().isEmpty(), qPrintable(w->metaObject()->className()));
    }
    QVERIFY(controls.size() > 80);
    auto* slider = h.view->unitPage(0)->bank()->sliderFor(0);
    QCOMPARE(spokenName(slider), QString("f/oh*n = (2n -1 ) f Odd harmonics A"));
    QCOMPARE(spokenName(h.view->presetPicker()), QString("Select Preset"));
    QCOMPARE(spokenName(h.view->destinationPicker()), QString("MIDI Output"));
    QCOMPARE(spokenName(h.find("multiplication")), QString("multiplication"));

    // Tab walks through every control of the visible page and the controls
    // below the tabs.
    QSet<QWidget*> reached;
    h.view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.view.get()));
    h.view->destinationPicker()->setFocus();
    QWidget* current = h.view->destinationPicker();
    for (int i = 0; i < 200 && current; ++i) {
        reached.insert(current);
        QTest::keyClick(current, Qt::Key_Tab);
        current = QApplication::focusWidget();
        if (current == h.view->destinationPicker()) {
            break;
        }
    }
    for (auto* w : controls) {
        if (w->isVisibleTo(h.view.get())) {
            QVERIFY2(reached.contains(w),
                     qPrintable(w->objectName() + " " + w->metaObject()->className()));
        }
    }
}

QTEST_MAIN(ContentViewTest)
#include "content_view_test.moc"
