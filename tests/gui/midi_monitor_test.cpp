// The outgoing-MIDI monitor and the status bar's MIDI activity, over the loopback service.
#include <QCheckBox>
#include <QClipboard>
#include <QProgressBar>
#include <QTreeWidget>

#include "core/base/time_source.hpp"
#include "core/midi/traffic_meter.hpp"
#include "gui_harness.hpp"
#include "ui/midi/midi_activity_view.hpp"
#include "ui/midi/midi_monitor_dock.hpp"

using namespace tarnwell;
using namespace std::chrono_literals;
using namespace tarnwell::test;

namespace {

QAction* monitorAction(MainWindow& window) {
    for (QAction* menu : window.menuBar()->actions()) {
        if (QString(menu->text()).remove(QChar('&')) == "View" && menu->menu()) {
            for (QAction* item : menu->menu()->actions()) {
                if (item->text() == "MIDI Monitor") {
                    return item;
                }
            }
        }
    }
    return nullptr;
}

// A clock the test moves.
class TestClock final : public TimeSource {
public:
    [[nodiscard]] std::chrono::nanoseconds now() const override { return now_; }
    void advance(std::chrono::nanoseconds by) { now_ += by; }

private:
    std::chrono::nanoseconds now_{std::chrono::hours(1)};
};

}  // namespace

class MidiMonitorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void monitorListensOnlyWhileOpenAndFoldsAStreamIntoOneExpandableLine() {
        WindowHarness shell;
        MidiManager* manager = &shell.model().midi();
        MidiMonitorDock* dock = shell.window().midiMonitor();
        QAction* open = monitorAction(shell.window());
        QVERIFY(open);
        QCOMPARE(open->shortcut(), QKeySequence("Ctrl+Shift+M"));
        QVERIFY(!dock->isListening());

        manager->sendToConnected(1, 1);
        open->trigger();
        QVERIFY(dock->isVisible());
        QVERIFY(dock->isListening());
        shell.controller().resetDAC();
        for (int i = 0; i < 300; ++i) {
            manager->sendToConnected(i, 2, SendOrigin::physics);
            if (i == 150) {
                dock->refresh();
            }
        }
        dock->refresh();
        QTreeWidget* lines = dock->lines();
        QCOMPARE(lines->topLevelItemCount(), 2);  // the send before opening is not shown
        QTreeWidgetItem* reset = lines->topLevelItem(0);
        const QStringList resetColumns{reset->text(1), reset->text(2), reset->text(3),
                                       reset->text(5)};
        QCOMPARE(resetColumns, (QStringList{"100", "Reset DAC", "127", "Synth"}));
        QTreeWidgetItem* stream = lines->topLevelItem(1);
        QCOMPARE(stream->text(3), QString("299"));
        QVERIFY(stream->text(4).startsWith("300 sent"));
        QCOMPARE(stream->childCount(), 0);
        stream->setExpanded(true);
        QCOMPARE(stream->childCount(), static_cast<int>(dock->feed()->limits().recentPerRow));
        QCOMPARE(stream->child(stream->childCount() - 1)->text(3), QString("299"));

        shell.find("Copy", dock)->click();
        QVERIFY(
            QGuiApplication::clipboard()->text().contains("\t100\tReset DAC\t127\t\tSynth\thand"));

        // Paused or closed, the monitor records nothing.
        shell.find("Pause", dock)->click();
        QVERIFY(!dock->isListening());
        manager->sendToConnected(5, 5);
        shell.find("Pause", dock)->click();
        open->trigger();
        QVERIFY(!dock->isVisible());
        QVERIFY(!dock->isListening());
        manager->sendToConnected(6, 6);
        QCOMPARE(dock->feed()->rows().size(), std::size_t{2});

        open->trigger();
        shell.find("Clear", dock)->click();
        QCOMPARE(lines->topLevelItemCount(), 0);
        manager->sendToConnected(7, 7);
        dock->refresh();
        QCOMPARE(lines->topLevelItemCount(), 1);

        // Lines stay as bounded as the record: the oldest go first.
        const auto maxRows = static_cast<int>(dock->feed()->limits().maxRows);
        for (int n = 0; n < maxRows + 100; ++n) {
            manager->sendToConnected(1, 1000 + n);
        }
        dock->refresh();
        QCOMPARE(lines->topLevelItemCount(), maxRows);
        QCOMPARE(lines->topLevelItem(0)->text(1), QString::number(1000 + 100));
    }

    void monitorRefreshesOnlyWhenSomethingWasSentAndWhileOnScreen() {
        WindowHarness shell;
        shell.window().show();
        MidiManager& manager = shell.model().midi();
        MidiMonitorDock* dock = shell.window().midiMonitor();
        dock->show();
        // Whatever opening it armed runs; then, with nothing sent, it sleeps.
        QTRY_VERIFY2(!dock->isRefreshPending(), "open, with nothing sent, the monitor sleeps");

        manager.sendToConnected(1, 1);
        QVERIFY(dock->isRefreshPending());
        QTRY_COMPARE(dock->lines()->topLevelItemCount(), 1);
        QVERIFY(!dock->isRefreshPending());
        // A stream arms one refresh, a repaint interval after the last.
        for (int i = 0; i < 100; ++i) {
            manager.sendToConnected(i, 2, SendOrigin::physics);
            QVERIFY(dock->isRefreshPending());
        }
        QTRY_COMPARE(dock->lines()->topLevelItemCount(), 2);
        QCOMPARE(dock->lines()->topLevelItem(1)->text(3), QString("99"));

        // Minimised, it records without refreshing; restored, it shows what came meanwhile.
        shell.window().showMinimized();
        QTRY_VERIFY(shell.window().isMinimized());
        manager.sendToConnected(5, 5);
        QVERIFY(!dock->isRefreshPending());
        QCOMPARE(dock->feed()->rows().size(), std::size_t{3});
        shell.window().showNormal();
        QTRY_COMPARE(dock->lines()->topLevelItemCount(), 3);
    }

    // A view of its own on a clock the test moves; the timer is the test.
    void activitySamplesOnlyWhileTrafficMovesAndShowsOnlyVisibleSteps() {
        WindowHarness shell;
        MidiManager& manager = shell.model().midi();
        TestClock clock;
        TrafficMeter meter;
        MidiActivityView view(shell.model().sharedMidi(), meter, clock);
        QVERIFY2(!view.isSampling() && !view.isWatching(), "not on screen: not even listening");
        view.show();
        QVERIFY(view.isSampling());
        clock.advance(MidiActivityView::kSampleInterval);
        view.sample();
        QVERIFY2(!view.isSampling(), "nothing flows: it sleeps after one look");
        QVERIFY(view.isWatching());

        // `perSecond` sequences a second for `seconds`, sampled as the timer would.
        constexpr auto kInterval = MidiActivityView::kSampleInterval;
        constexpr int kSamplesPerSecond = static_cast<int>(std::chrono::seconds(1) / kInterval);
        const auto run = [&](double seconds, int perSecond) {
            for (int s = 0; s < static_cast<int>(seconds * kSamplesPerSecond + 0.5); ++s) {
                for (int i = 0; i < perSecond / kSamplesPerSecond; ++i) {
                    manager.sendToConnected(i, 1 + i % 5, SendOrigin::physics);
                }
                clock.advance(kInterval);
                view.sample();
            }
        };
        manager.sendToConnected(1, 1);
        QVERIFY2(!view.isWatching(), "the first send wakes it");
        QVERIFY(view.isSampling());
        QVERIFY2(view.light()->isLit(), "lit at once");
        run(1.5, 300);  // five balls
        QVERIFY(view.light()->isLit());
        QCOMPARE(view.rates()->text(), QString("1200 msg/s  3600 B/s"));
        QCOMPARE(view.loadMeter()->value(), 115);
        QCOMPARE(view.sampleInterval(), MidiActivityView::kSteadySampleInterval);
        // A tick more or less in a sample is no visible step.
        run(1.0 / kSamplesPerSecond, 300 + 5 * kSamplesPerSecond);
        QCOMPARE(view.rates()->text(), QString("1200 msg/s  3600 B/s"));
        run(1.0 / kSamplesPerSecond, 300 - 5 * kSamplesPerSecond);
        QCOMPARE(view.rates()->text(), QString("1200 msg/s  3600 B/s"));
        run(1.5, 440);
        QCOMPARE(view.rates()->text(), QString("1760 msg/s  5280 B/s"));
        QCOMPARE(view.sampleInterval(), kInterval);  // the figures moved within the last second

        // Traffic stops: a second later it shows zero and sleeps.
        run(1.0 - 1.0 / kSamplesPerSecond, 0);
        QVERIFY(view.isSampling());
        QVERIFY(view.rates()->text() != QString("0 msg/s  0 B/s"));
        run(1.0 / kSamplesPerSecond, 0);
        QVERIFY(!view.light()->isLit());
        QCOMPARE(view.rates()->text(), QString("0 msg/s  0 B/s"));
        QCOMPARE(view.loadMeter()->value(), 0);
        QVERIFY(!view.isSampling());
        QVERIFY(view.isWatching());

        // Hidden (as in a minimised window), it neither samples nor listens; shown, looks once.
        manager.sendToConnected(2, 2);
        QVERIFY(view.isSampling());
        view.hide();
        QVERIFY(!view.isSampling() && !view.isWatching());
        manager.sendToConnected(3, 3);
        QVERIFY(!view.isSampling());
        view.show();
        QVERIFY(view.isSampling());
    }

    void linkChoiceIsRememberedByDestinationName() {
        test::TempDir folder;
        {
            WindowHarness shell({.folder = &folder});
            MidiActivityView* activity = shell.window().midiActivity();
            QCOMPARE(activity->linkPicker()->currentText(), QString("Software/USB"));
            activity->linkPicker()->setCurrentIndex(1);
            Q_EMIT activity->linkPicker()->activated(1);
            activity->pacing()->setChecked(true);
            QVERIFY(shell.model().midi().pacingActive());
        }
        WindowHarness again({.folder = &folder});
        MidiManager* manager = &again.model().midi();
        QCOMPARE(manager->connectedLinkSpeed(), LinkSpeed::din);
        QVERIFY(manager->pacingActive());
        QCOMPARE(again.window().midiActivity()->linkPicker()->currentText(), QString("DIN MIDI"));
        QVERIFY(again.window().midiActivity()->pacing()->isChecked());
    }
};

QTEST_MAIN(MidiMonitorTest)
#include "midi_monitor_test.moc"
