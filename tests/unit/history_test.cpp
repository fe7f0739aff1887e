#include "core/history.hpp"

#include <gtest/gtest.h>

#include "core/panel/preset_file.hpp"
#include "support/panel_harness.hpp"
#include "support/temp_dir.hpp"

namespace tarnwell {
namespace {

using test::Sent;

struct HistoryTest : ::testing::Test {
    test::PanelHarness h;
    Controller& c = h.controller();
    Model& m = *h.model;
};

TEST_F(HistoryTest, UndoPutsBackTheValuesAndSendsOnlyWhatDiffersRedoTakesThemAgain) {
    c.editParameter(4, 1000.0);
    c.randomizeSliders("dice");
    const std::vector<double> diced = c.sliderValues();
    EXPECT_EQ(m.history().undoAction(), "dice");
    h.service->clearRecorded();

    m.undo();
    std::vector<Sent> expected;
    for (std::int64_t n = 1; n <= 42; ++n) {
        expected.push_back({n, n == 5 ? 1000 : 0});
    }
    EXPECT_EQ(h.sent(), expected) << "the earlier values, in parameter order";
    EXPECT_EQ(c.sliderValues()[4], 1000.0);
    EXPECT_EQ(m.history().redoAction(), "dice");

    h.service->clearRecorded();
    m.undo();
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{5, 0}})) << "one slider edit sends one parameter";
    m.redo();
    m.redo();
    EXPECT_EQ(c.sliderValues(), diced);
    EXPECT_FALSE(m.history().canRedo());

    m.undo();
    c.toggleModButton(1);
    EXPECT_FALSE(m.history().canRedo()) << "a new action clears redo";
}

TEST_F(HistoryTest, ADragIsOneStepAndGroupedCopiesAreUndoneWithTheirSource) {
    c.toggleLink(0);
    c.toggleLink(2);
    const std::size_t before = m.history().undoSteps();
    c.beginGesture();
    for (double v = 10.0; v <= 50.0; v += 10.0) {
        c.editParameter(1, v);
    }
    c.endGesture();
    h.queue.runPending();
    EXPECT_EQ(m.history().undoSteps(), before + 1);
    EXPECT_EQ(c.sliderValues()[13], 50.0);

    h.service->clearRecorded();
    m.undo();
    h.queue.runPending();
    EXPECT_EQ(c.sliderValues()[1], 0.0);
    EXPECT_EQ(c.sliderValues()[13], 0.0) << "the copy in unit C goes with its source";
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{2, 0}, {14, 0}}));

    // Undone before the queued copies ran: they must not bring the edit back.
    c.editParameter(0, 77.0);
    m.undo();
    h.queue.runPending();
    EXPECT_EQ(c.sliderValues()[12], 0.0);
    EXPECT_TRUE(c.linkedTabs()[2]) << "grouping is only undone by its own step";
}

TEST_F(HistoryTest, RecallImportSwitchesAndBallsAreOneStepEach) {
    MidiSliderPreset preset;
    preset.values[0] = 300.0;
    preset.modeToggles[static_cast<std::size_t>(ModeToggle::drumModeToggle)] = true;
    h.presets().replacePresets({MidiSliderPreset{}, preset});
    h.presets().setSelectedPresetIndex(1);
    EXPECT_EQ(m.history().undoAction(), "recall Preset 2");
    h.service->clearRecorded();
    m.undo();
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{1, 0}, {133, 133}}));
    EXPECT_EQ(h.presets().selectedPresetIndex(), 0);
    m.undo();
    EXPECT_EQ(h.presets().presets().size(), 100u) << "the import is undone too";

    c.setModeToggle(ModeToggle::midiModeToggle, true);
    EXPECT_EQ(m.history().undoAction(), " channel assign on");
    m.physics().toggleRunning(3);
    m.physics().randomizeWaves(h.random);
    EXPECT_EQ(m.history().undoAction(), "Dice");
    m.undo();
    m.undo();
    EXPECT_FALSE(m.physics().balls()[3].isRunning);
    EXPECT_EQ(m.physics().balls()[0].ampX, initialBalls()[0].ampX);
    h.service->clearRecorded();
    m.undo();
    EXPECT_EQ(h.sent(), (std::vector<Sent>{{141, 141}}));
}

TEST_F(HistoryTest, UndoAndRedoNeverTakeBackASaveInMemoryOrOnDisk) {
    test::TempDir dir;
    h.documents = dir / "Documents";
    Presets& p = h.presets();
    const auto stored = [&] {
        return decodePresetFile(test::readText(dir / "Documents" / "presets.json")).presets;
    };

    // Set a slider, save, undo: the sound goes back, the save stays.
    c.editParameter(0, 700.0);
    p.savePreset(0);
    m.undo();
    EXPECT_EQ(c.sliderValues()[0], 0.0);
    EXPECT_EQ(p.presets()[0].values[0], 700.0);
    EXPECT_TRUE(p.isModified()) << "the panel now differs from what was saved";
    p.savePreset(1);
    ASSERT_TRUE(stored());
    EXPECT_EQ((*stored())[0].values[0], 700.0) << "the next save writes the saved preset";
    m.redo();
    EXPECT_EQ(c.sliderValues()[0], 700.0);

    // Import, save, undo both: the import's sound goes, the save stays.
    MidiSliderPreset imported;
    imported.values[5] = 55.0;
    p.replacePresets({imported, imported});
    c.editParameter(9, 9.0);
    p.savePreset(1);
    m.undo();
    m.undo();
    EXPECT_EQ(c.sliderValues()[5], 0.0) << "the sound before the import is back";
    ASSERT_EQ(p.presets().size(), 2u) << "but not the list before it";
    EXPECT_EQ(p.presets()[1].values[9], 9.0);
    m.redo();
    m.redo();
    EXPECT_EQ(c.sliderValues()[9], 9.0);
    EXPECT_EQ((*stored())[1].values[9], 9.0);
}

TEST_F(HistoryTest, UndoKeepsTheSelectedPresetSoTheNextSaveGoesWhereItCameFrom) {
    h.presets().setSelectedPresetIndex(3);
    c.editParameter(2, 20.0);
    c.editParameter(2, 30.0);
    m.undo();
    EXPECT_EQ(h.presets().selectedPresetIndex(), 3);
    EXPECT_EQ(c.sliderValues()[2], 20.0);
    h.presets().savePreset(h.presets().selectedPresetIndex());
    EXPECT_EQ(h.presets().presets()[3].values[2], 20.0);
    EXPECT_EQ(h.presets().presets()[0].values[2], 0.0);
}

TEST(History, KeepsAtMostItsBoundOldestFirst) {
    History history(200);
    for (int i = 0; i < 250; ++i) {
        history.record(std::to_string(i), PanelState{});
    }
    EXPECT_EQ(history.undoSteps(), 200u);
    EXPECT_EQ(history.undoAction(), "249");
    for (int i = 0; i < 200; ++i) {
        EXPECT_TRUE(history.undo(PanelState{}));
    }
    EXPECT_FALSE(history.undo(PanelState{})) << "the 50 oldest are gone";

    PanelState heavy;
    heavy.sliderValues.resize(1 << 16);
    History bounded(500, 10 * heavy.weight());
    for (int i = 0; i < 50; ++i) {
        bounded.record("heavy", heavy);
    }
    EXPECT_LE(bounded.undoSteps(), 10u) << "memory bounds the steps too";
}

TEST_F(HistoryTest, SendAllSendsTheWholePanelModButtonsParametersSwitches) {
    c.toggleModButton(0);
    c.editParameter(41, 9.0);
    h.service->clearRecorded();
    c.sendAll();
    const auto sent = h.sent();
    ASSERT_EQ(sent.size(), 8u + 42u + 6u);
    EXPECT_EQ(sent[0], (Sent{102, 127}));
    EXPECT_EQ(sent[1], (Sent{105, 127}));
    EXPECT_EQ(sent[8], (Sent{1, 0}));
    EXPECT_EQ(sent[49], (Sent{42, 9}));
    EXPECT_EQ(sent[50], (Sent{131, 131}));
    EXPECT_EQ(sent[55], (Sent{141, 141}));
}

}  // namespace
}  // namespace tarnwell
