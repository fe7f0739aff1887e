// The outgoing-MIDI monitor and the status bar's MIDI activity, in the
// program's window over the loopback service.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "gui_harness.hpp"
#include "ui/midi/midi_activity_view.hpp"
#include "ui/midi/midi_monitor_dock.hpp"

using namespace tarnwell;
using namespace std::chrono_literals;
using tarnwell::test::WindowHarness;

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

}  // namespace

class MidiMonitorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void monitorListensOnlyWhileOpenAndFoldsAStreamIntoOneExpandableLine();
    void linkChoiceIsRememberedByDestinationName();
};

void MidiMonitorTest::monitorListensOnlyWhileOpenAndFoldsAStreamIntoOneExpandableLine() {
    WindowHarness shell;
    auto manager = shell.window().midiManager();
    QVERIFY(manager);
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
    QCOMPARE(reset->text(1), QString("100"));
    QCOMPARE(reset->text(2), QString("Reset DAC"));
    QCOMPARE(reset->text(3), QString("127"));
    QCOMPARE(reset->text(5), QString("Synth"));
    QTreeWidgetItem* stream = lines->topLevelItem(1);
    QCOMPARE(stream->text(3), QString("299"));
    QVERIFY(stream->text(4).startsWith("300 sent"));
    QCOMPARE(stream->childCount(), 0);
    stream->setExpanded(true);
    QCOMPARE(stream->childCount(), static_cast<int>(dock->feed().limits().recentPerRow));
    QCOMPARE(stream->child(stream->childCount() - 1)->text(3), QString("299"));

    shell.find("Copy", dock)->click();
    QVERIFY(QGuiApplication::clipboard()->text().contains("\t100\tReset DAC\t127\t\tSynth\thand"));

    // Paused or closed, the monitor records nothing.
    shell.find("Pause", dock)->click();
    QVERIFY(!dock->isListening());
    manager->sendToConnected(5, 5);
    shell.find("Pause", dock)->click();
    open->trigger();
    QVERIFY(!dock->isVisible());
    QVERIFY(!dock->isListening());
    manager->sendToConnected(6, 6);
    QCOMPARE(dock->feed().rows().size(), std::size_t{2});

    open->trigger();
    shell.find("Clear", dock)->click();
    QCOMPARE(lines->topLevelItemCount(), 0);
    manager->sendToConnected(7, 7);
    dock->refresh();
    QCOMPARE(lines->topLevelItemCount(), 1);

    // Lines stay as bounded as the record: the oldest go first.
    const auto maxRows = static_cast<int>(dock->feed().limits().maxRows);
    for (int n = 0; n < maxRows + 100; ++n) {
        manager->sendToConnected(1, 1000 + n);
    }
    dock->refresh();
    QCOMPARE(lines->topLevelItemCount(), maxRows);
    QCOMPARE(lines->topLevelItem(0)->text(1), QString::number(1000 + 100));

    // The status bar counts what went out.
    MidiActivityView* activity = shell.window().midiActivity();
    QVERIFY(activity);
    QTest::qWait(static_cast<int>(2 * MidiActivityView::kSampleInterval.count()));
    for (int i = 0; i < 30; ++i) {
        manager->sendToConnected(i, 3);
    }
    activity->sample();
    QVERIFY(activity->light()->styleSheet().contains("#34c759"));
    QVERIFY(!activity->rates()->text().startsWith("0 msg/s"));
}

void MidiMonitorTest::linkChoiceIsRememberedByDestinationName() {
    test::TempDir folder;
    {
        WindowHarness shell({.folder = &folder});
        MidiActivityView* activity = shell.window().midiActivity();
        QCOMPARE(activity->linkPicker()->currentText(), QString("Software/USB"));
        activity->linkPicker()->setCurrentIndex(1);
        Q_EMIT activity->linkPicker()->activated(1);
        activity->pacing()->setChecked(true);
        QVERIFY(shell.window().midiManager()->pacingActive());
    }
    WindowHarness again({.folder = &folder});
    const auto manager = again.window().midiManager();
    QCOMPARE(manager->connectedLinkSpeed(), LinkSpeed::din);
    QVERIFY(manager->pacingActive());
    QCOMPARE(again.window().midiActivity()->linkPicker()->currentText(), QString("DIN MIDI"));
    QVERIFY(again.window().midiActivity()->pacing()->isChecked());
}

QTEST_MAIN(MidiMonitorTest)
#include "midi_monitor_test.moc"
