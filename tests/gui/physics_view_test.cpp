// The "Physics" tab driven through its real widgets: what each ball page shows,
// what its controls write into the ball and what the balls then send. The
// page's wall-clock timer is stopped; every test ticks the simulation by hand.
#include "ui/physics/physics_view.hpp"

#include <tuple>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "gui_harness.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/physics/ball_area_view.hpp"
#include "ui/physics/ball_page_view.hpp"
#include "ui/physics/tick_timer.hpp"

using namespace tarnwell;
using tarnwell::test::Sent;
using tarnwell::test::WindowHarness;

namespace {

struct PhysicsHarness : WindowHarness {
    PhysicsHarness() {
        physics = app->physicsView();
        view->tabs()->setCurrentWidget(physics);
    }

    // Shows ball page `number` (1 to 5) and returns it.
    BallPageView* page(int number) const {
        physics->ballTabs()->setCurrentIndex(number - 1);
        return physics->ballPage(static_cast<std::size_t>(number - 1));
    }
    const Ball& ball(int number) {
        return model().physics().balls()[static_cast<std::size_t>(number - 1)];
    }
    void tick() { model().physics().timerTick(); }

    PhysicsView* physics = nullptr;
};

bool hasLabel(QWidget* within, const QString& text) {
    for (auto* label : within->findChildren<QLabel*>()) {
        if (label->text() == text) {
            return true;
        }
    }
    return false;
}

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
           std::abs(a.blue() - b.blue()) < 12;
}

}  // namespace

class PhysicsViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aFreshPageShowsTheFirstBallsSettings();
    void runButtonsAndTheParamPickerDecideWhatIsSentFromTheNextTick();
    void diceRedrawsOnlyTheWavesWithinTheSliderRanges();
    void slidersAtTheirEndsGiveTheRangeEnds();
    void theAreaDrawsEachBallAtItsPositionAndOnlyWhileShown();
    void everyControlHasItsAccessibleNameAndIsReachableByKeyboard();
};

void PhysicsViewTest::aFreshPageShowsTheFirstBallsSettings() {
    PhysicsHarness h;
    QCOMPARE(h.view->tabs()->tabText(h.view->tabs()->indexOf(h.physics)), QString("Physics"));
    QCOMPARE(h.physics->ballTabs()->count(), 5);
    QCOMPARE(h.physics->ballTabs()->currentIndex(), 0);

    BallPageView* page = h.page(1);
    QVERIFY(hasLabel(page, "Ball 1"));
    QCOMPARE(page->paramLabel()->text(), QString(": Odd harmonics A"));
    QCOMPARE(page->runButton()->text(), QString("Start"));
    QCOMPARE(page->paramPicker()->count(), 41);
    QCOMPARE(page->paramPicker()->currentText(), QString("Odd harmonics A"));
    QCOMPARE(page->waveYPicker()->currentText(), QString("Sine"));
    QCOMPARE(page->waveXPicker()->currentText(), QString("Sine"));
    QCOMPARE(page->magnetToggle()->text(), QString("Enabled"));
    QVERIFY(!page->magnetToggle()->isChecked());

    const QStringList expected = {"Amp Y: 2.0",    "Freq Y: 1.5", "Phase Y: 0.5",
                                  "Strength: 0.0", "Mag X: 125",  "Mag Y: 125",
                                  "Amp X: 2.0",    "Freq X: 1.0", "Phase X: 0.0"};
    for (std::size_t i = 0; i < kBallSliderCount; ++i) {
        QCOMPARE(page->valueLabel(static_cast<BallSlider>(i))->text(), expected[int(i)]);
    }
    QCOMPARE(page->slider(BallSlider::ampY)->doubleValue(), 2.0);
    QCOMPARE(page->slider(BallSlider::magnetX)->doubleValue(), 125.0);

    // The other pages show their own balls.
    QVERIFY(hasLabel(h.page(5), "Ball 5"));
    QCOMPARE(h.physics->ballPage(4)->paramLabel()->text(), QString(": Tuning A"));
    QCOMPARE(h.physics->ballPage(1)->waveYPicker()->currentText(), QString("Triangle"));
}

void PhysicsViewTest::runButtonsAndTheParamPickerDecideWhatIsSentFromTheNextTick() {
    PhysicsHarness h;
    // Ball 2 on "regen mix", the picker's last row, and started from the keyboard.
    BallPageView* two = h.page(2);
    two->paramPicker()->setFocus();
    QTest::keyClick(two->paramPicker(), Qt::Key_End);
    QCOMPARE(two->paramPicker()->currentText(), QString("regen mix"));
    QCOMPARE(h.ball(2).assignedParam, std::int64_t{41});
    QCOMPARE(two->paramLabel()->text(), QString(": regen mix"));
    QCOMPARE(h.ball(1).assignedParam, std::int64_t{1});
    two->runButton()->setFocus();
    QTest::keyClick(two->runButton(), Qt::Key_Space);

    QPushButton* run = h.page(3)->runButton();
    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(run->text(), QString("Stop"));
    QVERIFY2(h.sent().empty(), "starting sends nothing by itself");
    const Point start = h.ball(3).pos;
    h.tick();
    QVERIFY(h.ball(3).pos != start);
    const auto valueOf = [&](int n) {
        return static_cast<std::int64_t>(h.ball(n).pos.x / 250.0 * 16383.0);
    };
    QCOMPARE(h.sent(), (std::vector<Sent>{{41, valueOf(2)}, {3, valueOf(3)}}));

    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(run->text(), QString("Start"));
    const Point stopped = h.ball(3).pos;
    h.tick();
    QCOMPARE(h.ball(3).pos, stopped);
    QCOMPARE(h.sent().size(), std::size_t{3});
    QCOMPARE(h.sent().back(), (Sent{41, valueOf(2)}));
}

void PhysicsViewTest::diceRedrawsOnlyTheWavesWithinTheSliderRanges() {
    PhysicsHarness h;
    QTest::mouseClick(h.page(4)->runButton(), Qt::LeftButton);
    const std::vector<Ball> before = h.model().physics().balls();

    QTest::mouseClick(h.physics->diceButton(), Qt::LeftButton);
    QVERIFY(h.sent().empty());
    const auto& after = h.model().physics().balls();
    for (std::size_t i = 0; i < after.size(); ++i) {
        // Only the wave settings may differ.
        const Ball& ball = after[i];
        Ball waves = before[i];
        std::tie(waves.waveTypeX, waves.waveTypeY, waves.ampX, waves.freqX, waves.phaseX,
                 waves.ampY, waves.freqY, waves.phaseY) =
            std::tie(ball.waveTypeX, ball.waveTypeY, ball.ampX, ball.freqX, ball.phaseX, ball.ampY,
                     ball.freqY, ball.phaseY);
        QCOMPARE(ball, waves);
        QVERIFY2(ball != before[i], "every ball gets new waves");

        // The page shows the new waves at once; a slider shows no value
        // outside its range, so each matches only a value within it.
        BallPageView* page = h.physics->ballPage(i);
        QCOMPARE(page->waveXPicker()->currentIndex(), static_cast<int>(ball.waveTypeX));
        QCOMPARE(page->waveYPicker()->currentIndex(), static_cast<int>(ball.waveTypeY));
        const std::pair<BallSlider, double> shown[] = {
            {BallSlider::ampX, ball.ampX},     {BallSlider::freqX, ball.freqX},
            {BallSlider::phaseX, ball.phaseX}, {BallSlider::ampY, ball.ampY},
            {BallSlider::freqY, ball.freqY},   {BallSlider::phaseY, ball.phaseY}};
        for (const auto& [which, value] : shown) {
            QVERIFY(std::abs(page->slider(which)->doubleValue() - value) < 0.01);
        }
        QCOMPARE(page->valueLabel(BallSlider::ampX)->text(),
                 QString::asprintf("Amp X: %.1f", ball.ampX));
        QCOMPARE(page->runButton()->text(), QString(i == 3 ? "Stop" : "Start"));
    }
}

void PhysicsViewTest::slidersAtTheirEndsGiveTheRangeEnds() {
    PhysicsHarness h;
    BallPageView* page = h.page(1);
    ParameterSlider* magnetX = page->slider(BallSlider::magnetX);
    magnetX->setFocus();
    QTest::keyClick(magnetX, Qt::Key_End);
    QCOMPARE(h.ball(1).magnetX, 250.0);
    QCOMPARE(page->valueLabel(BallSlider::magnetX)->text(), QString("Mag X: 250"));
    QCOMPARE(h.ball(2).magnetX, 125.0);

    // 2π is no whole number of knob steps; the end still writes it exactly.
    ParameterSlider* phase = page->slider(BallSlider::phaseY);
    QTest::keyClick(phase, Qt::Key_End);
    QCOMPARE(h.ball(1).phaseY, PhysicsSimulation::kMaxPhase);
    QCOMPARE(page->valueLabel(BallSlider::phaseY)->text(), QString("Phase Y: 6.3"));
    QTest::keyClick(phase, Qt::Key_Home);
    QCOMPARE(h.ball(1).phaseY, 0.0);

    QTest::keyClick(page->magnetToggle(), Qt::Key_Space);
    QVERIFY(h.ball(1).magnetEnabled);
    QVERIFY(!h.ball(2).magnetEnabled);
}

void PhysicsViewTest::theAreaDrawsEachBallAtItsPositionAndOnlyWhileShown() {
    PhysicsHarness h;
    BallAreaView* area = h.physics->ballArea();
    QCOMPARE(area->size(), QSize(252, 252));
    const auto colourAt = [area](QPointF at) {
        return area->grab().toImage().pixelColor(at.toPoint());
    };
    const QColor red(0xff, 0x3b, 0x30);
    QVERIFY(near(colourAt(area->widgetPoint(h.ball(2).pos)), QColor(0x00, 0x7a, 0xff)));
    QVERIFY(near(colourAt(area->widgetPoint(h.ball(5).pos)), QColor(0xaf, 0x52, 0xde)));
    // The frame: gray, two points wide, on the square's edge.
    QVERIFY(near(colourAt(QPointF(1, 125)), QColor(0x8e, 0x8e, 0x93)));
    QVERIFY(near(colourAt(QPointF(125, 250)), QColor(0x8e, 0x8e, 0x93)));

    h.model().physics().toggleRunning(0);
    for (int i = 0; i < 30; ++i) {
        h.tick();
    }
    QVERIFY(near(colourAt(area->widgetPoint(h.ball(1).pos)), red));
    QVERIFY(!near(colourAt(area->widgetPoint({40.0, 40.0})), red));

    // While another tab is on screen the balls move, but nothing is drawn.
    QApplication::processEvents();
    h.view->tabs()->setCurrentIndex(0);
    QApplication::processEvents();
    const auto frames = area->framesPainted();
    for (int i = 0; i < 5; ++i) {
        h.tick();
        QApplication::processEvents();
    }
    QCOMPARE(area->framesPainted(), frames);
    QCOMPARE(h.sent().size(), std::size_t{35});

    h.view->tabs()->setCurrentWidget(h.physics);
    QApplication::processEvents();
    const auto shown = area->framesPainted();
    h.tick();
    QTRY_VERIFY(area->framesPainted() > shown);

    // With no ball running nothing moves and nothing is redrawn.
    h.model().physics().toggleRunning(0);
    QApplication::processEvents();
    const auto still = area->framesPainted();
    h.tick();
    QApplication::processEvents();
    QCOMPARE(area->framesPainted(), still);
}

void PhysicsViewTest::everyControlHasItsAccessibleNameAndIsReachableByKeyboard() {
    PhysicsHarness h;
    BallPageView* page = h.page(1);
    QStringList sliderNames;
    for (std::size_t i = 0; i < kBallSliderCount; ++i) {
        sliderNames << test::spokenName(page->slider(static_cast<BallSlider>(i)));
    }
    QCOMPARE(sliderNames, (QStringList{"Amp Y", "Freq Y", "Phase Y", "Strength", "Mag X", "Mag Y",
                                       "Amp X", "Freq X", "Phase X"}));
    // Named on every platform, and by its label where a screen reader asks.
    for (auto [picker, label] :
         {std::pair{page->paramPicker(), "Param"}, std::pair{page->waveYPicker(), "Y wave:"},
          std::pair{page->waveXPicker(), "X wave:"}}) {
        QCOMPARE(picker->accessibleName(), QString(label));
        QCOMPARE(test::spokenName(picker), QString(label));
    }
    QCOMPARE(test::spokenName(page->runButton()), QString("Start"));
    QCOMPARE(test::spokenName(page->magnetToggle()), QString("Enabled"));
    QCOMPARE(test::spokenName(h.physics->diceButton()), QString("Dice"));
    QAccessibleInterface* tabBar =
        QAccessible::queryAccessibleInterface(h.physics->ballTabs()->tabBar());
    QStringList tabNames;
    for (int i = 0; i < tabBar->childCount(); ++i) {
        tabNames << tabBar->child(i)->text(QAccessible::Name);
    }
    QCOMPARE(tabNames.mid(0, 5), (QStringList{"1", "2", "3", "4", "5"}));

    // Tab walks through every control of the shown ball page and "Dice".
    QList<QWidget*> controls;
    for (auto* w : test::controlsIn(h.physics)) {
        if (w->isVisibleTo(h.view)) {
            controls << w;
        }
    }
    QCOMPARE(controls.size(), 9 + 3 + 2 + 1);
    const QSet<QWidget*> reached = test::reachedByTab(h.physics->ballTabs()->tabBar());
    for (auto* w : controls) {
        QVERIFY2(reached.contains(w), qPrintable(test::spokenName(w)));
    }
}

QTEST_MAIN(PhysicsViewTest)
#include "physics_view_test.moc"
