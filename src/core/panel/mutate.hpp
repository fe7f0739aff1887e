#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "core/panel/mode_toggles.hpp"

namespace tarnwell {

class Controller;
class Locks;
class RandomSource;

inline constexpr int kMinMutatePercent = 1;
inline constexpr int kMaxMutatePercent = 100;
inline constexpr int kDefaultMutatePercent = 10;

// How far one Mutate may move the sound.
struct MutateOptions {
    // The largest move of a parameter, in percent of its 0-16383 range,
    // either way. Kept within kMinMutatePercent..kMaxMutatePercent.
    int percent = kDefaultMutatePercent;
    // Whether the five switches a preset stores take part: each flips with a
    // chance of percent / 2 in a hundred, so at 100 % it ends on or off with
    // equal chance, as a parameter at 100 % may end anywhere.
    bool switches = false;

    friend bool operator==(const MutateOptions&, const MutateOptions&) = default;
};

[[nodiscard]] int clampedMutatePercent(int percent);

// The values one Mutate arrives at from `values` (one per parameter): each
// unlocked parameter moves by an offset drawn uniformly from the closed range
// of +-percent of 16383 around its value, then is clamped to 0-16383. The
// draw ignores the edges, so a value at 0 stays at 0 in half the draws and
// moves up in the other half: the offsets are unbiased, the clamping is what
// piles values on an edge.
//
// Grouped units end equal, as dice leaves them: the lowest grouped unit draws,
// the other grouped units take its new values. A slot locked in any grouped
// unit holds that slot in all of them, since grouped units move together and
// a locked parameter never moves.
[[nodiscard]] std::vector<double> mutatedValues(const std::vector<double>& values,
                                                const std::vector<bool>& linkedTabs,
                                                const Locks& locks, int percent,
                                                RandomSource& random);

// The switches after one Mutate that lets them take part (see
// MutateOptions::switches); a switch presets do not store never flips.
[[nodiscard]] std::array<bool, kModeToggleCount> mutatedToggles(
    const std::array<bool, kModeToggleCount>& toggles, int percent, RandomSource& random);

// Mutates the panel as one undo step named "mutate", drawing from `random`,
// and sends each changed parameter once, in index order, then each switch
// that flipped. Returns how many parameter values changed; when nothing
// changes (everything locked) there is no undo step and nothing is sent.
std::size_t mutate(Controller& controller, const Locks& locks, RandomSource& random,
                   const MutateOptions& options);

}  // namespace tarnwell
