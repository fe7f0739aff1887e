#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/panel/mode_toggles.hpp"
#include "core/physics/ball.hpp"

namespace tarnwell {

// The sound the panel had when it closed, for the next run to start from:
// values, mod buttons, groups, every switch, the balls' settings and the
// selected preset. Written to the settings folder at quit when the musician
// asked for it, read at start.
struct ResumeState {
    std::vector<double> sliderValues;
    std::vector<bool> modButtonPressed;
    std::vector<bool> linkedTabs;
    std::array<bool, kModeToggleCount> modeToggles{};
    std::vector<Ball> balls;  // settings only; positions are not kept
    std::int64_t selectedPresetIndex = 0;

    friend bool operator==(const ResumeState&, const ResumeState&) = default;
};

inline constexpr const char* kResumeFileName = "resume.json";
// A resume file is a few kilobytes; anything much larger is not one.
inline constexpr std::size_t kMaxResumeFileBytes = std::size_t{64} << 10;

// A JSON object that decodeResumeFile reads back equal (with the balls
// stopped); fails, writing nothing, for a state it would not: a value JSON
// cannot hold, a length or a range the reader refuses.
[[nodiscard]] std::optional<std::string> encodeResumeFile(const ResumeState& state);

struct ResumeDecoding {
    std::optional<ResumeState> state;  // absent when the file is refused
    std::string error;                 // why, in words
};

// Reads what encodeResumeFile wrote. Every member is required, with the
// panel's own lengths (42 values, 8 mod buttons, 6 groups, 5 balls) and
// ranges; anything else refuses the whole file. Balls come back stopped.
[[nodiscard]] ResumeDecoding decodeResumeFile(std::string_view bytes);

}  // namespace tarnwell
