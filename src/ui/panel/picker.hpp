#pragma once

#include <QComboBox>
#include <QWheelEvent>

namespace tarnwell {

// A drop-down list that the mouse wheel never changes while it is closed:
// the wheel scrolls the page instead, so a notch over "Select Preset" can
// never recall a preset or switch the synthesizer. Choosing with the mouse or
// the keyboard works as usual.
class Picker : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent* event) override { event->ignore(); }
};

}  // namespace tarnwell
