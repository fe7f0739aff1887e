// What the panel keeps between runs and shows from outside: damaged or unwritable settings, markup
// in names, the window's place, the dialogs' folders, a home folder named in another encoding.
#include "ui/app/settings.hpp"

#include <QFileDialog>
#include <QScopeGuard>
#include <QSettings>
#include <QTimer>

#include "core/base/file_io.hpp"
#include "gui_harness.hpp"
#include "ui/app/qt_file_chooser.hpp"
#include "ui/midi/link_settings.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

QString qtPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// Sets an environment variable (unsets it for an empty value) until the returned guard ends.
[[nodiscard]] auto environment(const char* name, const QByteArray& value) {
    const bool had = qEnvironmentVariableIsSet(name);
    const QByteArray previous = qgetenv(name);
    value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    return qScopeGuard([=] { had ? qputenv(name, previous) : qunsetenv(name); });
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // As the program names itself, which decides where its settings live.
        QCoreApplication::setOrganizationName("Tarnwell");
        QCoreApplication::setApplicationName("Tarnwell");
    }

    void anAbsurdListSizeIsReadBoundedWithAWarning() {
        test::TempDir folder;
        test::writeText(folder / "settings.ini",
                        "[midiLinks]\ndinPacing=true\ndinDestinations\\1\\name=Synth\n"
                        "dinDestinations\\2\\name=Other\ndinDestinations\\size=2147483647\n");
        QSettings settings(qtPath(folder / "settings.ini"), QSettings::IniFormat);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dinDestinations.*2147483647"));
        const LinkChoices choices = loadLinkChoices(settings);
        QVERIFY(choices.dinPacing);
        QCOMPARE(choices.speedOf("Synth"), LinkSpeed::din);
        QCOMPARE(choices.speedOf("Other"), LinkSpeed::din);
        QCOMPARE(choices.speeds.size(), std::size_t{2});
    }

    void settingsThatCannotBeKeptAreToldOnce() {
        {
            // A folder where the settings file should be.
            test::TempDir folder;
            std::filesystem::create_directory(folder / "settings.ini");
            WindowHarness run({.folder = &folder});
            const QString told = run.notice();
            QVERIFY2(told.contains("settings.ini") && told.contains("folder"), qPrintable(told));
            run.actions().savePreset->trigger();
            const QString saved = run.notice();
            QVERIFY2(saved.startsWith("Preset 1 saved"), qPrintable(saved));
            run.actions().sendPanelOnConnect->toggle();
            QCOMPARE(run.notice(), saved);
        }
        // A file that reads as missing and cannot be written: only the first failure is told.
        test::TempDir folder;
        test::writeText(folder / "blocker", "a file, not a folder");
        Settings settings(qtPath(folder / "blocker" / "settings.ini"));
        QStringList told;
        settings.onFailure([&told](const QString& why) { told << why; });
        QVERIFY(told.isEmpty());
        settings.setSendPanelOnConnect(true);
        settings.setRestorePresetsAtStart(true);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains("blocker"), qPrintable(told[0]));
    }

    void namesAndMessagesFromOutsideShowAsPlainText() {
        // A JACK port may be named anything; so may a file.
        const QString markup = "<b><font size=7 color=red>Big</font></b>";
        auto service = std::make_shared<LoopbackMidiService>();
        service->addDestination(markup.toStdString());
        WindowHarness run({.service = service, .synth = false});
        QLabel* status = run.view->statusText();
        QCOMPARE(run.status(), markup);
        QVERIFY(status->sizeHint().width() >= status->fontMetrics().horizontalAdvance(markup));

        const auto file = run.folder / "<img width=3000 src=x>.json";
        test::writeText(file, "not a preset file");
        run.actions().importPresets->trigger();
        QVERIFY(run.chooser.answer(file));
        QLabel* notice = run.view->noticeText();
        QVERIFY(notice->text().contains("<img width=3000"));
        QVERIFY2(notice->minimumSizeHint().width() < 1000,
                 qPrintable(QString::number(notice->minimumSizeHint().width())));
    }

    void aDamagedSavedGeometryGivesTheDefaultSize() {
        test::TempDir fresh;
        QSize defaultSize;
        {
            WindowHarness run({.folder = &fresh});
            defaultSize = run.window().size();
        }
        // A true saved geometry, then copies cut short and with sizes below zero (Qt writes
        // rectangles as left, top, right, bottom: two after the version, one at the end).
        test::TempDir folder;
        const QString ini = qtPath(folder / "settings.ini");
        {
            WindowHarness run({.folder = &folder});
            run.window().setGeometry(40, 50, 700, 500);
            run.app->shutDown();
        }
        const QByteArray saved =
            QSettings(ini, QSettings::IniFormat).value("window/geometry").toByteArray();
        QVERIFY(saved.size() > 40);
        QByteArray backwards;
        {
            QDataStream stream(&backwards, QIODevice::WriteOnly);
            stream << QRect(QPoint(300, 300), QPoint(250, 200));
        }
        QByteArray negative = saved;
        for (const qsizetype at : {qsizetype{8}, qsizetype{24}, saved.size() - 16}) {
            negative.replace(at, backwards.size(), backwards);
        }
        for (const QByteArray& damaged : {saved.left(saved.size() / 2), negative}) {
            QSettings(ini, QSettings::IniFormat).setValue("window/geometry", damaged);
            WindowHarness run({.folder = &folder});
            QCOMPARE(run.window().size(), defaultSize);
        }
    }

    void theWindowsPlaceOutlivesQuitAndClose() {
        test::TempDir folder;
        {
            // Quit (Ctrl+Q) ends the event loop, which closes the window first.
            WindowHarness run({.folder = &folder});
            run.window().setGeometry(60, 70, 640, 480);
            QTimer::singleShot(0, run.actions().quit, &QAction::trigger);
            QCOMPARE(QCoreApplication::exec(), 0);
            QVERIFY(!run.window().isVisible());
            run.app->shutDown();
        }
        {
            WindowHarness run({.folder = &folder});
            QCOMPARE(run.window().size(), QSize(640, 480));
            run.window().resize(600, 450);
            run.window().close();
            run.app->shutDown();
        }
        WindowHarness run({.folder = &folder});
        QCOMPARE(run.window().size(), QSize(600, 450));
    }

    void dialogsStartInDocumentsAndRememberImportAndExportApart() {
        test::TempDir home;
        const auto homeVariable =
            environment("HOME", QByteArray::fromStdString(home.path().string()));
        const auto configVariable = environment("XDG_CONFIG_HOME", {});
        for (const char* name : {"Documents", "in", "out"}) {
            std::filesystem::create_directories(home / name);
        }
        test::writeText(home / "in" / "a.json", "[]");
        Settings settings(qtPath(home / "settings.ini"));
        QWidget parent;
        QtFileChooser chooser(&parent, &settings);
        using Path = std::filesystem::path;
        // Open or save: where the dialog starts, then the file chosen (none: cancelled).
        const std::tuple<bool, Path, std::optional<Path>> steps[] = {
            {false, home / "Documents", home / "in" / "a.json"},
            {true, home / "Documents", home / "out" / "b.json"},
            {false, home / "in", std::nullopt},
            {true, home / "out", std::nullopt}};
        std::optional<Path> answer;
        for (const auto& [forSaving, startsIn, chosen] : steps) {
            answer.reset();
            const auto done = [&answer](std::optional<Path> file) { answer = file; };
            forSaving ? chooser.chooseFileToSave(done) : chooser.chooseFileToOpen(done);
            QFileDialog* dialog = parent.findChild<QFileDialog*>();
            QCOMPARE(dialog->directory().absolutePath(), qtPath(startsIn));
            if (chosen) {
                dialog->selectFile(qtPath(*chosen));
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                dialog->reject();
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(answer, chosen);
        }
    }

    void aHomeFolderNamedInAnotherEncodingIsUsedAsItIs() {
        test::TempDir folder;
        const std::filesystem::path home = folder.path() / "home-\xff";
        std::filesystem::create_directory(home);
        const auto homeVariable = environment("HOME", QByteArray::fromStdString(home.string()));
        const auto configVariable = environment("XDG_CONFIG_HOME", {});

        const auto documents = documentsFolder();
        QVERIFY(documents.has_value());
        QCOMPARE(documents->string(), (home / "Documents").string());
        QCOMPARE(writeFileAtomically(*documents / "presets.json", "[]"), std::string());
        {
            Settings settings;
            QStringList told;
            settings.onFailure([&told](const QString& why) { told << why; });
            settings.setSendPanelOnConnect(true);
            QVERIFY2(told.isEmpty(), qPrintable(told.join('\n')));
        }
        QVERIFY(std::filesystem::exists(home / ".config" / "Tarnwell" / "Tarnwell.conf"));
        QVERIFY(Settings().sendPanelOnConnect());
        QCOMPARE(Settings().folderPath(), home / ".config" / "Tarnwell");
        QCOMPARE(test::entriesIn(folder.path()), std::size_t{1});  // no look-alike folder beside it
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
