#pragma once

#include <cstdint>
#include <vector>

#include "core/physics/wave.hpp"

namespace tarnwell {

// The fill colour of a ball's disc; views map it to a toolkit colour.
enum class BallColor : std::uint8_t { red, blue, green, orange, purple };

// A position in drawing-area points: origin at the top-left corner, y down.
struct Point {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A velocity in points per tick, y down.
struct Velocity {
    double dx = 0.0;
    double dy = 0.0;
    friend bool operator==(const Velocity&, const Velocity&) = default;
};

// One modulation source. A plain value: the simulation moves it and the page's
// controls write its settings; its identity is its index in the list of balls.
// Amplitudes are displacements in points per tick, frequencies radians per unit
// of simulation time, phases radians.
struct Ball {
    Point pos;
    Velocity vel;
    BallColor color = BallColor::red;
    std::int64_t assignedParam = 1;  // the NRPN number the ball's x drives
    WaveType waveTypeY = WaveType::sine;
    double ampY = 0.0;
    double freqY = 0.0;
    double phaseY = 0.0;
    WaveType waveTypeX = WaveType::sine;
    double ampX = 0.0;
    double freqX = 0.0;
    double phaseX = 0.0;
    bool isRunning = false;
    bool magnetEnabled = false;
    double magnetStrength = 0.0;  // the magnet acts only when greater than 0
    double magnetX = 0.0;
    double magnetY = 0.0;

    friend bool operator==(const Ball&, const Ball&) = default;
};

// The five balls a new physics page starts with, all stopped, driving NRPN
// parameters 1 to 5, each with its magnet off at the centre of the area.
[[nodiscard]] std::vector<Ball> initialBalls();

}  // namespace tarnwell
