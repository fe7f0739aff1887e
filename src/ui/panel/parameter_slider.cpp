#include "ui/panel/parameter_slider.hpp"

#include <cmath>

#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>

namespace tarnwell {

ParameterSlider::ParameterSlider(double minimum, double maximum, int stepsPerUnit, QWidget* parent)
    : QSlider(Qt::Horizontal, parent),
      minimum_(minimum),
      maximum_(maximum),
      stepsPerUnit_(stepsPerUnit) {
    const int steps = static_cast<int>(std::lround((maximum - minimum) * stepsPerUnit));
    setRange(0, steps);
    // Arrow keys move by 1/1024 of the range, Page Up/Down by 1/16.
    setSingleStep(std::max(1, steps / 1024));
    setPageStep(std::max(1, steps / 16));
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::valueChanged, this, [this] { Q_EMIT valueEdited(doubleValue()); });
}

double ParameterSlider::doubleValue() const {
    const int position = value();
    if (position == maximum()) {
        // The top step is the range's end exactly, even where the range is
        // not a whole number of steps (2π).
        return maximum_;
    }
    return std::min(maximum_, minimum_ + static_cast<double>(position) / stepsPerUnit_);
}

QRect ParameterSlider::handleRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

void ParameterSlider::showValue(double value) {
    const QSignalBlocker blocker(this);
    const double position = std::isfinite(value) ? (value - minimum_) * stepsPerUnit_ : 0.0;
    setValue(
        static_cast<int>(std::lround(std::clamp(position, 0.0, static_cast<double>(maximum())))));
}

}  // namespace tarnwell
