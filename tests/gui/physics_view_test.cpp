// The "Physics" tab through its real widgets: what each ball page shows, what its controls write
// into the ball and what the balls then send; the tests tick the simulation by hand.
#include "ui/physics/physics_view.hpp"

#include <QCheckBox>

#include "gui_harness.hpp"
#include "ui/physics/ball_area_view.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

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

}  // namespace

class PhysicsViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachPageShowsItsBallsSettings() {
        PhysicsHarness h;
        QCOMPARE(h.view->tabs()->tabText(h.view->tabs()->indexOf(h.physics)), QString("Physics"));
        QCOMPARE(h.physics->ballTabs()->count(), 5);
        BallPageView* page = h.page(1);
        QCOMPARE(page->paramLabel()->text(), QString(": Odd harmonics A"));
        QCOMPARE(page->paramPicker()->count(), 41);
        QCOMPARE(page->waveXPicker()->currentText(), QString("Sine"));
        QVERIFY(!page->magnetToggle()->isChecked());
        const QStringList expected = {"Amp Y: 2.0",    "Freq Y: 1.5", "Phase Y: 0.5",
                                      "Strength: 0.0", "Mag X: 125",  "Mag Y: 125",
                                      "Amp X: 2.0",    "Freq X: 1.0", "Phase X: 0.0"};
        for (std::size_t i = 0; i < kBallSliderCount; ++i) {
            QCOMPARE(page->valueLabel(static_cast<BallSlider>(i))->text(), expected[int(i)]);
        }
        QCOMPARE(h.physics->ballPage(4)->paramLabel()->text(), QString(": Tuning A"));
        QCOMPARE(h.physics->ballPage(1)->waveYPicker()->currentText(), QString("Triangle"));
    }

    void runButtonsAndTheParamPickerDecideWhatIsSentFromTheNextTick() {
        PhysicsHarness h;
        // Ball 2 on "regen mix", the picker's last row, and started from the keyboard.
        BallPageView* two = h.page(2);
        two->paramPicker()->setFocus();
        QTest::keyClick(two->paramPicker(), Qt::Key_End);
        QCOMPARE(h.ball(2).assignedParam, std::int64_t{41});
        QCOMPARE(two->paramLabel()->text(), QString(": regen mix"));
        QCOMPARE(h.ball(1).assignedParam, std::int64_t{1});
        two->runButton()->setFocus();
        QTest::keyClick(two->runButton(), Qt::Key_Space);

        QPushButton* run = h.page(3)->runButton();
        QTest::mouseClick(run, Qt::LeftButton);
        QCOMPARE(run->text(), QString("Stop"));
        QVERIFY2(h.sent().empty(), "starting sends nothing by itself");
        h.tick();
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
    }

    void theTimerWakesOnlyWhileABallRuns() {
        PhysicsHarness h;
        TickTimer& timer = *h.app->tickTimer();
        timer.start();  // the harness stopped it; its schedule starts over
        QVERIFY2(!timer.isWaking(), "no ball runs: nothing to wake for");
        QPushButton* one = h.page(1)->runButton();
        QPushButton* four = h.page(4)->runButton();
        QTest::mouseClick(one, Qt::LeftButton);
        QVERIFY(timer.isWaking());
        QTest::mouseClick(four, Qt::LeftButton);
        QTest::mouseClick(one, Qt::LeftButton);
        QVERIFY2(timer.isWaking(), "ball 4 still runs");
        QTest::mouseClick(four, Qt::LeftButton);
        QVERIFY(!timer.isWaking());
        // Undoing a start stops the ball and the timer with it.
        QTest::mouseClick(four, Qt::LeftButton);
        QVERIFY(timer.isWaking());
        h.actions().undo->trigger();
        QVERIFY(!h.ball(4).isRunning);
        QVERIFY(!timer.isWaking());
        timer.stop();
    }

    void pageControlsWriteTheirOwnFieldToTheirOwnBall() {
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

        QTest::keyClick(page->magnetToggle(), Qt::Key_Space);
        QVERIFY(h.ball(1).magnetEnabled);
        QVERIFY(!h.ball(2).magnetEnabled);
        QTest::keyClick(page->magnetToggle(), Qt::Key_Space);
        QVERIFY(!h.ball(1).magnetEnabled);

        page->waveYPicker()->setFocus();
        QTest::keyClick(page->waveYPicker(), Qt::Key_End);
        QCOMPARE(h.ball(1).waveTypeY, WaveType::triangle);
        QCOMPARE(h.ball(1).waveTypeX, WaveType::sine);
    }

    void diceRedrawsTheWavesAndEveryPageShowsThem() {
        PhysicsHarness h;
        h.model().physics().editBall(2, [](Ball& b) { b.magnetEnabled = true; });
        const std::vector<Ball> before = h.model().physics().balls();
        QTest::mouseClick(h.physics->diceButton(), Qt::LeftButton);
        QVERIFY(h.sent().empty());
        const auto& after = h.model().physics().balls();
        for (std::size_t i = 0; i < after.size(); ++i) {
            const Ball& ball = after[i];
            QVERIFY2(ball != before[i], "every ball gets new waves");
            QCOMPARE(ball.pos, before[i].pos);
            BallPageView* page = h.physics->ballPage(i);
            QCOMPARE(page->waveXPicker()->currentIndex(), static_cast<int>(ball.waveTypeX));
            QCOMPARE(page->waveYPicker()->currentIndex(), static_cast<int>(ball.waveTypeY));
            QVERIFY(std::abs(page->slider(BallSlider::freqY)->doubleValue() - ball.freqY) < 0.01);
            QCOMPARE(page->valueLabel(BallSlider::ampX)->text(),
                     QString::asprintf("Amp X: %.1f", ball.ampX));
            QCOMPARE(page->magnetToggle()->isChecked(), i == 2);
        }
    }

    void theAreaDrawsEachBallAtItsPositionAndOnlyWhileShown() {
        PhysicsHarness h;
        BallAreaView* area = h.physics->ballArea();
        QCOMPARE(area->size(), QSize(252, 252));
        // Inside a frame line 2 points wide: the point (x, y) is pixel (1 + x, 1 + y).
        const auto colourAt = [area](Point p) {
            return area->grab().toImage().pixelColor(QPoint(int(1 + p.x), int(1 + p.y)));
        };
        const QColor red(0xff, 0x3b, 0x30);
        QVERIFY(near(colourAt({80, 60}), QColor(0x00, 0x7a, 0xff)));
        QVERIFY(near(colourAt({0, 124}), QColor(0x8e, 0x8e, 0x93)));

        h.model().physics().toggleRunning(0);
        for (int i = 0; i < 30; ++i) {
            h.tick();
        }
        QVERIFY(near(colourAt(h.ball(1).pos), red));
        QVERIFY(!near(colourAt({40.0, 40.0}), red));

        // While another tab is on screen the balls move, but nothing is drawn.
        QApplication::processEvents();
        h.view->tabs()->setCurrentIndex(0);
        QApplication::processEvents();
        const auto frames = area->framesPainted();
        h.tick();
        QApplication::processEvents();
        QCOMPARE(area->framesPainted(), frames);
        QCOMPARE(h.sent().size(), std::size_t{31});

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
};

QTEST_MAIN(PhysicsViewTest)
#include "physics_view_test.moc"
