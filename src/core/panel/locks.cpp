#include "core/panel/locks.hpp"

namespace tarnwell {

namespace {

constexpr bool isParameter(std::int64_t index) {
    return index >= 0 && index < kParameterCount;
}

}  // namespace

bool Locks::isLocked(std::int64_t index) const {
    return isParameter(index) && locked_[static_cast<std::size_t>(index)];
}

void Locks::setLocked(std::int64_t index, bool locked) {
    if (!isParameter(index) || locked_[static_cast<std::size_t>(index)] == locked) {
        return;
    }
    locked_[static_cast<std::size_t>(index)] = locked;
    changed.emit(index);
}

void Locks::toggle(std::int64_t index) {
    setLocked(index, !isLocked(index));
}

bool Locks::unitLocked(std::int64_t unit) const {
    if (unit < 0 || unit >= kUnitCount) {
        return false;
    }
    for (std::int64_t slot = 0; slot < kSlotsPerUnit; ++slot) {
        if (!isLocked(unit * kSlotsPerUnit + slot)) {
            return false;
        }
    }
    return true;
}

void Locks::setUnitLocked(std::int64_t unit, bool locked) {
    if (unit < 0 || unit >= kUnitCount) {
        return;
    }
    bool any = false;
    for (std::int64_t slot = 0; slot < kSlotsPerUnit; ++slot) {
        bool& entry = locked_[static_cast<std::size_t>(unit * kSlotsPerUnit + slot)];
        any = any || entry != locked;
        entry = locked;
    }
    if (any) {
        changed.emit(-1);
    }
}

std::vector<std::int64_t> Locks::lockedIndices() const {
    std::vector<std::int64_t> indices;
    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        if (locked_[static_cast<std::size_t>(i)]) {
            indices.push_back(i);
        }
    }
    return indices;
}

void Locks::setLockedIndices(const std::vector<std::int64_t>& indices) {
    std::array<bool, kParameterCount> next{};
    for (const std::int64_t index : indices) {
        if (isParameter(index)) {
            next[static_cast<std::size_t>(index)] = true;
        }
    }
    if (next != locked_) {
        locked_ = next;
        changed.emit(-1);
    }
}

}  // namespace tarnwell
