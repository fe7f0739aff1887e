#include "core/panel/morph.hpp"

#include <algorithm>
#include <cmath>

#include "core/base/main_queue.hpp"
#include "core/panel/controller.hpp"
#include "core/panel/locks.hpp"
#include "core/panel/presets.hpp"

namespace tarnwell {

MorphedSound morphedSound(const MidiSliderPreset& a, const MidiSliderPreset& b, double position,
                          const std::vector<double>& values,
                          const std::array<bool, kModeToggleCount>& toggles, const Locks& locks) {
    const auto valueOf = [](const MidiSliderPreset& preset, std::size_t i) {
        return i < preset.values.size() ? preset.values[i] : 0.0;
    };
    MorphedSound sound;
    sound.values.resize(kParameterCount);
    for (std::size_t i = 0; i < sound.values.size(); ++i) {
        if (locks.isLocked(static_cast<std::int64_t>(i))) {
            sound.values[i] = i < values.size() ? values[i] : 0.0;
            continue;
        }
        // Exact at both ends: 1 * a + 0 * b is a, 0 * a + 1 * b is b.
        sound.values[i] = (1.0 - position) * valueOf(a, i) + position * valueOf(b, i);
    }
    const MidiSliderPreset& side = position < kMorphSwitchPoint ? a : b;
    sound.modButtons.resize(kModButtonCount);
    for (std::size_t i = 0; i < sound.modButtons.size(); ++i) {
        sound.modButtons[i] = i < side.modStates.size() && side.modStates[i];
    }
    sound.toggles = toggles;
    for (const ModeToggleInfo& info : kModeToggles) {
        if (isStoredInPresets(info.toggle)) {
            sound.toggles[static_cast<std::size_t>(info.toggle)] = side.modeToggle(info.toggle);
        }
    }
    return sound;
}

Morph::Morph(Controller& controller, Presets& presets, const Locks& locks, MainQueue& queue)
    : controller_(controller),
      presets_(presets),
      locks_(locks),
      queue_(queue),
      self_(std::make_shared<Morph*>(this)) {
    presetsConnection_ = presets_.changed.connect([this](PresetsEvent event) {
        if (event.change == PresetsChange::list) {
            changed.emit();
        }
    });
}

Morph::~Morph() {
    closeGesture();
}

bool Morph::inList(std::optional<std::int64_t> slot) const {
    return slot && *slot >= 0 && static_cast<std::uint64_t>(*slot) < presets_.presets().size();
}

bool Morph::ready() const {
    return inList(presetA_) && inList(presetB_);
}

void Morph::setPresetA(std::optional<std::int64_t> slot) {
    if (slot != presetA_) {
        presetA_ = slot;
        changed.emit();
    }
}

void Morph::setPresetB(std::optional<std::int64_t> slot) {
    if (slot != presetB_) {
        presetB_ = slot;
        changed.emit();
    }
}

void Morph::setMorphPosition(double position) {
    if (std::isnan(position)) {
        return;
    }
    position_ = std::clamp(position, 0.0, 1.0);
    changed.emit();
    if (!ready()) {
        return;
    }
    pending_ = true;
    if (!frameOpen_) {
        apply();
    }
}

void Morph::setMorphPositionNow(double position) {
    if (std::isnan(position)) {
        return;
    }
    position_ = std::clamp(position, 0.0, 1.0);
    changed.emit();
    if (ready()) {
        apply();
    }
}

void Morph::apply() {
    pending_ = false;
    // Held, so a listener that replaces the list cannot pull it away.
    const auto list = presets_.sharedPresets();
    if (!ready()) {
        return;
    }
    std::array<bool, kModeToggleCount> toggles{};
    for (const ModeToggleInfo& info : kModeToggles) {
        toggles[static_cast<std::size_t>(info.toggle)] = controller_.modeToggle(info.toggle);
    }
    MorphedSound sound = morphedSound((*list)[static_cast<std::size_t>(*presetA_)],
                                      (*list)[static_cast<std::size_t>(*presetB_)], position_,
                                      controller_.sliderValues(), toggles, locks_);
    ++applications_;
    controller_.setExploredSound("morph", sound.values, sound.modButtons, sound.toggles);
    // The frame counts from the end of the sends, so however long they took,
    // no parameter is sent again within a frame.
    armFrame();
}

void Morph::armFrame() {
    frameOpen_ = true;
    std::weak_ptr<Morph*> weak = self_;
    queue_.postAfter(kFrame, [weak] {
        if (const auto self = weak.lock()) {
            (*self)->frameOver();
        }
    });
}

void Morph::frameOver() {
    frameOpen_ = false;
    if (pending_) {
        apply();
    }
    if (endAfterFrame_) {
        endAfterFrame_ = false;
        closeGesture();
    }
}

void Morph::beginMorphGesture() {
    if (endAfterFrame_) {
        // The previous gesture's last position is still to come: this one
        // carries on that step rather than taking it apart.
        endAfterFrame_ = false;
        return;
    }
    if (!gestureOpen_) {
        gestureOpen_ = true;
        controller_.beginGesture();
    }
}

void Morph::endMorphGesture() {
    if (!gestureOpen_) {
        return;
    }
    if (pending_) {
        endAfterFrame_ = true;
        return;
    }
    closeGesture();
}

void Morph::closeGesture() {
    if (gestureOpen_) {
        gestureOpen_ = false;
        controller_.endGesture();
    }
}

}  // namespace tarnwell
