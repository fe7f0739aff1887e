#include "core/panel/controller.hpp"

#include <algorithm>

#include "core/base/change_observer.hpp"
#include "core/base/main_queue.hpp"
#include "core/base/random.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/nrpn.hpp"

namespace tarnwell {

namespace {

constexpr bool within(std::int64_t index, std::size_t size) {
    return index >= 0 && static_cast<std::uint64_t>(index) < size;
}

template <typename T>
std::vector<T> resized(const std::vector<T>& source, std::size_t size, T fill) {
    std::vector<T> out(source.begin(),
                       source.begin() + static_cast<std::ptrdiff_t>(std::min(source.size(), size)));
    out.resize(size, fill);
    return out;
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

Controller::Controller(MidiManager& midiManager, MainQueue& queue, RandomSource& random)
    : midiManager_(midiManager),
      queue_(queue),
      random_(random),
      self_(std::make_shared<Controller*>(this)) {
    midiConnection_ =
        midiManager_.changed.connect([this](MidiManagerChange) { followConnectedRow(); });
}

Controller::~Controller() = default;

const std::vector<std::string>& Controller::destinationNames() const {
    return midiManager_.destinations();
}

std::string Controller::connectionStatus() const {
    return connectionStatusText(midiManager_);
}

void Controller::setSelectedDestinationIndex(std::int64_t index) {
    if (index == selectedDestinationIndex_) {
        return;
    }
    selectedDestinationIndex_ = index;
    changed.emit({ControllerField::selectedDestinationIndex, index});
    midiManager_.connectToDestination(index);
}

void Controller::chooseDestination(std::int64_t row) {
    if (row != selectedDestinationIndex_) {
        setSelectedDestinationIndex(row);
        return;
    }
    const auto endpoint = midiManager_.endpointAt(row);
    if (endpoint && (endpoint != midiManager_.connectedEndpoint() ||
                     !midiManager_.connectedDestinationAvailable())) {
        midiManager_.connectToDestination(row);
    }
}

std::int64_t Controller::connectedRow() const {
    const auto connected = midiManager_.connectedEndpoint();
    if (!connected || !midiManager_.connectedDestinationAvailable()) {
        return -1;
    }
    const auto rows = static_cast<std::int64_t>(midiManager_.destinations().size());
    for (std::int64_t row = 0; row < rows; ++row) {
        if (midiManager_.endpointAt(row) == connected) {
            return row;
        }
    }
    return -1;
}

void Controller::followConnectedRow() {
    const std::int64_t row = connectedRow();
    if (row >= 0) {
        selectedDestinationIndex_ = row;
    }
    // A destination that has just become reachable may be a synthesizer
    // switched on after the panel.
    const auto reachable = row >= 0 ? midiManager_.connectedEndpoint() : std::nullopt;
    if (reachable != lastConnected_) {
        lastConnected_ = reachable;
        if (reachable && sendAllOnConnect_) {
            sendAll();
        }
    }
    connectWhileIdle();
    changed.emit({ControllerField::destinations, selectedDestinationIndex_});
}

void Controller::destinationPickerAppeared() {
    pickerAppeared_ = true;
    midiManager_.refreshDestinations();
    connectWhileIdle();
}

void Controller::setPreferredDestination(std::optional<std::string> name) {
    preferredDestination_ = std::move(name);
}

// Only while no destination has been connected in this run: once one has,
// its name stays and the manager itself follows it through unplugging.
void Controller::connectWhileIdle() {
    if (!pickerAppeared_ || midiManager_.connectedDeviceName()) {
        return;
    }
    const auto& names = midiManager_.destinations();
    if (names.empty()) {
        return;
    }
    std::int64_t row =
        within(selectedDestinationIndex_, names.size()) ? selectedDestinationIndex_ : 0;
    if (preferredDestination_) {
        const auto found = std::ranges::find(names, *preferredDestination_);
        if (found == names.end()) {
            return;
        }
        row = found - names.begin();
    }
    if (row != selectedDestinationIndex_) {
        selectedDestinationIndex_ = row;
        changed.emit({ControllerField::selectedDestinationIndex, row});
    }
    midiManager_.connectToDestination(row);
}

void Controller::setSliderValue(std::int64_t index, double value) {
    sliderValues_[static_cast<std::size_t>(index)] = value;
    announceValue(index);
}

void Controller::announceValue(std::int64_t index) {
    parameterSignals_[static_cast<std::size_t>(index)].emit();
    valuesChanged.emit(index);
}

void Controller::announceAllValues() {
    for (const Signal<>& signal : parameterSignals_) {
        signal.emit();
    }
    valuesChanged.emit(-1);
}

Connection Controller::watchParameter(std::int64_t index, std::function<void()> slot) {
    if (!within(index, parameterSignals_.size())) {
        return {};
    }
    return parameterSignals_[static_cast<std::size_t>(index)].connect(std::move(slot));
}

void Controller::willChange(std::string_view action) {
    if (observer_ != nullptr) {
        observer_->willChange(action);
    }
}

void Controller::beginGesture() {
    if (observer_ != nullptr) {
        observer_->beginGesture();
    }
}

void Controller::endGesture() {
    if (observer_ != nullptr) {
        observer_->endGesture();
    }
}

void Controller::editParameter(std::int64_t index, double value) {
    if (!within(index, sliderValues_.size())) {
        return;
    }
    willChange(sliderLabels()[static_cast<std::size_t>(index)]);
    setSliderValue(index, value);
    sendParameterAndPropagate(index);
}

void Controller::setModeToggle(ModeToggle toggle, bool on) {
    if (modeToggle(toggle) == on) {
        return;
    }
    willChange(modeToggleText(toggle, on));
    assignModeToggle(toggle, on);
    sendModeToggle(toggle);
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

void Controller::sendValue(double value, std::int64_t nrpnNumber) {
    sendCommand(nrpnValueFromDouble(value), nrpnNumber);
}

void Controller::sendCommand(std::int64_t value, std::int64_t nrpnNumber) {
    midiManager_.sendToConnected(value, nrpnNumber);
}

bool Controller::isLinked(std::int64_t unit) const {
    return within(unit, linkedTabs_.size()) && linkedTabs_[static_cast<std::size_t>(unit)];
}

void Controller::sendParameterAndPropagate(std::int64_t index) {
    const double value = sliderValues_[static_cast<std::size_t>(index)];
    sendValue(value, nrpnNumberOfIndex(index));
    if (isLinked(groupOfIndex(index))) {
        propagateToLinkedTabs(index, value);
    }
}

void Controller::propagateToLinkedTabs(std::int64_t index, double value) {
    const std::int64_t sourceUnit = groupOfIndex(index);
    const std::int64_t slot = slotOfIndex(index);
    for (std::int64_t unit = 0; unit < kUnitCount; ++unit) {
        if (unit == sourceUnit || !isLinked(unit)) {
            continue;
        }
        const std::int64_t target = unit * kSlotsPerUnit + slot;
        std::weak_ptr<Controller*> weak = self_;
        // A copy goes out as what its source was (a hand or controller edit).
        queue_.post([weak, target, value, generation = copyGeneration_,
                     origin = midiManager_.handOrigin()] {
            if (auto self = weak.lock(); self && (*self)->copyGeneration_ == generation) {
                const MidiManager::OriginScope scope((*self)->midiManager_, origin);
                (*self)->setSliderValue(target, value);
                (*self)->sendValue(value, nrpnNumberOfIndex(target));
            }
        });
    }
}

void Controller::toggleModButton(std::int64_t unit) {
    if (!within(unit, modButtonPressed_.size())) {
        return;
    }
    const auto i = static_cast<std::size_t>(unit);
    willChange("multiplication");
    modButtonPressed_[i] = !modButtonPressed_[i];
    changed.emit({ControllerField::modButtonPressed, unit});
    sendModButton(unit);
}

void Controller::sendModButton(std::int64_t button) {
    const ModButtonNumbers& numbers = nrpnButtonStates[static_cast<std::size_t>(button)];
    sendCommand(kCommandValue,
                modButtonPressed_[static_cast<std::size_t>(button)] ? numbers.on : numbers.off);
}

void Controller::toggleLink(std::int64_t unit) {
    if (!within(unit, linkedTabs_.size())) {
        return;
    }
    const auto i = static_cast<std::size_t>(unit);
    willChange(linkedTabs_[i] ? "Ungroup" : "Group");
    linkedTabs_[i] = !linkedTabs_[i];
    changed.emit({ControllerField::linkedTabs, unit});
}

void Controller::randomizeSliders(std::string_view action) {
    willChange(action);
    ++copyGeneration_;
    for (auto& value : sliderValues_) {
        value = uniformClosed(random_, 0.0, static_cast<double>(kNrpnMax));
    }
    // Grouped units end equal, as if the lowest grouped unit's sliders had
    // been moved: its draws are written into the others before anything is
    // sent, so every parameter is sent once, with the value the panel shows.
    std::int64_t lead = -1;
    for (std::int64_t unit = 0; unit < kUnitCount; ++unit) {
        if (!isLinked(unit)) {
            continue;
        }
        if (lead < 0) {
            lead = unit;
            continue;
        }
        for (std::int64_t slot = 0; slot < kSlotsPerUnit; ++slot) {
            sliderValues_[static_cast<std::size_t>(unit * kSlotsPerUnit + slot)] =
                sliderValues_[static_cast<std::size_t>(lead * kSlotsPerUnit + slot)];
        }
    }
    announceAllValues();
    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        sendValue(sliderValues_[static_cast<std::size_t>(i)], nrpnNumberOfIndex(i));
    }
}

void Controller::resetDAC() {
    sendCommand(kCommandValue, kResetDacNumber);
}

void Controller::sendAll() {
    for (std::int64_t i = 0; i < kModButtonCount; ++i) {
        sendModButton(i);
    }
    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        sendValue(sliderValues_[static_cast<std::size_t>(i)], nrpnNumberOfIndex(i));
    }
    for (const ModeToggleInfo& info : kModeToggles) {
        sendModeToggle(info.toggle);
    }
}

void Controller::restoreState(const std::vector<double>& values,
                              const std::vector<bool>& modButtons, const std::vector<bool>& links,
                              const std::array<bool, kModeToggleCount>& toggles) {
    linkedTabs_ = links;
    for (std::int64_t unit = 0; unit < kUnitCount; ++unit) {
        changed.emit({ControllerField::linkedTabs, unit});
    }
    assignAndSendDifferences(values, modButtons, toggles);
}

void Controller::applySound(const MidiSliderPreset& preset) {
    std::array<bool, kModeToggleCount> toggles = modeToggles_;
    for (const ModeToggleInfo& info : kModeToggles) {
        if (isStoredInPresets(info.toggle)) {
            toggles[static_cast<std::size_t>(info.toggle)] = preset.modeToggle(info.toggle);
        }
    }
    assignAndSendDifferences(resized(preset.values, kParameterCount, 0.0),
                             resized(preset.modStates, kModButtonCount, false), toggles);
}

void Controller::setExploredSound(std::string_view action, const std::vector<double>& values,
                                  const std::vector<bool>& modButtons,
                                  const std::array<bool, kModeToggleCount>& toggles) {
    willChange(action);
    // Copies first: the lists given may be the controller's own.
    assignAndSendDifferences(resized(values, kParameterCount, 0.0),
                             resized(modButtons, kModButtonCount, false), toggles);
}

void Controller::assignAndSendDifferences(const std::vector<double>& values,
                                          const std::vector<bool>& modButtons,
                                          const std::array<bool, kModeToggleCount>& toggles) {
    ++copyGeneration_;
    const std::vector<bool> oldMods = std::exchange(modButtonPressed_, modButtons);
    const std::vector<double> oldValues = std::exchange(sliderValues_, values);
    changed.emit({ControllerField::modButtonPressed, -1});
    announceAllValues();
    for (std::int64_t i = 0; i < kModButtonCount; ++i) {
        if (modButtonPressed_[static_cast<std::size_t>(i)] !=
            oldMods[static_cast<std::size_t>(i)]) {
            sendModButton(i);
        }
    }
    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (nrpnValueFromDouble(sliderValues_[at]) != nrpnValueFromDouble(oldValues[at])) {
            sendValue(sliderValues_[at], nrpnNumberOfIndex(i));
        }
    }
    for (const ModeToggleInfo& info : kModeToggles) {
        if (assignModeToggle(info.toggle, toggles[static_cast<std::size_t>(info.toggle)])) {
            sendModeToggle(info.toggle);
        }
    }
}

void Controller::loadWithoutSending(const std::vector<double>& values,
                                    const std::vector<bool>& modButtons,
                                    const std::vector<bool>& links,
                                    const std::array<bool, kModeToggleCount>& toggles) {
    ++copyGeneration_;
    sliderValues_ = resized(values, kParameterCount, 0.0);
    modButtonPressed_ = resized(modButtons, kModButtonCount, false);
    linkedTabs_ = resized(links, kUnitCount, false);
    modeToggles_ = toggles;
    announceAllValues();
    changed.emit({ControllerField::modButtonPressed, -1});
    for (std::int64_t unit = 0; unit < kUnitCount; ++unit) {
        changed.emit({ControllerField::linkedTabs, unit});
    }
    for (const ModeToggleInfo& info : kModeToggles) {
        changed.emit({ControllerField::modeToggle, static_cast<std::int64_t>(info.toggle)});
    }
}

MidiSliderPreset Controller::currentPreset() const {
    MidiSliderPreset preset;
    preset.values = sliderValues_;
    preset.modStates = modButtonPressed_;
    for (const ModeToggleInfo& info : kModeToggles) {
        if (isStoredInPresets(info.toggle)) {
            preset.modeToggles[static_cast<std::size_t>(info.toggle)] = modeToggle(info.toggle);
        }
    }
    return preset;
}

void Controller::applyPreset(const MidiSliderPreset& preset) {
    // A recall is the whole truth: copies still queued from an earlier edit
    // must not land on it, and it queues none of its own, so the panel and
    // the last value sent for each parameter both end equal to the preset,
    // grouped units or not.
    ++copyGeneration_;
    modButtonPressed_ = resized(preset.modStates, kModButtonCount, false);
    changed.emit({ControllerField::modButtonPressed, -1});
    for (std::int64_t i = 0; i < kModButtonCount; ++i) {
        sendModButton(i);
    }

    sliderValues_ = resized(preset.values, kParameterCount, 0.0);
    announceAllValues();
    std::vector<ModeToggle> switched;
    for (const ModeToggleInfo& info : kModeToggles) {
        if (isStoredInPresets(info.toggle) &&
            assignModeToggle(info.toggle, preset.modeToggle(info.toggle))) {
            switched.push_back(info.toggle);
        }
    }

    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        sendValue(sliderValues_[static_cast<std::size_t>(i)], nrpnNumberOfIndex(i));
    }
    // Mode switches announce themselves after the parameters, as their own
    // change handlers would.
    for (const ModeToggle toggle : switched) {
        sendModeToggle(toggle);
    }
}

namespace {

// Whether two lists hold the same first `size` entries, a missing entry
// counting as `fill`, as a recall pads them. Allocates nothing.
template <typename T>
bool samePadded(const std::vector<T>& a, const std::vector<T>& b, std::size_t size, T fill) {
    for (std::size_t i = 0; i < size; ++i) {
        if ((i < a.size() ? T(a[i]) : fill) != (i < b.size() ? T(b[i]) : fill)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool sameSound(const MidiSliderPreset& a, const MidiSliderPreset& b) {
    return a.modeToggles == b.modeToggles && samePadded(a.values, b.values, kParameterCount, 0.0) &&
           samePadded(a.modStates, b.modStates, kModButtonCount, false);
}

bool Controller::soundIs(const MidiSliderPreset& preset) const {
    for (const ModeToggleInfo& info : kModeToggles) {
        if (isStoredInPresets(info.toggle) &&
            modeToggle(info.toggle) != preset.modeToggle(info.toggle)) {
            return false;
        }
    }
    return samePadded(sliderValues_, preset.values, kParameterCount, 0.0) &&
           samePadded(modButtonPressed_, preset.modStates, kModButtonCount, false);
}

}  // namespace tarnwell
