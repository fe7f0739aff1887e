// The whole program over a real JACK server and two real receiving peers: the
// destination chosen in one run is the one the next run connects to, by name,
// after a quit from the menu; and undo puts the synthesizer back.
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
    void theChosenDestinationOutlivesAQuitAndUndoSendsTheEarlierValues();
};

void SessionTest::theChosenDestinationOutlivesAQuitAndUndoSendsTheEarlierValues() {
    if (!test::JackSink().ok()) {
        QSKIP("no JACK server answers (scripts/test.sh and .ci/run start one)");
    }
    test::MidiPeer dump(test::MidiPeer::Kind::jackMidiDump);
    test::MidiPeer python(test::MidiPeer::Kind::pythonRtMidi, {}, "session-peer");
    QTemporaryDir folder;
    AppEnvironment environment;
    environment.makeMidiService = [] { return std::make_shared<JackMidiService>(); };
    environment.settingsFile = folder.filePath("settings.ini");
    const auto documents = std::filesystem::path(folder.path().toStdString());
    environment.documentsFolder = [documents] { return std::optional(documents); };

    QString chosen;
    {
        Application app(environment);
        app.start();
        QTRY_VERIFY_WITH_TIMEOUT(app.model() != nullptr, 5000);
        Controller& controller = app.model()->controller();
        const auto listed = [&](const std::string& port) {
            return std::ranges::count(controller.destinationNames(), port) == 1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(dump.port()) && listed(python.port()), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(controller.connectedRow() >= 0, 5000);
        // The destination the panel did not take by itself.
        const auto& names = controller.destinationNames();
        const std::string first = names[static_cast<std::size_t>(controller.connectedRow())];
        const std::string second = first == dump.port() ? python.port() : dump.port();
        chosen = QString::fromStdString(second);
        Q_EMIT app.contentView()->destinationPicker()->activated(
            static_cast<int>(std::ranges::find(names, second) - names.begin()));
        QTRY_COMPARE_WITH_TIMEOUT(app.contentView()->statusText()->text(), chosen, 5000);
        QTimer::singleShot(0, app.window().actions().quit, &QAction::trigger);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    Application again(environment);
    again.start();
    QTRY_COMPARE_WITH_TIMEOUT(
        again.contentView() ? again.contentView()->statusText()->text() : QString(), chosen, 10000);
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

QTEST_MAIN(SessionTest)
#include "session_test.moc"
