#include "core/history.hpp"

#include <algorithm>
#include <utility>

namespace tarnwell {

std::size_t PanelState::weight() const {
    std::size_t bytes = sizeof(PanelState) + sliderValues.size() * sizeof(double) +
                        (modButtonPressed.size() + linkedTabs.size()) / 8 +
                        balls.size() * sizeof(Ball);
    if (presets) {
        std::size_t list = presets->size() * sizeof(MidiSliderPreset);
        for (const MidiSliderPreset& preset : *presets) {
            list += preset.values.size() * sizeof(double) + preset.modStates.size() / 8;
        }
        bytes += list / static_cast<std::size_t>(std::max<long>(1, presets.use_count()));
    }
    return bytes;
}

History::History(std::size_t maxSteps, std::size_t maxBytes)
    : maxSteps_(maxSteps), maxBytes_(maxBytes) {}

void History::push(std::deque<Step>& stack, std::string action, PanelState state) {
    stack.emplace_back(std::move(action), std::move(state), nextId_++);
    bytes_ += stack.back().weight;
}

PanelState History::pop(std::deque<Step>& stack) {
    Step step = std::move(stack.back());
    stack.pop_back();
    bytes_ -= step.weight;
    return std::move(step.state);
}

void History::record(std::string action, PanelState before) {
    if (!wantsStep()) {
        return;
    }
    gestureRecorded_ = gestureDepth_ > 0;
    push(undo_, std::move(action), std::move(before));
    while (!redo_.empty()) {
        pop(redo_);
    }
    trim();
    changed.emit();
}

void History::beginGesture() {
    if (gestureDepth_++ == 0) {
        gestureRecorded_ = false;
    }
}

void History::endGesture() {
    if (gestureDepth_ > 0) {
        --gestureDepth_;
    }
}

std::string History::undoAction() const {
    return undo_.empty() ? std::string() : undo_.back().action;
}

std::string History::redoAction() const {
    return redo_.empty() ? std::string() : redo_.back().action;
}

std::optional<PanelState> History::undo(PanelState current) {
    if (undo_.empty()) {
        return std::nullopt;
    }
    std::string action = undo_.back().action;
    PanelState before = pop(undo_);
    push(redo_, std::move(action), std::move(current));
    changed.emit();
    return before;
}

std::optional<PanelState> History::redo(PanelState current) {
    if (redo_.empty()) {
        return std::nullopt;
    }
    std::string action = redo_.back().action;
    PanelState after = pop(redo_);
    push(undo_, std::move(action), std::move(current));
    trim();
    changed.emit();
    return after;
}

void History::trim() {
    while (!undo_.empty() && (undo_.size() > maxSteps_ || bytes_ > maxBytes_)) {
        bytes_ -= undo_.front().weight;
        undo_.pop_front();
    }
}

}  // namespace tarnwell
