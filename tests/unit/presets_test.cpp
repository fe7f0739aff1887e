#include <vector>

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
    const std::string text = h.storedText();
    EXPECT_EQ(text.rfind(R"([{"values":[1000.5,0,0,)", 0), 0u) << text.substr(0, 60);
    EXPECT_EQ(decodePresetFile(text).presets, p.presets());
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

TEST_F(PresetTest, ShortLongAndHostilePresetsRecallWithoutFailing) {
    MidiSliderPreset shortOne;
    shortOne.values = {5.0, 6.0};
    shortOne.modStates = {true};
    MidiSliderPreset longOne;
    longOne.values = std::vector<double>(50, 9.0);
    longOne.modStates = std::vector<bool>(10, true);
    MidiSliderPreset hostile;
    hostile.values[0] = 1e300;
    h.importFile(*encodePresetFile({shortOne, longOne, hostile}).text);

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
    EXPECT_EQ(h.sent()[8], (Sent{1, 16383}));
    h.service->clearRecorded();
    p.applyPreset(3);
    p.applyPreset(-1);
    EXPECT_TRUE(h.sent().empty()) << "an index outside the list does nothing";
}

TEST_F(PresetTest, ImportReplacesTheListAndASaveJustPastItsEndAppends) {
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
    p.savePreset(3);
    ASSERT_EQ(p.presets().size(), 4u);
    p.savePreset(p.selectedPresetIndex());
    EXPECT_EQ(decodePresetFile(h.storedText()).presets->size(), 5u);

    // Members of no preset field import and are dropped on the next save.
    h.importFile(
        R"([{"values":[1],"modStates":[],"voiceModeToggle":false,"drumModeToggle":false,)"
        R"("filterModeToggle":false,"regenModeToggle":false,"regen2ModeToggle":false,"tag":"x"}])");
    ASSERT_EQ(p.presets().size(), 1u);
    p.savePreset(0);
    EXPECT_EQ(h.storedText().find("tag"), std::string::npos);

    h.service->clearRecorded();
    h.importFile("[]");
    EXPECT_TRUE(p.presets().empty());
    EXPECT_TRUE(h.sent().empty());
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
    // A folder where the file should go: the write fails and is reported.
    std::filesystem::create_directories(h.dir / "taken.json");
    p.exportPresets();
    ASSERT_TRUE(h.chooser.answer(h.dir / "taken.json"));
    EXPECT_EQ(h.notices.back().text.rfind("Export failed: could not replace ", 0), 0u)
        << h.notices.back().text;
}

TEST_F(PresetTest, FailedSaveKeepsThePresetInMemoryAndTheOldFileWhole) {
    p.savePreset(0);
    const std::string before = h.storedText();
    // The documents folder cannot be created: a file stands where it should be.
    h.documents = h.dir / "Documents" / "presets.json" / "sub";
    c.editParameter(0, 99.0);
    const Notice notice = p.savePreset(0);
    EXPECT_TRUE(notice.isError);
    EXPECT_NE(notice.text.find("Preset 1 is kept until the panel closes"), std::string::npos)
        << notice.text;
    EXPECT_EQ(p.presets()[0].values[0], 99.0);
    EXPECT_EQ(h.storedText(), before);
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
        const Notice first = h.presets().savePreset(0);
        ASSERT_FALSE(first.isError) << first.text;
        EXPECT_NE(first.text.find("the presets stored there before are kept in presets-"),
                  std::string::npos)
            << first.text;
        ASSERT_EQ(test::entriesIn(h.dir / "Documents"), 2u);
        for (const auto& entry : std::filesystem::directory_iterator(h.dir / "Documents")) {
            if (entry.path().filename() != "presets.json") {
                EXPECT_EQ(test::readText(entry.path()), earlierText);
            }
        }
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
    {
        // The run imported that very file: its presets are in the panel.
        PresetHarness h;
        const auto stored = h.dir / "Documents" / "presets.json";
        test::writeText(stored, earlierText);
        h.presets().importPresets();
        ASSERT_TRUE(h.chooser.answer(stored));
        h.controller().editParameter(5, 1.0);
        EXPECT_EQ(h.presets().savePreset(0).text.find("kept in"), std::string::npos);
        EXPECT_EQ(test::entriesIn(h.dir / "Documents"), 1u);
    }
}

}  // namespace
}  // namespace tarnwell
