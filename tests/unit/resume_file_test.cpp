#include "core/panel/resume_file.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "core/panel/parameters.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell {
namespace {

ResumeState sampleState() {
    ResumeState state;
    for (int i = 0; i < kParameterCount; ++i) {
        state.sliderValues.push_back(i == 0 ? 16383.0 : i * 390.123456789);
    }
    state.sliderValues[1] = std::numeric_limits<double>::denorm_min();
    state.modButtonPressed = {true, false, true, false, false, false, false, true};
    state.linkedTabs = {false, true, true, false, false, false};
    state.modeToggles[static_cast<std::size_t>(ModeToggle::midiModeToggle)] = true;
    state.balls = initialBalls();
    state.balls[2].waveTypeX = WaveType::triangle;
    state.balls[2].ampY = 5.0;
    state.balls[2].phaseX = PhysicsSimulation::kMaxPhase;
    state.balls[4].assignedParam = 41;
    state.balls[4].magnetEnabled = true;
    state.selectedPresetIndex = 12;
    return state;
}

TEST(ResumeFileTest, EveryStateThePanelCanHoldRoundTripsAtItsBounds) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(0.0, 16383.0);
    using Limits = std::numeric_limits<double>;
    const std::array<double, 6> edges = {
        0.0, -0.0, 16383.0, std::nextafter(16383.0, 0.0), Limits::denorm_min(), Limits::min()};
    for (int round = 0; round < 500; ++round) {
        ResumeState state = sampleState();
        for (std::size_t i = 0; i < state.sliderValues.size(); ++i) {
            state.sliderValues[i] =
                (round + i) % 3 == 0 ? edges[(round + i) % edges.size()] : value(random);
        }
        state.balls[static_cast<std::size_t>(round) % 5].ampX =
            round % 2 == 0 ? PhysicsSimulation::kMaxAmplitude : value(random) / 16383.0 * 5.0;
        state.selectedPresetIndex = round * 997;
        const auto text = encodeResumeFile(state);
        ASSERT_TRUE(text) << "round " << round;
        ASSERT_LE(text->size(), kMaxResumeFileBytes);
        ASSERT_EQ(decodeResumeFile(*text).state, state) << "round " << round;
    }
    ResumeState outside = sampleState();
    outside.sliderValues[0] = 16384.0;
    EXPECT_FALSE(encodeResumeFile(outside)) << "what the reader would refuse is not written";
    outside.sliderValues[0] = std::nan("");
    EXPECT_FALSE(encodeResumeFile(outside)) << "a value JSON cannot hold is not written";

    ResumeState running = sampleState();
    running.balls[0].isRunning = true;
    EXPECT_FALSE(decodeResumeFile(*encodeResumeFile(running)).state->balls[0].isRunning)
        << "balls come back stopped: a resumed panel sends nothing";
}

TEST(ResumeFileTest, ADamagedOrForeignFileIsRefusedWithTheReason) {
    const std::string good = *encodeResumeFile(sampleState());
    const auto refused = [](const std::string& text) { return decodeResumeFile(text).error; };
    EXPECT_EQ(refused(""), "it is not a JSON object");
    EXPECT_EQ(refused(good.substr(0, good.size() / 2)), "it is not a JSON object");
    EXPECT_EQ(refused("[1,2]"), "it is not a JSON object");
    EXPECT_EQ(refused(std::string(100000, '[')), "it is larger than 64 KiB");
    EXPECT_EQ(refused("{\"values\":" + std::string(30, '[') + std::string(30, ']') + "}"),
              "it is nested deeper than a resume file is");

    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return refused(text.replace(at, from.size(), to));
    };
    EXPECT_EQ(replaced("16383", "16384"), "a value lies outside 0 to 16383.0");
    EXPECT_EQ(replaced("\"groups\"", "\"grups\""), "it lacks \"groups\"");
    EXPECT_EQ(replaced("\"Triangle\"", "\"Saw\""), "ball 2 has no wave shape waveTypeY");
    EXPECT_EQ(replaced("\"assignedParam\": 41", "\"assignedParam\": 42"),
              "ball 5 drives no parameter a ball can drive");
    EXPECT_EQ(replaced("\"selectedPreset\": 12", "\"selectedPreset\": -1"),
              "\"selectedPreset\" is not a preset number");
}

TEST(ResumeFileTest, AResumedPanelShowsTheSoundAndSendsNothing) {
    test::PanelHarness h;
    h.service->clearRecorded();
    const ResumeState state = sampleState();
    h.model->resume(state);
    EXPECT_TRUE(h.sent().empty());
    EXPECT_EQ(h.controller().sliderValues(), state.sliderValues);
    EXPECT_EQ(h.controller().linkedTabs(), state.linkedTabs);
    EXPECT_TRUE(h.controller().modeToggle(ModeToggle::midiModeToggle));
    EXPECT_EQ(h.presets().selectedPresetIndex(), 12);
    EXPECT_EQ(h.model->physics().balls()[4].assignedParam, 41);
    EXPECT_FALSE(h.model->history().canUndo()) << "nothing to undo: this is where the run starts";
    EXPECT_EQ(h.model->resumeState(), state);
    h.controller().sendAll();
    EXPECT_EQ(h.sent().size(), 56u);
}

}  // namespace
}  // namespace tarnwell
