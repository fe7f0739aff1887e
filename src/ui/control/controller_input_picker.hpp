#pragma once

#include "core/base/signal.hpp"
#include "ui/panel/picker.hpp"

namespace tarnwell {

class ControllerInput;

// "Controller Input": where a hardware controller's messages come from.
// The first row, "None", takes input from nothing (and, before any source was
// chosen, means no input port exists); the others are the sources the MIDI
// systems list, following plug and unplug. A chosen source that is missing
// stays shown, marked "(unavailable)", and is connected when it comes back.
class ControllerInputPicker : public Picker {
    Q_OBJECT
public:
    // `input` must outlive the picker.
    explicit ControllerInputPicker(ControllerInput& input, QWidget* parent = nullptr);

private:
    void showSources();

    ControllerInput& input_;
    Connection connection_;
};

}  // namespace tarnwell
