#include "core/physics/ball.hpp"

namespace tarnwell {

std::vector<Ball> initialBalls() {
    using enum WaveType;
    using enum BallColor;
    constexpr bool stopped = false;
    constexpr bool magnetOff = false;
    // One row per ball, the fields in declaration order: pos, vel, color,
    // assignedParam, waveTypeY, ampY, freqY, phaseY, waveTypeX, ampX, freqX,
    // phaseX, isRunning, magnetEnabled, magnetStrength, magnetX, magnetY.
    // clang-format off
    return {
        Ball{{40.0, 40.0},   {1.5, 1.5},   red,    1, sine,     2.0, 1.5, 0.5, sine,     2.0, 1.0, 0.0, stopped, magnetOff, 0.0, 125.0, 125.0},
        Ball{{80.0, 60.0},   {-1.2, 1.0},  blue,   2, triangle, 2.0, 2.0, 0.8, square,   1.5, 1.2, 0.3, stopped, magnetOff, 0.0, 125.0, 125.0},
        Ball{{120.0, 90.0},  {2.0, -1.2},  green,  3, sine,     3.0, 1.0, 1.2, triangle, 2.5, 1.8, 1.0, stopped, magnetOff, 0.0, 125.0, 125.0},
        Ball{{150.0, 130.0}, {-1.8, 1.4},  orange, 4, square,   2.5, 1.6, 0.7, sine,     1.0, 2.5, 1.5, stopped, magnetOff, 0.0, 125.0, 125.0},
        Ball{{190.0, 180.0}, {1.5, -1.5},  purple, 5, sine,     1.0, 2.2, 0.5, triangle, 2.0, 0.8, 2.0, stopped, magnetOff, 0.0, 125.0, 125.0},
    };
    // clang-format on
}

}  // namespace tarnwell
