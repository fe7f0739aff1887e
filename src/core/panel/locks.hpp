#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/base/signal.hpp"
#include "core/panel/parameters.hpp"

namespace tarnwell {

// Which parameters the musician has locked against exploration. A locked
// parameter keeps its value through Mutate and Morph; nothing else looks at
// locks: a hand edit, a grouped copy, a recall, dice and calibrate move it as
// before. Locks belong to the musician's way of working, not to a sound: they
// are kept in the settings, never in presets, and undo does not touch them.
//
// Threading: main thread only.
class Locks {
public:
    [[nodiscard]] bool isLocked(std::int64_t index) const;
    // An index outside the parameters does nothing.
    void setLocked(std::int64_t index, bool locked);
    void toggle(std::int64_t index);

    // Whether all six parameters of unit 0-5 are locked.
    [[nodiscard]] bool unitLocked(std::int64_t unit) const;
    // Locks or unlocks the six parameters of a unit at once.
    void setUnitLocked(std::int64_t unit, bool locked);

    // The locked indices, ascending.
    [[nodiscard]] std::vector<std::int64_t> lockedIndices() const;
    // Locks exactly these indices; any outside the parameters are ignored.
    void setLockedIndices(const std::vector<std::int64_t>& indices);

    // After a change: the index, or -1 when several changed at once.
    Signal<std::int64_t> changed;

private:
    std::array<bool, kParameterCount> locked_{};
};

}  // namespace tarnwell
