#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QWidget>

#include "core/base/signal.hpp"

namespace tarnwell {

class Controller;
class ParameterSlider;

// A bank of labelled sliders over the parameter indices [startIndex, endIndex),
// in two rows (the first three, then the rest). A change made on a slider is
// written into the controller's values and reported through `onChange` with
// (value, NRPN number); values written elsewhere only move the sliders.
class MidiSliderView : public QWidget {
    Q_OBJECT
public:
    using SendNRPN = std::function<void(double value, std::int64_t nrpnNumber)>;

    MidiSliderView(Controller& controller, std::int64_t startIndex, std::int64_t endIndex,
                   SendNRPN onChange, QWidget* parent = nullptr);

    [[nodiscard]] ParameterSlider* sliderFor(std::int64_t index) const;

private:
    void showValues();

    Controller& controller_;
    std::int64_t startIndex_;
    std::vector<ParameterSlider*> sliders_;
    SendNRPN onChange_;
    Connection connection_;
};

}  // namespace tarnwell
