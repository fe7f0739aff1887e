#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QWidget>

#include "core/base/signal.hpp"

namespace tarnwell {

class Controller;
class LockMark;
class Locks;
class ParameterSlider;
class ValueField;

// A bank of labelled sliders over the parameter indices [startIndex, endIndex),
// in two rows (the first three, then the rest), each with its value beside it
// in the units the synthesizer receives. A slider knows only its
// parameter index: a change made on it is one `editParameter` call. Values
// written elsewhere move only the slider of the index that changed, and never
// the slider whose own edit is being applied. A parameter locked against
// exploration shows a padlock beside its slider and says so to assistive
// technologies.
class MidiSliderView : public QWidget {
    Q_OBJECT
public:
    // `controller` and `locks` must outlive the view.
    MidiSliderView(Controller& controller, Locks& locks, std::int64_t startIndex,
                   std::int64_t endIndex, QWidget* parent = nullptr);

    [[nodiscard]] ParameterSlider* sliderFor(std::int64_t index) const;
    // The readout and typed entry beside the slider.
    [[nodiscard]] ValueField* fieldFor(std::int64_t index) const;
    [[nodiscard]] LockMark* lockMarkFor(std::int64_t index) const;
    // Shows what a running ball sends for the parameter at `index`, beside
    // its stored value; empty when no ball drives it.
    void showModulation(std::int64_t index, std::optional<std::int64_t> value);

private:
    void showValue(std::int64_t index);
    void showLock(std::int64_t index);

    Controller& controller_;
    Locks& locks_;
    std::int64_t startIndex_;
    std::vector<ParameterSlider*> sliders_;
    std::vector<ValueField*> fields_;
    std::vector<LockMark*> lockMarks_;
    std::int64_t editing_ = -1;
    std::vector<Connection> connections_;
};

// The parameter whose slider or value field is `widget` or holds it; empty
// for any other widget. What a command on "the focused control" acts on.
[[nodiscard]] std::optional<std::int64_t> parameterOfWidget(const QWidget* widget);

}  // namespace tarnwell
