#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/base/signal.hpp"
#include "core/panel/mode_toggles.hpp"
#include "core/panel/preset.hpp"
#include "core/physics/ball.hpp"

namespace tarnwell {

// Everything a user action can change that undo gives back: the parameter
// values, mod buttons, grouping, switches, the balls' settings (not their
// positions) and the preset list with its selection. The list is shared
// between states until an import replaces it, so a step costs about a
// kilobyte.
struct PanelState {
    std::vector<double> sliderValues;
    std::vector<bool> modButtonPressed;
    std::vector<bool> linkedTabs;
    std::array<bool, kModeToggleCount> modeToggles{};
    std::vector<Ball> balls;
    std::shared_ptr<const std::vector<MidiSliderPreset>> presets;
    // Which stored generation of the list `presets` belongs to: every write
    // of the presets file (a save, a rename) starts a new one. Undo and redo
    // put a list back only within its generation, so nothing they do can
    // take back a save, in memory or on disk.
    std::uint64_t presetsGeneration = 0;
    std::int64_t selectedPresetIndex = 0;

    // A rough count of the bytes this state holds; a preset list shared with
    // other states counts in part.
    [[nodiscard]] std::size_t weight() const;
};

// The undo and redo stacks: each step is a name and the state before it.
// Bounded by a number of steps and by memory; the oldest steps go first.
//
// Threading: main thread only.
class History {
public:
    static constexpr std::size_t kMaxSteps = 500;
    static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;

    explicit History(std::size_t maxSteps = kMaxSteps, std::size_t maxBytes = kMaxBytes);

    // A new step named `action` whose undo gives back `before`. Inside an
    // open gesture only its first step is kept. Clears the redo stack.
    void record(std::string action, PanelState before);
    // Whether `record` would keep a step now: false inside a gesture that
    // has its step already, so a drag builds its snapshot once, and false
    // while joining a step that is still the newest.
    [[nodiscard]] bool wantsStep() const {
        return (joinStep_ == 0 || joinStep_ != newestStep()) &&
               (gestureDepth_ == 0 || !gestureRecorded_);
    }
    void beginGesture();
    void endGesture();

    // Steps are numbered as they are stacked (redo stacks a step anew, under
    // a new number); the newest undo step's number, 0 when there is none.
    [[nodiscard]] std::uint64_t newestStep() const { return undo_.empty() ? 0 : undo_.back().id; }
    // While one exists, a `record` joins step `step` instead of stacking a
    // step of its own, but only while `step` is still the newest: once
    // anything else has been recorded, or the step was undone, the record
    // is a step of its own. So an edit joins exactly the step its caller
    // names and no other edit ever joins it (unlike a gesture, which takes
    // in everything recorded while it is open). `step` 0 joins nothing.
    class JoinScope {
    public:
        JoinScope(History& history, std::uint64_t step)
            : history_(history), previous_(std::exchange(history.joinStep_, step)) {}
        ~JoinScope() { history_.joinStep_ = previous_; }
        JoinScope(const JoinScope&) = delete;
        JoinScope& operator=(const JoinScope&) = delete;

    private:
        History& history_;
        std::uint64_t previous_;
    };

    [[nodiscard]] bool canUndo() const { return !undo_.empty(); }
    [[nodiscard]] bool canRedo() const { return !redo_.empty(); }
    // The name of what undo / redo would give back; empty when nothing.
    [[nodiscard]] std::string undoAction() const;
    [[nodiscard]] std::string redoAction() const;
    [[nodiscard]] std::size_t undoSteps() const { return undo_.size(); }

    // Takes the newest step: returns the state to restore and keeps
    // `current` for redo. Nothing when there is nothing to undo.
    std::optional<PanelState> undo(PanelState current);
    std::optional<PanelState> redo(PanelState current);

    // After every change of either stack.
    Signal<> changed;

private:
    struct Step {
        Step(std::string name, PanelState panel, std::uint64_t number)
            : action(std::move(name)),
              state(std::move(panel)),
              weight(state.weight()),
              id(number) {}
        std::string action;
        PanelState state;
        std::size_t weight;  // as counted into `bytes_` when the step was stacked
        std::uint64_t id;
    };
    void push(std::deque<Step>& stack, std::string action, PanelState state);
    PanelState pop(std::deque<Step>& stack);
    void trim();

    std::size_t maxSteps_;
    std::size_t maxBytes_;
    std::deque<Step> undo_;
    std::deque<Step> redo_;
    std::size_t bytes_ = 0;
    int gestureDepth_ = 0;
    bool gestureRecorded_ = false;
    std::uint64_t nextId_ = 1;
    std::uint64_t joinStep_ = 0;
};

}  // namespace tarnwell
