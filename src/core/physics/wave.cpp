#include "core/physics/wave.hpp"

#include <cmath>

namespace tarnwell {

std::string_view rawValue(WaveType type) {
    switch (type) {
        case WaveType::sine:
            return "Sine";
        case WaveType::square:
            return "Square";
        case WaveType::triangle:
            return "Triangle";
    }
    return "Sine";
}

std::optional<WaveType> waveTypeFromRaw(std::string_view raw) {
    for (const WaveType type : kAllWaveTypes) {
        if (rawValue(type) == raw) {
            return type;
        }
    }
    return std::nullopt;
}

double waveValue(WaveType type, double t, double freq, double phase) {
    const double product = t * freq;
    const double theta = product + phase;
    switch (type) {
        case WaveType::sine:
            return std::sin(theta);
        case WaveType::square:
            return std::sin(theta) >= 0.0 ? 1.0 : -1.0;
        case WaveType::triangle: {
            // The floor, not a remainder, keeps negative angles on the same
            // periodic shape.
            const double u = theta / kTwoPi;
            return 1.0 - 4.0 * std::abs(std::floor(u) - u + 0.5);
        }
    }
    return 0.0;
}

}  // namespace tarnwell
