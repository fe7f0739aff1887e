#include "core/panel/controller.hpp"

#include <algorithm>

#include "core/base/main_queue.hpp"
#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/nrpn.hpp"

namespace tarnwell {

namespace {

constexpr bool within(std::int64_t index, std::size_t size) {
    return index >= 0 && static_cast<std::uint64_t>(index) < size;
}

}  // namespace

std::string connectionStatusText(const MidiManager& manager) {
    const auto& name = manager.connectedDeviceName();
    if (!name) {
        return "Not Connected";
    }
    if (!manager.connectedDestinationAvailable()) {
        return *name + " (unavailable)";
    }
    return *name;
}

Controller::Controller(std::shared_ptr<MidiManager> midiManager, MainQueue& queue,
                       RandomSource& random)
    : midiManager_(std::move(midiManager)),
      queue_(queue),
      random_(random),
      self_(std::make_shared<Controller*>(this)) {
    midiConnection_ =
        midiManager_->changed.connect([this](MidiManagerChange) { followConnectedRow(); });
}

Controller::~Controller() = default;

void Controller::setSelectedDestinationIndex(std::int64_t index) {
    if (index == selectedDestinationIndex_) {
        return;
    }
    selectedDestinationIndex_ = index;
    changed.emit({ControllerField::selectedDestinationIndex, index});
    midiManager_->connectToDestination(index);
}

void Controller::chooseDestination(std::int64_t row) {
    if (row != selectedDestinationIndex_) {
        setSelectedDestinationIndex(row);
        return;
    }
    const auto endpoint = midiManager_->endpointAt(row);
    if (endpoint && (endpoint != midiManager_->connectedEndpoint() ||
                     !midiManager_->connectedDestinationAvailable())) {
        midiManager_->connectToDestination(row);
    }
}

void Controller::followConnectedRow() {
    const auto connected = midiManager_->connectedEndpoint();
    if (!connected || !midiManager_->connectedDestinationAvailable()) {
        return;
    }
    const auto rows = static_cast<std::int64_t>(midiManager_->destinations().size());
    for (std::int64_t row = 0; row < rows; ++row) {
        if (midiManager_->endpointAt(row) == connected) {
            if (row != selectedDestinationIndex_) {
                selectedDestinationIndex_ = row;
                changed.emit({ControllerField::selectedDestinationIndex, row});
            }
            return;
        }
    }
}

void Controller::destinationPickerAppeared() {
    midiManager_->refreshDestinations();
    if (!midiManager_->destinations().empty()) {
        midiManager_->connectToDestination(selectedDestinationIndex_);
    }
}

void Controller::setSliderValue(std::int64_t index, double value) {
    if (!within(index, sliderValues_.size())) {
        return;
    }
    sliderValues_[static_cast<std::size_t>(index)] = value;
    changed.emit({ControllerField::sliderValues, index});
}

void Controller::setModeToggle(ModeToggle toggle, bool on) {
    if (assignModeToggle(toggle, on)) {
        sendModeToggle(toggle);
    }
}

bool Controller::assignModeToggle(ModeToggle toggle, bool on) {
    bool& field = modeToggles_[static_cast<std::size_t>(toggle)];
    if (field == on) {
        return false;
    }
    field = on;
    changed.emit({ControllerField::modeToggle, static_cast<std::int64_t>(toggle)});
    return true;
}

void Controller::sendModeToggle(ModeToggle toggle) {
    const ModeToggleInfo& info = modeToggleInfo(toggle);
    const std::int64_t number = modeToggle(toggle) ? info.onNumber : info.offNumber;
    sendCommand(number, number);
}

void Controller::sendValue(double value, std::int64_t n) {
    sendCommand(nrpnValueFromDouble(value), n);
}

void Controller::sendCommand(std::int64_t value, std::int64_t n) {
    midiManager_->sendToConnected(value, n);
}

bool Controller::isLinked(std::int64_t tab) const {
    return within(tab, linkedTabs_.size()) && linkedTabs_[static_cast<std::size_t>(tab)];
}

void Controller::sendFromTab(std::int64_t n, std::int64_t t, double v) {
    sendValue(v, n);
    if (isLinked(t)) {
        propagateToLinkedTabs(n, t, v);
    }
}

void Controller::propagateToLinkedTabs(std::int64_t n, std::int64_t sourceTab, double v) {
    for (std::int64_t t = 0; t < kUnitCount; ++t) {
        if (t == sourceTab || !isLinked(t)) {
            continue;
        }
        const std::int64_t index = indexOfSlotInUnit(n, t);
        if (!within(index, sliderValues_.size())) {
            continue;
        }
        std::weak_ptr<Controller*> weak = self_;
        queue_.post([weak, index, t, n, v] {
            if (auto self = weak.lock()) {
                (*self)->applyLinkedValue(index, t, n, v);
            }
        });
    }
}

void Controller::applyLinkedValue(std::int64_t index, std::int64_t t, std::int64_t n, double v) {
    setSliderValue(index, v);
    sendValue(v, nrpnNumberOfIndex(indexOfSlotInUnit(n, t)));
}

void Controller::toggleModButton(std::int64_t t) {
    if (!within(t, modButtonPressed_.size())) {
        return;
    }
    const auto i = static_cast<std::size_t>(t);
    modButtonPressed_[i] = !modButtonPressed_[i];
    changed.emit({ControllerField::modButtonPressed, t});
    sendModButton(t);
}

void Controller::sendModButton(std::int64_t i) {
    const auto& table = nrpnButtonStates();
    if (!within(i, table.size()) || table[static_cast<std::size_t>(i)].empty()) {
        return;
    }
    const ModButtonNumbers& numbers = table[static_cast<std::size_t>(i)].front();
    const bool pressed =
        within(i, modButtonPressed_.size()) && modButtonPressed_[static_cast<std::size_t>(i)];
    sendCommand(kCommandValue, pressed ? numbers.on : numbers.off);
}

void Controller::toggleLink(std::int64_t t) {
    if (!within(t, linkedTabs_.size())) {
        return;
    }
    const auto i = static_cast<std::size_t>(t);
    linkedTabs_[i] = !linkedTabs_[i];
    changed.emit({ControllerField::linkedTabs, t});
}

void Controller::sendParameterAndPropagate(std::int64_t index) {
    const double value = sliderValues_[static_cast<std::size_t>(index)];
    const std::int64_t n = nrpnNumberOfIndex(index);
    sendValue(value, n);
    const std::int64_t group = groupOfIndex(index);
    if (isLinked(group)) {
        propagateToLinkedTabs(n, group, value);
    }
}

void Controller::randomizeSliders() {
    for (auto& value : sliderValues_) {
        value = uniformClosed(random_, 0.0, static_cast<double>(kNrpnMax));
    }
    changed.emit({ControllerField::sliderValues, -1});
    for (std::size_t i = 0; i < sliderValues_.size(); ++i) {
        sendParameterAndPropagate(static_cast<std::int64_t>(i));
    }
}

void Controller::resetDAC() {
    sendCommand(kCommandValue, kResetDacNumber);
}

}  // namespace tarnwell
