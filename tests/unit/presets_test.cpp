#include <functional>
#include <future>
#include <set>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/panel/preset_file.hpp"
#include "support/panel_harness.hpp"
#include "support/temp_dir.hpp"

namespace tarnwell {
namespace {

using test::Sent;

// A connected panel whose documents folder and file dialogs are test doubles.
struct PresetHarness : test::PanelHarness {
    PresetHarness() {
        documents = dir / "Documents";
        noticeConnection =
            presets().noticed.connect([this](const Notice& n) { notices.push_back(n); });
    }
    void importFile(const std::string& text) {
        test::writeText(dir / "import.json", text);
        presets().importPresets();
        ASSERT_TRUE(chooser.answer(dir / "import.json"));
    }
    std::string storedText() const { return test::readText(dir / "Documents" / "presets.json"); }

    test::TempDir dir;
    std::vector<Notice> notices;
    Connection noticeConnection;
};

// The files in `folder` other than the preset file itself: the copies of
// earlier preset files a save has kept.
std::set<std::filesystem::path> filesBeside(const std::filesystem::path& folder) {
    std::set<std::filesystem::path> out;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
        if (entry.path().filename() != "presets.json") {
            out.insert(entry.path());
        }
    }
    return out;
}

// The copy `save` keeps beside the preset file in `folder`, found on disk;
// empty when it keeps none. The save's notice must name it, so the user can
// find it.
std::filesystem::path keptBy(const std::filesystem::path& folder,
                             const std::function<Notice()>& save) {
    const auto before = filesBeside(folder);
    const Notice notice = save();
    EXPECT_FALSE(notice.isError) << notice.text;
    std::vector<std::filesystem::path> added;
    for (const auto& file : filesBeside(folder)) {
        if (!before.contains(file)) {
            added.push_back(file);
        }
    }
    EXPECT_LE(added.size(), 1u) << notice.text;
    if (added.empty()) {
        EXPECT_EQ(notice.text.find("kept in"), std::string::npos) << notice.text;
        return {};
    }
    EXPECT_NE(notice.text.find("kept in " + added.front().string()), std::string::npos)
        << notice.text;
    return added.front();
}

struct PresetTest : ::testing::Test {
    PresetHarness h;
    Controller& c = h.controller();
    Presets& p = h.presets();
};

TEST_F(PresetTest, SaveWritesTheWholeListAndRecallSendsModButtonsThenParameters) {
    c.editParameter(0, 1000.5);
    h.service->clearRecorded();
    const Notice notice = p.savePreset(p.selectedPresetIndex());
    EXPECT_FALSE(notice.isError) << notice.text;
    EXPECT_TRUE(h.sent().empty()) << "saving sends nothing";
    EXPECT_EQ(decodePresetFile(h.storedText()).presets, p.presets());
    ASSERT_EQ(p.presets().size(), 100u);

    p.setSelectedPresetIndex(1);
    std::vector<Sent> expected;
    for (int n = 103; n <= 117; n += 2) {
        expected.push_back({n, 127});
    }
    for (int n = 1; n <= 42; ++n) {
        expected.push_back({n, 0});
    }
    EXPECT_EQ(h.sent(), expected);
    h.service->clearRecorded();
    p.setSelectedPresetIndex(1);
    EXPECT_TRUE(h.sent().empty()) << "choosing the selected row again recalls nothing";
    p.setSelectedPresetIndex(0);
    ASSERT_EQ(h.sent().size(), 50u);
    EXPECT_EQ(h.sent()[8], (Sent{1, 1000}));
    EXPECT_EQ(c.sliderValues()[0], 1000.5);
}

TEST_F(PresetTest, EachStoredSwitchIsSavedFromItselfAndRecallSendsOnlyChangedOnesLast) {
    c.setModeToggle(ModeToggle::midiModeToggle, true);
    c.setModeToggle(ModeToggle::filterModeToggle, true);
    c.setModeToggle(ModeToggle::drumModeToggle, true);
    p.savePreset(5);
    EXPECT_TRUE(p.presets()[5].modeToggle(ModeToggle::drumModeToggle));
    EXPECT_FALSE(p.presets()[5].modeToggle(ModeToggle::voiceModeToggle));
    c.setModeToggle(ModeToggle::filterModeToggle, false);
    c.toggleLink(4);
    h.service->clearRecorded();

    p.applyPreset(5);
    const auto sent = h.sent();
    ASSERT_EQ(sent.size(), 51u);
    EXPECT_EQ(sent.back(), (Sent{134, 134}));
    EXPECT_TRUE(c.modeToggle(ModeToggle::midiModeToggle)) << "not part of a preset";
    EXPECT_TRUE(c.linkedTabs()[4]) << "not part of a preset";
}

TEST_F(PresetTest, ShortAndLongPresetsRecallWithoutFailing) {
    MidiSliderPreset shortOne;
    shortOne.values = {5.0, 6.0};
    shortOne.modStates = {true};
    MidiSliderPreset longOne;
    longOne.values = std::vector<double>(50, 9.0);
    longOne.modStates = std::vector<bool>(10, true);
    h.importFile(*encodePresetFile({shortOne, longOne}).text);

    ASSERT_EQ(c.sliderValues().size(), 42u);
    EXPECT_EQ(c.sliderValues()[1], 6.0);
    EXPECT_EQ(c.sliderValues()[2], 0.0);
    EXPECT_EQ(c.modButtonPressed(),
              (std::vector<bool>{true, false, false, false, false, false, false, false}));
    h.service->clearRecorded();
    p.applyPreset(1);
    EXPECT_EQ(h.sent().size(), 50u) << "entries beyond the panel's are never sent";
    EXPECT_EQ(h.sent()[49], (Sent{42, 9}));

    h.service->clearRecorded();
    p.applyPreset(2);
    p.applyPreset(-1);
    EXPECT_TRUE(h.sent().empty()) << "an index outside the list does nothing";
}

TEST_F(PresetTest, ImportReplacesTheListSelectsWhatItRecallsAndASavePastItsEndAppends) {
    p.setSelectedPresetIndex(57);
    h.service->clearRecorded();
    MidiSliderPreset first;
    first.values[0] = 321.0;
    h.importFile(*encodePresetFile({first, MidiSliderPreset{}, MidiSliderPreset{}}).text);
    EXPECT_EQ(p.presets().size(), 3u);
    EXPECT_EQ(c.sliderValues()[0], 321.0);
    EXPECT_EQ(h.sent().size(), 50u);
    EXPECT_FALSE(std::filesystem::exists(h.dir / "Documents" / "presets.json"));
    ASSERT_FALSE(h.notices.empty());
    EXPECT_FALSE(h.notices.back().isError);
    // The row that sounds is the one selected, so a save cannot overwrite
    // another imported preset with the first one's sound.
    EXPECT_EQ(p.selectedPresetIndex(), 0);
    EXPECT_FALSE(p.isModified());
    p.savePreset(3);
    ASSERT_EQ(p.presets().size(), 4u);
    p.savePreset(-1);
    EXPECT_EQ(decodePresetFile(h.storedText()).presets->size(), 5u);

    h.service->clearRecorded();
    h.importFile("[]");
    EXPECT_TRUE(p.presets().empty());
    EXPECT_TRUE(h.sent().empty());
}

TEST_F(PresetTest, SaveAsStoresWithoutSendingSelectsTheSlotAndAsksOnlyOverAnotherSound) {
    c.editParameter(3, 500.0);
    h.service->clearRecorded();
    EXPECT_FALSE(p.storingWouldReplace(5, "Glass Bells")) << "slot 6 is blank";
    const Notice notice = p.savePresetAs(5, "  Glass Bells ");
    EXPECT_FALSE(notice.isError) << notice.text;
    EXPECT_TRUE(h.sent().empty()) << "nothing is recalled or sent";
    EXPECT_EQ(p.selectedPresetIndex(), 5);
    EXPECT_EQ(p.presets()[5].name, "Glass Bells") << "names are trimmed";
    EXPECT_EQ(p.presets()[5].values[3], 500.0);
    EXPECT_FALSE(p.isModified());

    c.editParameter(3, 600.0);
    h.service->clearRecorded();
    EXPECT_FALSE(p.storingWouldReplace(5, "Glass Bells")) << "the slot the panel came from";
    p.savePresetAs(7, "");
    EXPECT_EQ(p.selectedPresetIndex(), 7);
    EXPECT_TRUE(p.storingWouldReplace(5, "Glass Bells")) << "another slot with another sound";
    EXPECT_TRUE(p.storingWouldReplace(5, "")) << "a named slot";
    EXPECT_FALSE(p.storingWouldReplace(0, "")) << "a blank slot";
    p.savePresetAs(3, "");
    EXPECT_FALSE(p.storingWouldReplace(7, "")) << "the same sound, unnamed: nothing is lost";

    p.savePresetAs(100, "new");
    ASSERT_EQ(p.presets().size(), 101u);
    EXPECT_EQ(p.selectedPresetIndex(), 100) << "past the end appends and selects it";
    EXPECT_TRUE(h.sent().empty());
}

TEST_F(PresetTest, RenamingKeepsTheSoundAndAPlainSaveKeepsTheName) {
    const std::string name = "Gl\xc3\xa4serne \xe2\x9c\x93 \xf0\x9f\x8e\xb9";
    EXPECT_FALSE(p.renamePreset(2, name).isError);
    EXPECT_EQ(p.presets()[2].name, name);
    EXPECT_EQ(p.presets()[2].values, std::vector<double>(42, 0.0));
    EXPECT_EQ(p.selectedPresetIndex(), 0) << "renaming selects nothing";
    EXPECT_TRUE(h.sent().empty());
    EXPECT_EQ(decodePresetFile(h.storedText()).presets->at(2).name, name)
        << "a rename is written at once, any Unicode as it is";

    p.setSelectedPresetIndex(2);
    c.editParameter(0, 42.0);
    p.savePreset(p.selectedPresetIndex());
    EXPECT_EQ(p.presets()[2].name, name);
    EXPECT_EQ(p.presets()[2].values[0], 42.0);

    p.renamePreset(2, " \t ");
    EXPECT_EQ(p.presets()[2].name, "") << "a blank name makes it unnamed";
    EXPECT_TRUE(p.renamePreset(100, "x").isError);
    EXPECT_EQ(p.presets().size(), 100u);
}

TEST_F(PresetTest, TheMarkerCompareAndRevertFollowTheSelectedPreset) {
    int markerChanges = 0;
    const Connection counting = p.changed.connect(
        [&](PresetsEvent e) { markerChanges += e.change == PresetsChange::modified ? 1 : 0; });
    c.editParameter(0, 1000.0);
    EXPECT_TRUE(p.isModified());
    p.savePreset(0);
    EXPECT_FALSE(p.isModified());
    EXPECT_FALSE(p.canCompare()) << "nothing to compare";
    c.editParameter(1, 2000.0);
    c.toggleModButton(4);
    EXPECT_TRUE(p.isModified());
    EXPECT_EQ(markerChanges, 3);

    // Compare: the saved preset sounds, sending only what differs; again:
    // the edited sound is back, sending only what differs.
    h.service->clearRecorded();
    p.toggleCompare();
    EXPECT_TRUE(p.isComparing());
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{111, 127}, {2, 0}}));
    EXPECT_EQ(c.sliderValues()[1], 0.0);
    EXPECT_TRUE(p.isModified()) << "an edited sound is still set aside";
    h.service->clearRecorded();
    p.toggleCompare();
    EXPECT_FALSE(p.isComparing());
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{110, 127}, {2, 2000}}));
    EXPECT_EQ(h.model->history().undoAction(), "compare");

    // Editing while the saved one sounds ends the comparison on that edit.
    p.toggleCompare();
    c.editParameter(5, 5.0);
    EXPECT_FALSE(p.isComparing());
    EXPECT_EQ(c.sliderValues()[1], 0.0);
    EXPECT_EQ(c.sliderValues()[5], 5.0);
    h.model->undo();
    h.model->undo();
    EXPECT_EQ(c.sliderValues()[1], 2000.0) << "undo gives the edited sound back";
    EXPECT_FALSE(p.isComparing());

    // Revert recalls the selected preset again, whole, as one step.
    h.service->clearRecorded();
    p.revertToSaved();
    EXPECT_EQ(h.sent().size(), 50u);
    EXPECT_EQ(c.sliderValues(), p.presets()[0].values);
    EXPECT_FALSE(p.isModified());
    EXPECT_EQ(h.model->history().undoAction(), "revert");
    h.model->undo();
    EXPECT_EQ(c.sliderValues()[1], 2000.0);
}

TEST_F(PresetTest, ImportRefusesPipesAndDevicesWithoutBlocking) {
    using namespace std::chrono_literals;
    const auto pipe = h.dir / "pipe.json";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::filesystem::path& file : {pipe, std::filesystem::path("/dev/zero")}) {
        auto import = std::async(std::launch::async, [&] {
            p.importPresets();
            return h.chooser.answer(file);
        });
        if (import.wait_for(5s) != std::future_status::ready) {
            // A reader blocked on the pipe is released by a writer coming
            // and going, so the test fails rather than hangs.
            while (import.wait_for(10ms) != std::future_status::ready) {
                if (const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0) {
                    ::close(writer);
                }
            }
            ADD_FAILURE() << "importing " << file << " blocked";
            continue;
        }
        ASSERT_TRUE(import.get());
        ASSERT_FALSE(h.notices.empty());
        EXPECT_TRUE(h.notices.back().isError);
        EXPECT_EQ(h.notices.back().text, "Import failed: could not read " + file.string() +
                                             (file == pipe ? ": it is a named pipe, not a file"
                                                           : ": it is a device, not a file"));
        EXPECT_EQ(p.presets().size(), 100u);
    }
}

TEST_F(PresetTest, CancelledDialogsDoNothingAndExportWritesTheListOrReportsWhyNot) {
    p.importPresets();
    ASSERT_TRUE(h.chooser.answer(std::nullopt));
    p.exportPresets();
    ASSERT_TRUE(h.chooser.answer(std::nullopt));
    EXPECT_TRUE(h.notices.empty());

    p.exportPresets();
    ASSERT_TRUE(h.chooser.answer(h.dir / "out" / "mine.json"));
    EXPECT_EQ(decodePresetFile(test::readText(h.dir / "out" / "mine.json")).presets, p.presets());
    // A folder where the file should go: it is refused, with the reason.
    std::filesystem::create_directories(h.dir / "taken.json");
    p.exportPresets();
    ASSERT_TRUE(h.chooser.answer(h.dir / "taken.json"));
    EXPECT_EQ(h.notices.back().text, "Export failed: could not write " +
                                         (h.dir / "taken.json").string() + ": it is a folder");
}

TEST_F(PresetTest, FailedSaveKeepsThePresetInMemoryAndTheOldFileWhole) {
    p.savePreset(0);
    // The documents folder cannot be created: a file stands where it should be.
    h.documents = h.dir / "Documents" / "presets.json" / "sub";
    c.editParameter(0, 99.0);
    const Notice notice = p.savePreset(0);
    EXPECT_TRUE(notice.isError);
    EXPECT_NE(notice.text.find("Preset 1 is kept until the panel closes"), std::string::npos)
        << notice.text;
    EXPECT_EQ(p.presets()[0].values[0], 99.0);
    h.documents.reset();
    EXPECT_TRUE(p.savePreset(1).isError);
}

TEST(SavePreset, TheFirstSaveOfARunKeepsTheEarlierRunsFileUnlessItHoldsNothingToLose) {
    MidiSliderPreset earlier;
    earlier.values[0] = 777.0;
    const std::string earlierText = *encodePresetFile({earlier, earlier, earlier}).text;
    {
        PresetHarness h;
        test::writeText(h.dir / "Documents" / "presets.json", earlierText);
        EXPECT_EQ(h.presets().presets().size(), 100u) << "the stored file is not read at start";
        h.controller().editParameter(3, 3.0);
        const auto kept = keptBy(h.dir / "Documents", [&] { return h.presets().savePreset(0); });
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(kept.filename().string().rfind("presets-", 0), 0u) << kept;
        EXPECT_EQ(test::readText(kept), earlierText);
        ASSERT_EQ(test::entriesIn(h.dir / "Documents"), 2u);
        EXPECT_EQ(decodePresetFile(h.storedText()).presets, h.presets().presets());
        // Later saves of the same run replace the file they wrote themselves.
        h.controller().editParameter(3, 4.0);
        EXPECT_EQ(h.presets().savePreset(1).text.find("kept in"), std::string::npos);
        EXPECT_EQ(test::entriesIn(h.dir / "Documents"), 2u);
    }
    {
        PresetHarness h;
        test::writeText(h.dir / "Documents" / "presets.json",
                        *encodePresetFile(std::vector<MidiSliderPreset>(100)).text);
        h.controller().editParameter(3, 3.0);
        EXPECT_EQ(h.presets().savePreset(0).text.find("kept in"), std::string::npos);
    }
}

TEST(SavePreset, TheEarlierFileStaysInPlaceWhenTheFirstSaveFails) {
    MidiSliderPreset earlier;
    earlier.values[0] = 777.0;
    const std::string earlierText = *encodePresetFile({earlier}).text;
    // A file-size limit below the new file's size fails the write, as a full
    // disk would.
    PresetHarness h;
    test::writeText(h.dir / "Documents" / "presets.json", earlierText);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const Notice notice = h.presets().savePreset(0);
        _exit(notice.isError && notice.text.find(": File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure is reported with its reason";
    EXPECT_EQ(h.storedText(), earlierText);
    EXPECT_EQ(test::entriesIn(h.dir / "Documents"), 1u) << "no copy and no temporary file is left";
}

TEST(SavePreset, TwoPanelsOnOneFileKeepEachOthersLatestSaveAside) {
    PresetHarness a;
    PresetHarness b;
    b.documents = a.documents;
    const auto stored = *a.documents / "presets.json";
    const auto firstValue = [](const std::filesystem::path& file) {
        const auto presets = decodePresetFile(test::readText(file)).presets;
        return presets && !presets->empty() ? presets->front().values[0] : -1.0;
    };
    std::vector<std::filesystem::path> keptCopies;
    // Two windows on one machine, each saving its own sound in turn.
    for (int turn = 0; turn < 5; ++turn) {
        PresetHarness& panel = turn % 2 == 0 ? a : b;
        panel.controller().editParameter(0, 100.0 + turn);
        const auto kept =
            keptBy(stored.parent_path(), [&] { return panel.presets().savePreset(0); });
        EXPECT_EQ(firstValue(stored), 100.0 + turn);
        if (turn > 0) {
            // The other panel's save, which this one never saw, stays beside it.
            ASSERT_FALSE(kept.empty()) << "turn " << turn;
            EXPECT_EQ(firstValue(kept), 100.0 + turn - 1) << kept;
            keptCopies.push_back(kept);
        }
    }
    // A panel saving again over its own save keeps no copy.
    a.controller().editParameter(0, 1.0);
    EXPECT_TRUE(keptBy(stored.parent_path(), [&] { return a.presets().savePreset(0); }).empty());
    EXPECT_EQ(test::entriesIn(stored.parent_path()), keptCopies.size() + 1);
}

TEST(RestoreStoredPresets, SaysWhyWhenTheStoredFileCannotBeChecked) {
    PresetHarness h;
    const auto stored = h.dir / "Documents" / "presets.json";
    std::filesystem::create_directories(stored.parent_path());
    std::filesystem::create_symlink("presets.json", stored);  // a link to itself
    h.presets().restoreStoredPresets();
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_TRUE(h.notices[0].isError);
    EXPECT_EQ(h.notices[0].text.rfind("Saved presets not restored: ", 0), 0u) << h.notices[0].text;
    EXPECT_EQ(h.presets().presets().size(), std::size_t{100});

    const Notice save = h.presets().savePreset(0);
    EXPECT_TRUE(save.isError) << save.text;
    EXPECT_TRUE(std::filesystem::is_symlink(stored));
}

}  // namespace
}  // namespace tarnwell
