#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/base/signal.hpp"
#include "core/control/model_control_target.hpp"
#include "core/panel/mode_toggles.hpp"

namespace tarnwell {

class Controller;
class Locks;
class MainQueue;
class Presets;
struct MidiSliderPreset;

// Where the switches and mod buttons change from preset A's state to B's: a
// position below it takes A's, a position at or above it takes B's, so the
// middle of the slider already sounds B's switches.
inline constexpr double kMorphSwitchPoint = 0.5;

struct MorphedSound {
    std::vector<double> values;
    std::vector<bool> modButtons;
    std::array<bool, kModeToggleCount> toggles{};
};

// The sound at `position` (0 to 1) between presets `a` and `b`: every
// unlocked parameter at (1 - position) * a + position * b, exactly a's value
// at 0 and b's at 1; locked parameters keep `values`; the mod buttons and the
// switches presets store take a's state below kMorphSwitchPoint and b's from
// it on; the switch presets do not store keeps `toggles`. Presets shorter
// than the panel count missing values as 0 and missing flags as off, as a
// recall does.
[[nodiscard]] MorphedSound morphedSound(const MidiSliderPreset& a, const MidiSliderPreset& b,
                                        double position, const std::vector<double>& values,
                                        const std::array<bool, kModeToggleCount>& toggles,
                                        const Locks& locks);

// The morph between two presets of the list, chosen by slot. Moving the
// position sets the panel to the morphed sound and sends what changed, as one
// user action "morph"; a gesture (one drag, one knob turn) is one undo step.
// Grouping copies nothing, as a recall of A or B copies nothing: each grouped
// unit takes its own interpolation, so the ends are exactly A and exactly B.
// Choosing A or B sends nothing; the next move of the position does.
//
// Pace: the panel is set at most once per kFrame. A move that comes sooner
// is kept and applied when the frame is over, the latest position winning, so
// a fast drag sends each changed parameter at most once a frame and the last
// position is always what the synthesizer ends on. The end of a gesture
// waits for that last application, so it belongs to the gesture's step.
// Nothing runs while the position rests.
//
// Threading: main thread only. `controller`, `presets`, `locks` and `queue`
// must outlive it.
class Morph final : public MorphControl {
public:
    static constexpr std::chrono::milliseconds kFrame{17};

    Morph(Controller& controller, Presets& presets, const Locks& locks, MainQueue& queue);
    ~Morph() override;
    Morph(const Morph&) = delete;
    Morph& operator=(const Morph&) = delete;

    // The chosen slots; empty when none is chosen.
    [[nodiscard]] std::optional<std::int64_t> presetA() const { return presetA_; }
    [[nodiscard]] std::optional<std::int64_t> presetB() const { return presetB_; }
    void setPresetA(std::optional<std::int64_t> slot);
    void setPresetB(std::optional<std::int64_t> slot);
    // Whether both are chosen and in the list, so moving the position acts.
    [[nodiscard]] bool ready() const;

    [[nodiscard]] double morphPosition() const override { return position_; }
    // Clamped to 0-1; a value that is not a number is ignored. While not
    // ready the position is kept and nothing else happens.
    void setMorphPosition(double position);
    // The same, set at once whatever the frame: for a caller that paces its
    // moves itself (the controller engine, once a frame).
    void setMorphPositionNow(double position) override;
    // One drag of the morph slider: one undo step.
    void beginMorphGesture();
    void endMorphGesture();

    // How many times the panel has been set to a position.
    [[nodiscard]] std::uint64_t applications() const { return applications_; }

    // After a change of the position, a choice, or the list (readiness).
    Signal<> changed;

private:
    void apply();
    void armFrame();
    void frameOver();
    void closeGesture();
    [[nodiscard]] bool inList(std::optional<std::int64_t> slot) const;

    Controller& controller_;
    Presets& presets_;
    const Locks& locks_;
    MainQueue& queue_;
    std::optional<std::int64_t> presetA_;
    std::optional<std::int64_t> presetB_;
    double position_ = 0.0;
    bool pending_ = false;    // a position waits for the frame to end
    bool frameOpen_ = false;  // the panel was set less than a frame ago
    bool gestureOpen_ = false;
    bool endAfterFrame_ = false;
    std::uint64_t applications_ = 0;
    Connection presetsConnection_;
    // Frame tasks hold a weak reference, so one that runs after the morph
    // has gone does nothing.
    std::shared_ptr<Morph*> self_;
};

}  // namespace tarnwell
