// The "Physics" tab driven through its real widgets: what each ball page shows,
// what its controls write into the ball and what the balls then send. The
// page's wall-clock timer is stopped; every test ticks the simulation by hand.
#include "physics/physics_view.hpp"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "app/tick_timer.hpp"
#include "gui_harness.hpp"
#include "panel/parameter_slider.hpp"
#include "physics/ball_area_view.hpp"
#include "physics/ball_page_view.hpp"

using namespace tarnwell;
using tarnwell::test::Sent;
using tarnwell::test::WindowHarness;

namespace {

struct PhysicsHarness : WindowHarness {
    PhysicsHarness() {
        physics = view->tabs()->findChild<PhysicsView*>();
        QVERIFY(physics);
        physics->tickTimer().stop();
        view->tabs()->setCurrentWidget(physics);
    }

    // Shows ball page `number` (1 to 5) and returns it.
    BallPageView* page(int number) const {
        physics->ballTabs()->setCurrentIndex(number - 1);
        return physics->ballPage(static_cast<std::size_t>(number - 1));
    }
    const Ball& ball(int number) const {
        return physics->simulation().balls()[static_cast<std::size_t>(number - 1)];
    }
    void tick() const { physics->simulation().timerTick(); }
    static std::int64_t sentValue(const Ball& ball) {
        return static_cast<std::int64_t>(ball.pos.x / 250.0 * 16383.0);
    }

    PhysicsView* physics = nullptr;
};

QStringList labelTexts(QWidget* within) {
    QStringList texts;
    for (auto* label : within->findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

// The ball with its wave settings taken from `waves`: what a dice throw may
// change and nothing more.
Ball withWavesOf(Ball ball, const Ball& waves) {
    ball.waveTypeX = waves.waveTypeX;
    ball.waveTypeY = waves.waveTypeY;
    ball.ampX = waves.ampX;
    ball.freqX = waves.freqX;
    ball.phaseX = waves.phaseX;
    ball.ampY = waves.ampY;
    ball.freqY = waves.freqY;
    ball.phaseY = waves.phaseY;
    return ball;
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
    void startOnBallThreeSendsOnParameterThreeFromTheNextTickAndStopStopsIt();
    void choosingRegenMixAssignsParameter41AndTheSendsFollow();
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
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(h.physics->ballTabs()->tabText(i), QString::number(i + 1));
    }

    BallPageView* page = h.page(1);
    QVERIFY(labelTexts(page).contains("Ball 1"));
    QCOMPARE(page->paramLabel()->text(), QString(": Odd harmonics A"));
    QCOMPARE(page->runButton()->text(), QString("Start"));
    QCOMPARE(page->paramPicker()->count(), 41);
    QCOMPARE(page->paramPicker()->currentText(), QString("Odd harmonics A"));
    QCOMPARE(page->waveYPicker()->currentText(), QString("Sine"));
    QCOMPARE(page->waveXPicker()->currentText(), QString("Sine"));
    QCOMPARE(page->magnetToggle()->text(), QString("Enabled"));
    QVERIFY(!page->magnetToggle()->isChecked());

    const std::vector<std::pair<BallSlider, QString>> expected = {
        {BallSlider::ampY, "Amp Y: 2.0"},     {BallSlider::freqY, "Freq Y: 1.5"},
        {BallSlider::phaseY, "Phase Y: 0.5"}, {BallSlider::magnetStrength, "Strength: 0.0"},
        {BallSlider::magnetX, "Mag X: 125"},  {BallSlider::magnetY, "Mag Y: 125"},
        {BallSlider::ampX, "Amp X: 2.0"},     {BallSlider::freqX, "Freq X: 1.0"},
        {BallSlider::phaseX, "Phase X: 0.0"},
    };
    for (const auto& [which, label] : expected) {
        QCOMPARE(page->valueLabel(which)->text(), label);
    }
    QCOMPARE(page->slider(BallSlider::ampY)->doubleValue(), 2.0);
    QCOMPARE(page->slider(BallSlider::magnetX)->doubleValue(), 125.0);

    // The other pages show their own balls.
    QVERIFY(labelTexts(h.page(5)).contains("Ball 5"));
    QCOMPARE(h.physics->ballPage(4)->paramLabel()->text(), QString(": Tuning A"));
    QCOMPARE(h.physics->ballPage(1)->waveYPicker()->currentText(), QString("Triangle"));
}

void PhysicsViewTest::startOnBallThreeSendsOnParameterThreeFromTheNextTickAndStopStopsIt() {
    PhysicsHarness h;
    QPushButton* run = h.page(3)->runButton();
    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(run->text(), QString("Stop"));
    QVERIFY(h.ball(3).isRunning);
    QVERIFY2(h.sent().empty(), "starting sends nothing by itself");

    const Point start = h.ball(3).pos;
    h.tick();
    QVERIFY(h.ball(3).pos != start);
    QCOMPARE(h.sent(), (std::vector<Sent>{{3, PhysicsHarness::sentValue(h.ball(3))}}));
    h.tick();
    QCOMPARE(h.sent().size(), std::size_t{2});
    QCOMPARE(h.sent().back(), (Sent{3, PhysicsHarness::sentValue(h.ball(3))}));

    QTest::mouseClick(run, Qt::LeftButton);
    QCOMPARE(run->text(), QString("Start"));
    const Point stopped = h.ball(3).pos;
    h.tick();
    h.tick();
    QCOMPARE(h.sent().size(), std::size_t{2});
    QCOMPARE(h.ball(3).pos, stopped);
    QVERIFY(!h.ball(1).isRunning && !h.ball(2).isRunning);
}

void PhysicsViewTest::choosingRegenMixAssignsParameter41AndTheSendsFollow() {
    PhysicsHarness h;
    BallPageView* page = h.page(2);
    QComboBox* picker = page->paramPicker();
    picker->setFocus();
    // The last row is "regen mix".
    QTest::keyClick(picker, Qt::Key_End);
    QCOMPARE(picker->currentText(), QString("regen mix"));
    QCOMPARE(h.ball(2).assignedParam, std::int64_t{41});
    QCOMPARE(page->paramLabel()->text(), QString(": regen mix"));
    QCOMPARE(h.ball(1).assignedParam, std::int64_t{1});

    page->runButton()->setFocus();
    QTest::keyClick(page->runButton(), Qt::Key_Space);
    QVERIFY(h.ball(2).isRunning);
    h.tick();
    h.tick();
    QCOMPARE(h.sent().size(), std::size_t{2});
    for (const Sent& s : h.sent()) {
        QCOMPARE(s.parameter, std::int64_t{41});
    }
}

void PhysicsViewTest::diceRedrawsOnlyTheWavesWithinTheSliderRanges() {
    PhysicsHarness h;
    QTest::mouseClick(h.page(4)->runButton(), Qt::LeftButton);
    h.tick();
    const std::size_t sentBefore = h.sent().size();
    const std::vector<Ball> before = h.physics->simulation().balls();

    QTest::mouseClick(h.physics->diceButton(), Qt::LeftButton);
    QCOMPARE(h.sent().size(), sentBefore);
    const auto& after = h.physics->simulation().balls();
    QCOMPARE(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        const Ball& ball = after[i];
        QCOMPARE(ball, withWavesOf(before[i], ball));
        QVERIFY2(ball != before[i], "every ball gets new waves");
        for (const double amp : {ball.ampX, ball.ampY}) {
            QVERIFY(amp >= 0.0 && amp <= PhysicsSimulation::kMaxAmplitude);
        }
        for (const double freq : {ball.freqX, ball.freqY}) {
            QVERIFY(freq >= 0.0 && freq <= PhysicsSimulation::kMaxFrequency);
        }
        for (const double phase : {ball.phaseX, ball.phaseY}) {
            QVERIFY(phase >= 0.0 && phase <= PhysicsSimulation::kMaxPhase);
        }

        // The page shows the new waves at once.
        BallPageView* page = h.physics->ballPage(i);
        QCOMPARE(page->waveXPicker()->currentIndex(), static_cast<int>(ball.waveTypeX));
        QCOMPARE(page->waveYPicker()->currentIndex(), static_cast<int>(ball.waveTypeY));
        QCOMPARE(page->valueLabel(BallSlider::ampX)->text(),
                 QString::asprintf("Amp X: %.1f", ball.ampX));
        QCOMPARE(page->valueLabel(BallSlider::phaseY)->text(),
                 QString::asprintf("Phase Y: %.1f", ball.phaseY));
        QVERIFY(std::abs(page->slider(BallSlider::freqY)->doubleValue() - ball.freqY) < 0.01);
        QCOMPARE(page->runButton()->text(), QString(ball.isRunning ? "Stop" : "Start"));
    }
    QVERIFY(after[3].isRunning);
    QVERIFY(!after[0].isRunning && !after[4].isRunning);
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
    QTest::keyClick(phase, Qt::Key_Left);
    QVERIFY(h.ball(1).phaseY < PhysicsSimulation::kMaxPhase);
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
    QVERIFY(near(colourAt(area->widgetPoint(h.ball(1).pos)), QColor(0xff, 0x3b, 0x30)));
    QVERIFY(near(colourAt(area->widgetPoint(h.ball(2).pos)), QColor(0x00, 0x7a, 0xff)));
    QVERIFY(near(colourAt(area->widgetPoint(h.ball(5).pos)), QColor(0xaf, 0x52, 0xde)));
    // The frame: gray, two points wide, on the square's edge.
    QVERIFY(near(colourAt(QPointF(1, 125)), QColor(0x8e, 0x8e, 0x93)));
    QVERIFY(near(colourAt(QPointF(125, 250)), QColor(0x8e, 0x8e, 0x93)));

    h.physics->simulation().toggleRunning(0);
    for (int i = 0; i < 30; ++i) {
        h.tick();
    }
    const QPointF moved = area->widgetPoint(h.ball(1).pos);
    QVERIFY(near(colourAt(moved), QColor(0xff, 0x3b, 0x30)));
    QVERIFY(!near(colourAt(area->widgetPoint({40.0, 40.0})), QColor(0xff, 0x3b, 0x30)));

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
    QApplication::processEvents();
    QCOMPARE(area->framesPainted(), shown);
    h.tick();
    QTRY_VERIFY(area->framesPainted() > shown);

    // With no ball running nothing moves and nothing is redrawn.
    h.physics->simulation().toggleRunning(0);
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
        sliderNames << page->slider(static_cast<BallSlider>(i))->accessibleName();
    }
    QCOMPARE(sliderNames, (QStringList{"Amp Y", "Freq Y", "Phase Y", "Strength", "Mag X", "Mag Y",
                                       "Amp X", "Freq X", "Phase X"}));
    const auto name = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    };
    // On Linux Qt reports a picker's current row as its accessible name; a
    // screen reader names it by the label that labels it.
    const auto labelledBy = [](QWidget* w) {
        const auto labels = QAccessible::queryAccessibleInterface(w)->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    };
    for (auto [picker, label] :
         {std::pair{page->paramPicker(), "Param"}, std::pair{page->waveYPicker(), "Y wave:"},
          std::pair{page->waveXPicker(), "X wave:"}}) {
        QCOMPARE(picker->accessibleName(), QString(label));
        QCOMPARE(labelledBy(picker), QString(label));
    }
    QCOMPARE(name(page->runButton()), QString("Start"));
    QCOMPARE(name(page->magnetToggle()), QString("Enabled"));
    QCOMPARE(name(h.physics->diceButton()), QString("Dice"));
    QAccessibleInterface* tabBar =
        QAccessible::queryAccessibleInterface(h.physics->ballTabs()->tabBar());
    QStringList tabNames;
    for (int i = 0; i < tabBar->childCount(); ++i) {
        tabNames << tabBar->child(i)->text(QAccessible::Name);
    }
    QCOMPARE(tabNames.mid(0, 5), (QStringList{"1", "2", "3", "4", "5"}));

    // Tab walks through every control of the shown ball page and "Dice".
    h.view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.view.get()));
    QList<QWidget*> controls;
    for (auto* w : h.physics->findChildren<QWidget*>()) {
        const bool interactive = qobject_cast<QAbstractButton*>(w) ||
                                 qobject_cast<QAbstractSlider*>(w) || qobject_cast<QComboBox*>(w);
        if (interactive && w->window() == h.view.get() && w->isVisibleTo(h.view.get())) {
            QVERIFY(!name(w).trimmed().isEmpty());
            controls << w;
        }
    }
    QCOMPARE(controls.size(), 9 + 3 + 2 + 1);
    QSet<QWidget*> reached;
    h.physics->ballTabs()->tabBar()->setFocus();
    QWidget* current = QApplication::focusWidget();
    for (int i = 0; i < 200 && current; ++i) {
        reached.insert(current);
        QTest::keyClick(current, Qt::Key_Tab);
        current = QApplication::focusWidget();
    }
    for (auto* w : controls) {
        QVERIFY2(reached.contains(w), qPrintable(name(w)));
    }
}

QTEST_MAIN(PhysicsViewTest)
#include "physics_view_test.moc"
