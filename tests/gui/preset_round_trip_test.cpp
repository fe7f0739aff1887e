// Whatever the panel accepts it writes in a form it reads back, through its commands and a
// restart; a save that could not be read back is refused rather than replacing a good file.
#include "gui_harness.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

// Just over 15 MiB of full presets whose numbers are spelled as short as JSON
// allows ("1e5"), so each grows when the panel writes it ("1e+05").
std::string shortSpelledFile() {
    const std::array<std::string_view, 5> shortNumbers = {"1e5", "2E5", "3e4", "4e5", "5E4"};
    std::string text = "[";
    for (std::size_t p = 0; text.size() < (std::size_t{15} << 20); ++p) {
        text += p > 0 ? ",{\"values\":[" : "{\"values\":[";
        for (std::size_t i = 0; i < kParameterCount; ++i) {
            text += i > 0 ? "," : "";
            text += shortNumbers[(p + i) % shortNumbers.size()];
        }
        text += "],\"modStates\":[";
        for (std::size_t i = 0; i < kModButtonCount; ++i) {
            text += i > 0 ? "," : "";
            text += (p >> i) % 2 == 1 ? "true" : "false";
        }
        text += "],\"voiceModeToggle\":false,\"drumModeToggle\":";
        text += p % 2 == 1 ? "true" : "false";
        text += ",\"filterModeToggle\":false,\"regenModeToggle\":false,\"regen2ModeToggle\":true}";
    }
    return text + "]";
}

}  // namespace

class PresetRoundTripTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aShortSpelledImportSavedReimportedAndRestoredComesBackEqual() {
        test::TempDir folder;
        const std::filesystem::path hostile = folder / "short.json";
        const std::string text = shortSpelledFile();
        test::writeText(hostile, text);
        const std::size_t count = decodePresetFile(text).presets->size();
        const QString imported = QString("Imported %1 presets").arg(count);

        std::vector<MidiSliderPreset> saved;
        {
            WindowHarness run({.folder = &folder});
            run.actions().importPresets->trigger();
            QVERIFY(run.chooser.answer(hostile));
            QVERIFY2(run.notice().startsWith(imported), qPrintable(run.notice()));

            run.actions().savePreset->trigger();
            QVERIFY2(run.notice().startsWith("Preset 1 saved to "), qPrintable(run.notice()));
            saved = run.presets().presets();
            const auto written = std::filesystem::file_size(run.folder / "presets.json");
            qInfo("%zu presets: imported %zu bytes, written %llu", count, text.size(),
                  static_cast<unsigned long long>(written));
            QVERIFY2(written > text.size() && written <= kMaxPresetFileBytes,
                     qPrintable(QString::number(written)));

            // The panel opens the file it wrote...
            run.actions().importPresets->trigger();
            QVERIFY(run.chooser.answer(run.folder / "presets.json"));
            QVERIFY2(run.notice().startsWith(imported), qPrintable(run.notice()));
            QVERIFY(samePresets(run.presets().presets(), saved));
            run.actions().restorePresetsAtStart->setChecked(true);
            run.app->shutDown();
        }
        // ...and finds it again at the next start.
        WindowHarness next({.folder = &folder});
        QVERIFY2(next.notice().startsWith(QString("Restored %1 presets").arg(count)),
                 qPrintable(next.notice()));
        QVERIFY(samePresets(next.presets().presets(), saved));
    }

    void aSaveTheFileCouldNotHoldIsRefusedAndKeepsTheEarlierFile() {
        test::TempDir folder;
        std::vector<MidiSliderPreset> full(kMaxPresetsInFile);
        full.back().name = "Last";
        const std::filesystem::path fullFile = folder / "full.json";
        test::writeText(fullFile, *encodePresetFile(full).text);

        WindowHarness run({.folder = &folder});
        run.actions().importPresets->trigger();
        QVERIFY(run.chooser.answer(fullFile));
        run.actions().savePreset->trigger();
        const std::string earlier = test::readText(run.folder / "presets.json");
        QVERIFY(!earlier.empty());

        // One more preset than a file holds: kept in the panel, never written.
        const Notice notice =
            run.presets().savePreset(static_cast<std::int64_t>(kMaxPresetsInFile));
        QVERIFY(notice.isError);
        QCOMPARE(QString::fromStdString(notice.text),
                 QString("Preset 50001 is kept until the panel closes, but not written: a preset "
                         "file holds at most 50000 presets, and the list has 50001"));
        QCOMPARE(run.notice(), QString::fromStdString(notice.text));
        QCOMPARE(run.presets().presets().size(), kMaxPresetsInFile + 1);
        QVERIFY(test::readText(run.folder / "presets.json") == earlier);
    }
};

QTEST_MAIN(PresetRoundTripTest)
#include "preset_round_trip_test.moc"
