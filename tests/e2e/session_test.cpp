// The whole program over a real JACK server and real receiving peers.
#include <map>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "core/midi/jack_service.hpp"
#include "core/model.hpp"
#include "testing/jack_peer.hpp"
#include "testing/wire.hpp"
#include "ui/app/application.hpp"
#include "ui/app/main_window.hpp"
#include "ui/panel/content_view.hpp"

using namespace tarnwell;
using namespace std::chrono_literals;

class SessionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void theChosenDestinationOutlivesAQuitAndUndoSendsTheEarlierValues();
    void groupedRecallAndDiceEndOnThePanelAtThePeerAndCompareSendsOnlyTheDifferences();
    void sendAllThenQuitAtOnceStillReachesThePeerWhole();
};

namespace {

// A deadline for QTRY_*_WITH_TIMEOUT, stretched like every end-to-end wait.
int within(std::chrono::milliseconds timeout) {
    return static_cast<int>(test::scaled(timeout).count());
}

// The last value sent for each parameter in `bytes`.
std::map<std::int64_t, std::int64_t> lastValues(const std::vector<std::uint8_t>& bytes) {
    std::map<std::int64_t, std::int64_t> last;
    for (const test::Sent& s : test::decodeSequences(bytes)) {
        last[s.parameter] = s.value;
    }
    return last;
}

void expectWireEqualsPanel(const test::MidiPeer& peer, const Controller& controller) {
    const auto last = lastValues(peer.bytes());
    for (std::int64_t n = 1; n <= 42; ++n) {
        const auto shown = static_cast<std::int64_t>(controller.sliderValues()[n - 1]);
        QVERIFY2(last.contains(n) && last.at(n) == shown,
                 qPrintable(QString("NRPN %1: panel %2").arg(n).arg(shown)));
    }
}

// The real program's environment on the JACK server, its settings and
// documents in `folder`.
AppEnvironment overJack(const QTemporaryDir& folder) {
    AppEnvironment environment;
    environment.makeMidiService = [] { return std::make_shared<JackMidiService>(); };
    environment.settingsFile = folder.filePath("settings.ini");
    const auto documents = std::filesystem::path(folder.path().toStdString());
    environment.documentsFolder = [documents] { return std::optional(documents); };
    return environment;
}

// Picks `port` in the started program's destination picker once it is listed;
// true once the status line shows it.
bool choose(Application& app, const std::string& port) {
    const auto row = [&] {
        const auto& names = app.model()->controller().destinationNames();
        return std::ranges::find(names, port) - names.begin();
    };
    if (!QTest::qWaitFor(
            [&] {
                return app.model() != nullptr &&
                       row() < std::ssize(app.model()->controller().destinationNames());
            },
            within(10000ms))) {
        return false;
    }
    Q_EMIT app.contentView()->destinationPicker()->activated(static_cast<int>(row()));
    return QTest::qWaitFor(
        [&] { return app.contentView()->statusText()->text() == QString::fromStdString(port); },
        within(5000ms));
}

}  // namespace

void SessionTest::init() {
    if (!test::JackSink().ok()) {
        QSKIP("no JACK server answers (scripts/test.sh and .ci/run start one)");
    }
}

void SessionTest::theChosenDestinationOutlivesAQuitAndUndoSendsTheEarlierValues() {
    test::MidiPeer dump(test::MidiPeer::Kind::jackMidiDump);
    test::MidiPeer python(test::MidiPeer::Kind::pythonRtMidi, {}, "session-peer");
    QTemporaryDir folder;
    const AppEnvironment environment = overJack(folder);

    QString chosen;
    {
        Application app(environment);
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.model() != nullptr, within(5000ms));
        Controller& controller = app.model()->controller();
        QTRY_VERIFY_WITH_TIMEOUT(controller.connectedRow() >= 0, within(5000ms));
        // The destination the panel did not take by itself.
        const std::string taken =
            controller.destinationNames()[static_cast<std::size_t>(controller.connectedRow())];
        const std::string other = taken == dump.port() ? python.port() : dump.port();
        chosen = QString::fromStdString(other);
        QVERIFY(choose(app, other));
        QTimer::singleShot(0, app.window().actions().quit, &QAction::trigger);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    Application again(environment);
    again.start();
    QTRY_COMPARE_WITH_TIMEOUT(
        again.contentView() ? again.contentView()->statusText()->text() : QString(), chosen,
        within(10000ms));
    const test::MidiPeer& peer = chosen.toStdString() == dump.port() ? dump : python;
    const std::size_t before = peer.bytes().size();
    again.window().actions().dice->trigger();
    again.window().actions().undo->trigger();
    QVERIFY(peer.waitForBytes(before + 2 * 42 * 12, 10s));
    const std::vector<std::uint8_t> all = peer.bytes();
    const auto undone =
        test::decodeSequences(std::vector<std::uint8_t>(all.end() - 42 * 12, all.end()));
    for (std::int64_t n = 1; n <= 42; ++n) {
        QCOMPARE(undone[static_cast<std::size_t>(n - 1)], (test::Sent{n, 0}));
    }
}

void SessionTest::groupedRecallAndDiceEndOnThePanelAtThePeerAndCompareSendsOnlyTheDifferences() {
    // The python peer keeps every event of a burst (jack_midi_dump may not).
    test::MidiPeer peer(test::MidiPeer::Kind::pythonRtMidi, {}, "grouped-peer");
    QTemporaryDir folder;
    Application app(overJack(folder));
    app.start();
    QVERIFY(choose(app, peer.port()));
    Controller& controller = app.model()->controller();
    Presets& presets = app.model()->presets();
    const auto waitForSequences = [&](std::size_t count) {
        return peer.waitForBytes(count * 12, 20s);
    };

    // Units A and C grouped; the imported first preset has A and C apart.
    controller.toggleLink(0);
    controller.toggleLink(2);
    MidiSliderPreset apart;
    for (std::size_t i = 0; i < 42; ++i) {
        apart.values[i] = 300.0 * static_cast<double>(i) + 0.75;
    }
    presets.replacePresets({apart, MidiSliderPreset{}});
    QVERIFY(waitForSequences(50));
    QCoreApplication::processEvents();  // anything queued by the recall runs now
    QCOMPARE(controller.sliderValues(), apart.values);
    expectWireEqualsPanel(peer, controller);

    app.window().actions().dice->trigger();
    QVERIFY(waitForSequences(92));
    QCoreApplication::processEvents();
    for (std::size_t s = 0; s < 6; ++s) {
        QCOMPARE(controller.sliderValues()[12 + s], controller.sliderValues()[s]);
    }
    expectWireEqualsPanel(peer, controller);

    // Compare sends only what differs from the saved preset, and back.
    app.window().actions().savePreset->trigger();
    controller.editParameter(40, 1.0);
    controller.setModeToggle(ModeToggle::filterModeToggle, true);
    QVERIFY(waitForSequences(94));
    const std::size_t before = peer.bytes().size() / 12;
    app.window().actions().compare->trigger();
    QVERIFY(presets.isComparing());
    QVERIFY(waitForSequences(before + 2));
    const auto all = test::decodeSequences(peer.bytes());
    QCOMPARE(all.size(), before + 2);
    QCOMPARE(all[before].parameter, std::int64_t{41});
    QCOMPARE(all[before + 1], (test::Sent{135, 135}));
    expectWireEqualsPanel(peer, controller);
}

void SessionTest::sendAllThenQuitAtOnceStillReachesThePeerWhole() {
    test::MidiPeer peer(test::MidiPeer::Kind::pythonRtMidi, {}, "quit-peer");
    QTemporaryDir folder;
    const AppEnvironment environment = overJack(folder);
    // A quit races the JACK cycles that carry the last sends: a few runs.
    for (int run = 0; run < 3; ++run) {
        const double value = 777.0 + run;
        std::size_t before = 0;
        {
            Application app(environment);
            app.start();
            QVERIFY(choose(app, peer.port()));
            const std::size_t had = peer.bytes().size();
            app.model()->controller().editParameter(7, value);
            QVERIFY(peer.waitForBytes(had + 12, 20s));
            before = peer.bytes().size();
            // The musician's last act: Send All to Synth, and Quit straight after.
            QTimer::singleShot(0, [&app] {
                app.window().actions().sendAll->trigger();
                app.window().actions().quit->trigger();
            });
            QCOMPARE(QCoreApplication::exec(), 0);
        }
        QVERIFY(peer.waitForBytes(before + 56 * 12, 20s));
        peer.waitQuiet(300ms, 2s);
        const std::vector<std::uint8_t> all = peer.bytes();
        QCOMPARE(all.size(), before + 56 * 12);
        auto values = lastValues({all.begin() + static_cast<std::ptrdiff_t>(before), all.end()});
        for (std::int64_t n = 1; n <= 42; ++n) {
            QCOMPARE(values[n], n == 8 ? static_cast<std::int64_t>(value) : 0);
        }
    }
}

QTEST_MAIN(SessionTest)
#include "session_test.moc"
