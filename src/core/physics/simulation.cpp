#include "core/physics/simulation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "core/base/change_observer.hpp"
#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/nrpn.hpp"
#include "core/physics/wave.hpp"

namespace tarnwell {

namespace {

WaveType randomWaveType(RandomSource& random) {
    return kAllWaveTypes[uniformIndex(random, kAllWaveTypes.size())];
}

// Bounce test against one pair of walls: at the margin counts as a hit.
bool hitsWall(double next, double extent) {
    return next <= PhysicsSimulation::kWallMargin ||
           next >= extent - PhysicsSimulation::kWallMargin;
}

// std::max/std::min in this order turn a NaN into the upper limit, so the
// result is always a finite position inside the walls.
double clampToWalls(double value, double extent) {
    return std::min(extent - PhysicsSimulation::kWallMargin,
                    std::max(value, PhysicsSimulation::kWallMargin));
}

}  // namespace

PhysicsSimulation::PhysicsSimulation(MidiManager& midiManager) : midiManager_(midiManager) {}

void PhysicsSimulation::timerTick() {
    time_ += kTimeStep;
    const std::size_t count = balls_.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (!balls_[i].isRunning) {
            continue;
        }
        updateBall(i);
        const Ball& ball = balls_[i];
        midiManager_.sendToConnected(sentValue(ball), ball.assignedParam, SendOrigin::physics);
    }
    changed.emit(PhysicsChange::tick);
}

std::int64_t PhysicsSimulation::sentValue(const Ball& ball) {
    return nrpnValueFromDouble(ball.pos.x / boundingWidth * static_cast<double>(kNrpnMax));
}

bool PhysicsSimulation::anyRunning() const {
    return std::ranges::any_of(balls_, [](const Ball& ball) { return ball.isRunning; });
}

void PhysicsSimulation::skipTicks(std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        time_ += kTimeStep;
    }
}

void PhysicsSimulation::updateBall(std::size_t index) {
    if (index >= balls_.size()) {
        return;
    }
    Ball& ball = balls_[index];
    double vx = ball.vel.dx;
    double vy = ball.vel.dy;

    // The position moves by the velocity from before the bounce; a reversed
    // velocity shows from the next tick.
    const double nx = ball.pos.x + vx;
    if (hitsWall(nx, boundingWidth)) {
        vx = -vx;
    }
    const double ny = ball.pos.y + vy;
    if (hitsWall(ny, boundingHeight)) {
        vy = -vy;
    }

    // The push displaces the position; it never accumulates in the velocity.
    const double wx = waveValue(ball.waveTypeX, time_, ball.freqX, ball.phaseX);
    const double wy = waveValue(ball.waveTypeY, time_, ball.freqY, ball.phaseY);
    const double x = clampToWalls(nx + ball.ampX * wx, boundingWidth);
    const double y = clampToWalls(ny + ball.ampY * wy, boundingHeight);

    if (ball.magnetEnabled && ball.magnetStrength > 0.0) {
        const double dx = ball.magnetX - x;
        const double dy = ball.magnetY - y;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d > kMagnetDeadZone) {
            const double angle = std::atan2(dy, dx);
            const double pull = ball.magnetStrength / d;
            vx += pull * std::cos(angle);
            vy += pull * std::sin(angle);
        }
    }

    ball.pos = {x, y};
    ball.vel = {vx, vy};
}

void PhysicsSimulation::toggleRunning(std::size_t index) {
    if (index >= balls_.size()) {
        return;
    }
    willChange((balls_[index].isRunning ? "stop ball " : "start ball ") +
               std::to_string(index + 1));
    balls_[index].isRunning = !balls_[index].isRunning;
    changed.emit(PhysicsChange::settings);
}

void PhysicsSimulation::randomizeWaves(RandomSource& random) {
    if (balls_.empty()) {
        return;
    }
    willChange("Dice");
    for (Ball& ball : balls_) {
        ball.waveTypeX = randomWaveType(random);
        ball.waveTypeY = randomWaveType(random);
        ball.ampX = uniformClosed(random, 0.0, kMaxAmplitude);
        ball.freqX = uniformClosed(random, 0.0, kMaxFrequency);
        ball.phaseX = uniformClosed(random, 0.0, kMaxPhase);
        ball.ampY = uniformClosed(random, 0.0, kMaxAmplitude);
        ball.freqY = uniformClosed(random, 0.0, kMaxFrequency);
        ball.phaseY = uniformClosed(random, 0.0, kMaxPhase);
    }
    changed.emit(PhysicsChange::settings);
}

void PhysicsSimulation::editBall(std::size_t index, const std::function<void(Ball&)>& edit) {
    if (index >= balls_.size()) {
        return;
    }
    willChange("ball " + std::to_string(index + 1) + " settings");
    edit(balls_[index]);
    changed.emit(PhysicsChange::settings);
}

void PhysicsSimulation::willChange(std::string action) {
    if (observer_ != nullptr) {
        observer_->willChange(action);
    }
}

void PhysicsSimulation::beginGesture() {
    if (observer_ != nullptr) {
        observer_->beginGesture();
    }
}

void PhysicsSimulation::endGesture() {
    if (observer_ != nullptr) {
        observer_->endGesture();
    }
}

void PhysicsSimulation::restoreSettings(const std::vector<Ball>& balls) {
    for (std::size_t i = 0; i < balls_.size() && i < balls.size(); ++i) {
        Ball settings = balls[i];
        settings.pos = balls_[i].pos;
        settings.vel = balls_[i].vel;
        balls_[i] = settings;
    }
    changed.emit(PhysicsChange::settings);
}

}  // namespace tarnwell
