#include <algorithm>
#include <functional>
#include <future>
#include <iterator>
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
#include "testing/test_time.hpp"

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
    std::filesystem::path stored() const { return dir / "Documents" / "presets.json"; }
    std::string storedText() const { return test::readText(stored()); }

    test::TempDir dir;
    std::vector<Notice> notices;
    Connection noticeConnection;
};

MidiSliderPreset withFirst(double value) {
    MidiSliderPreset preset;
    preset.values[0] = value;
    return preset;
}

std::string fileOf(const std::vector<MidiSliderPreset>& presets) {
    return *encodePresetFile(presets).text;
}

// The copy `save` keeps beside the file in `folder` (empty if none), which its notice must name.
std::filesystem::path keptBy(const std::filesystem::path& folder,
                             const std::function<Notice()>& save) {
    const auto beside = [&] {
        std::set<std::filesystem::path> out;
        std::error_code missing;
        for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
            out.insert(entry.path());
        }
        out.erase(folder / "presets.json");
        return out;
    };
    const auto before = beside();
    const Notice notice = save();
    EXPECT_FALSE(notice.isError) << notice.text;
    const auto after = beside();
    std::vector<std::filesystem::path> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    EXPECT_LE(added.size(), 1u) << notice.text;
    const std::string mention = added.empty() ? "kept in" : "kept in " + added[0].string();
    EXPECT_EQ(notice.text.find(mention) != std::string::npos, !added.empty()) << notice.text;
    return added.empty() ? std::filesystem::path{} : added[0];
}

struct PresetTest : ::testing::Test {
    PresetHarness h;
    Controller& c = h.controller();
    Presets& p = h.presets();
};

TEST_F(PresetTest, SaveWritesTheWholeListAndRecallSendsModButtonsThenParameters) {
    c.editParameter(0, 1000.5);
    h.service->clearRecorded();
    EXPECT_FALSE(p.savePreset(p.selectedPresetIndex()).isError);
    EXPECT_TRUE(h.sent().empty()) << "saving sends nothing";
    EXPECT_EQ(decodePresetFile(h.storedText()).presets, p.presets());
    ASSERT_EQ(p.presets().size(), 100u);

    p.setSelectedPresetIndex(1);
    ASSERT_EQ(h.sent().size(), 50u);
    for (int k = 0; k < 50; ++k) {
        EXPECT_EQ(h.sent()[k], (k < 8 ? Sent{103 + 2 * k, 127} : Sent{k - 7, 0})) << k;
    }
    h.service->clearRecorded();
    p.setSelectedPresetIndex(1);
    EXPECT_TRUE(h.sent().empty()) << "choosing the selected row again recalls nothing";
    p.setSelectedPresetIndex(0);
    ASSERT_EQ(h.sent().size(), 50u);
    EXPECT_EQ(h.sent()[8], (Sent{1, 1000}));
    EXPECT_EQ(c.sliderValues()[0], 1000.5);
}

TEST_F(PresetTest, EachStoredSwitchIsSavedFromItselfAndRecallSendsOnlyChangedOnesLast) {
    for (const ModeToggle t :
         {ModeToggle::midiModeToggle, ModeToggle::filterModeToggle, ModeToggle::drumModeToggle}) {
        c.setModeToggle(t, true);
    }
    p.savePreset(5);
    EXPECT_TRUE(p.presets()[5].modeToggle(ModeToggle::drumModeToggle));
    EXPECT_FALSE(p.presets()[5].modeToggle(ModeToggle::voiceModeToggle));
    c.setModeToggle(ModeToggle::filterModeToggle, false);
    c.toggleLink(4);
    h.service->clearRecorded();

    p.applyPreset(5);
    ASSERT_EQ(h.sent().size(), 51u);
    EXPECT_EQ(h.sent().back(), (Sent{134, 134}));
    EXPECT_TRUE(c.modeToggle(ModeToggle::midiModeToggle)) << "not part of a preset";
    EXPECT_TRUE(c.linkedTabs()[4]) << "not part of a preset";
}

TEST_F(PresetTest, ShortAndLongPresetsRecallWithoutFailing) {
    // Each preset: values, mod button flags, switches, name.
    h.importFile(fileOf({{{5.0, 6.0}, {true}, {}, ""},
                         {std::vector<double>(50, 9.0), std::vector<bool>(10, true), {}, ""}}));
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
    h.importFile(fileOf({withFirst(321.0), {}, {}}));
    EXPECT_EQ(p.presets().size(), 3u);
    EXPECT_EQ(c.sliderValues()[0], 321.0);
    EXPECT_EQ(h.sent().size(), 50u);
    EXPECT_FALSE(std::filesystem::exists(h.stored()));
    ASSERT_FALSE(h.notices.empty());
    EXPECT_FALSE(h.notices.back().isError);
    // The row that sounds is the selected one, so a save cannot put it over another row.
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
    EXPECT_FALSE(p.savePresetAs(5, "  Glass Bells ").isError);
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

    // Compare, then compare again: each way sends only what differs.
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
        const bool blocked = import.wait_for(test::scaled(5s)) != std::future_status::ready;
        // A writer coming and going frees a reader blocked on the pipe: fail, not hang.
        while (import.wait_for(10ms) != std::future_status::ready) {
            if (const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0) {
                ::close(writer);
            }
        }
        ASSERT_FALSE(blocked) << "importing " << file << " blocked";
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
    std::filesystem::create_directories(h.dir / "taken.json");
    p.exportPresets();
    ASSERT_TRUE(h.chooser.answer(h.dir / "taken.json"));
    EXPECT_EQ(h.notices.back().text, "Export failed: could not write " +
                                         (h.dir / "taken.json").string() + ": it is a folder");
}

TEST_F(PresetTest, FailedSaveKeepsThePresetInMemoryAndTheOldFileWhole) {
    p.savePreset(0);
    // The documents folder cannot be created: a file stands where it should be.
    h.documents = h.stored() / "sub";
    c.editParameter(0, 99.0);
    const Notice notice = p.savePreset(0);
    EXPECT_TRUE(notice.isError);
    EXPECT_NE(notice.text.find("Preset 1 is kept until the panel closes"), std::string::npos)
        << notice.text;
    EXPECT_EQ(p.presets()[0].values[0], 99.0);
    h.documents.reset();
    EXPECT_TRUE(p.savePreset(1).isError);
}

// A panel started over the preset file an earlier run left, which is not read at start.
struct EarlierRunTest : PresetTest {
    EarlierRunTest() { test::writeText(h.stored(), earlierText); }
    const std::string earlierText = fileOf({withFirst(777.0), withFirst(777.0)});
};

TEST_F(EarlierRunTest, TheFirstSaveOfARunKeepsTheEarlierFileUnlessItHoldsNothingToLose) {
    EXPECT_EQ(p.presets().size(), 100u) << "the stored file is not read at start";
    c.editParameter(3, 3.0);
    const auto kept = keptBy(h.stored().parent_path(), [&] { return p.savePreset(0); });
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.filename().string().rfind("presets-", 0), 0u) << kept;
    EXPECT_EQ(test::readText(kept), earlierText);
    EXPECT_EQ(decodePresetFile(h.storedText()).presets, p.presets());
    // Later saves of the same run replace the file they wrote themselves.
    c.editParameter(3, 4.0);
    EXPECT_TRUE(keptBy(h.stored().parent_path(), [&] { return p.savePreset(1); }).empty());
    EXPECT_EQ(test::entriesIn(h.stored().parent_path()), 2u);

    PresetHarness next;
    test::writeText(next.stored(), fileOf(std::vector<MidiSliderPreset>(100)));
    next.controller().editParameter(3, 3.0);
    EXPECT_TRUE(
        keptBy(next.stored().parent_path(), [&] { return next.presets().savePreset(0); }).empty());
}

TEST_F(EarlierRunTest, TheEarlierFileStaysInPlaceWhenTheFirstSaveFails) {
    // A file-size limit below the new file's size fails the write, as a full disk would.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const Notice notice = p.savePreset(0);
        _exit(notice.isError && notice.text.find(": File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure is reported with its reason";
    EXPECT_EQ(h.storedText(), earlierText);
    EXPECT_EQ(test::entriesIn(h.stored().parent_path()), 1u) << "no copy, no temporary file";
}

TEST(SavePreset, TwoPanelsOnOneFileKeepEachOthersLatestSaveAside) {
    PresetHarness a;
    PresetHarness b;
    b.documents = a.documents;
    const auto folder = a.stored().parent_path();
    const auto firstValue = [](const std::filesystem::path& file) {
        const auto presets = decodePresetFile(test::readText(file)).presets;
        return presets && !presets->empty() ? presets->front().values[0] : -1.0;
    };
    std::size_t keptCopies = 0;
    // Two windows on one machine, each saving its own sound in turn.
    for (int turn = 0; turn < 5; ++turn) {
        PresetHarness& panel = turn % 2 == 0 ? a : b;
        panel.controller().editParameter(0, 100.0 + turn);
        const auto kept = keptBy(folder, [&] { return panel.presets().savePreset(0); });
        EXPECT_EQ(firstValue(a.stored()), 100.0 + turn);
        if (turn > 0) {
            // The other panel's save, which this one never saw, stays beside it.
            ASSERT_FALSE(kept.empty()) << "turn " << turn;
            EXPECT_EQ(firstValue(kept), 100.0 + turn - 1) << kept;
            ++keptCopies;
        }
    }
    // A panel saving again over its own save keeps no copy.
    a.controller().editParameter(0, 1.0);
    EXPECT_TRUE(keptBy(folder, [&] { return a.presets().savePreset(0); }).empty());
    EXPECT_EQ(test::entriesIn(folder), keptCopies + 1);
}

TEST_F(PresetTest, RestoringSaysWhyWhenTheStoredFileCannotBeChecked) {
    std::filesystem::create_directories(h.stored().parent_path());
    std::filesystem::create_symlink("presets.json", h.stored());  // a link to itself
    p.restoreStoredPresets();
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_TRUE(h.notices[0].isError);
    EXPECT_EQ(h.notices[0].text.rfind("Saved presets not restored: ", 0), 0u) << h.notices[0].text;
    EXPECT_EQ(p.presets().size(), 100u);
    EXPECT_TRUE(p.savePreset(0).isError);
    EXPECT_TRUE(std::filesystem::is_symlink(h.stored()));
}

}  // namespace
}  // namespace tarnwell
