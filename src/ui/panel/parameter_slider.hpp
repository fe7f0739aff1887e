#pragma once

#include <QSlider>

namespace tarnwell {

// A horizontal slider over a closed range of doubles. QSlider counts in
// integers, so the range is divided into fine steps (1/64 of a unit for the
// parameter range): a drag yields fractional values, not only whole numbers.
class ParameterSlider : public QSlider {
    Q_OBJECT
public:
    ParameterSlider(double minimum, double maximum, int stepsPerUnit, QWidget* parent = nullptr);

    [[nodiscard]] double doubleValue() const;
    // Moves the knob without emitting `valueEdited`.
    void showValue(double value);
    // Where the knob is drawn, in the slider's coordinates.
    [[nodiscard]] QRect handleRect() const;

Q_SIGNALS:
    // Every change made on the slider itself: each position of a drag, each
    // key press. Not emitted for `showValue`.
    void valueEdited(double value);

private:
    double minimum_;
    double maximum_;
    int stepsPerUnit_;
};

}  // namespace tarnwell
