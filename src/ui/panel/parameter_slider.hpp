#pragma once

#include <optional>

#include <QSlider>

namespace tarnwell {

// A horizontal slider over a closed range of doubles. QSlider counts in
// integers, so the range is divided into fine steps (1/64 of a unit for the
// parameter range): a drag yields fractional values, not only whole numbers.
//
// Keys: the arrows move by the coarse step, with Shift by one shown unit;
// Page Up/Down by a sixteenth of the range; Home/End to the ends. A drag with
// Shift held moves the value a tenth as fast as the pointer. The wheel acts
// only while the slider has keyboard focus, one coarse step a notch;
// otherwise it scrolls the page.
//
// Assistive technologies see the value, range and step in the units the
// panel shows (see `setShownStep`), and setting the value there edits it.
class ParameterSlider : public QSlider {
    Q_OBJECT
public:
    ParameterSlider(double minimum, double maximum, int stepsPerUnit, QWidget* parent = nullptr);

    [[nodiscard]] double doubleValue() const;
    [[nodiscard]] double minimumValue() const { return minimum_; }
    [[nodiscard]] double maximumValue() const { return maximum_; }
    // Moves the knob without emitting `valueEdited`.
    void showValue(double value);
    // Sets the value as an edit made on the slider: moves the knob and emits
    // `valueEdited` with `value` itself (clamped to the range), not the knob's
    // nearest step.
    void editValue(double value);
    // Where the knob is drawn, in the slider's coordinates.
    [[nodiscard]] QRect handleRect() const;
    // A second marker, under the groove, at a value something else drives
    // the parameter to (a running ball); empty hides it. The knob and the
    // value it stands for do not move.
    void showLiveValue(std::optional<double> value);
    [[nodiscard]] std::optional<double> liveValue() const { return liveValue_; }
    // Where the live marker is drawn; empty while hidden.
    [[nodiscard]] QRect liveMarkerRect() const;
    // Keeps room under the groove for the live marker (and as much above, so
    // the groove stays centred) in the sizes the slider asks of its layout.
    void reserveLiveMarkerRoom();
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

    // The smallest step the panel shows (1 for a parameter, 0.1 for a ball's
    // amplitude); also the step of Shift with the arrow keys.
    void setShownStep(double step) { shownStep_ = step; }
    [[nodiscard]] double shownStep() const { return shownStep_; }

Q_SIGNALS:
    // Every change made on the slider itself: each position of a drag, each
    // key press, a value set by an assistive technology. Not emitted for
    // `showValue`.
    void valueEdited(double value);
    // One drag or one key press begins and ends: the edits between are one
    // action for undo.
    void editBegan();
    void editEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] int positionOf(double value) const;

    double minimum_;
    double maximum_;
    int stepsPerUnit_;
    // Where the live marker was last drawn or asked to be: what a move must
    // repaint besides the new place.
    QRect drawnMarker_;
    bool markerRoom_ = false;
    double shownStep_ = 1.0;
    bool editingValue_ = false;
    // The anchor of a fine (Shift) drag: pointer x and knob position.
    bool fineDrag_ = false;
    double fineAnchorX_ = 0.0;
    int fineAnchorPosition_ = 0;
    // Wheel rotation not yet turned into a step (high-resolution wheels and
    // touchpads send fractions of a notch).
    int wheelRemainder_ = 0;
    std::optional<double> liveValue_;
};

}  // namespace tarnwell
