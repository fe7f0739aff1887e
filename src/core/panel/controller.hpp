#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/signal.hpp"
#include "core/midi/midi_service.hpp"
#include "core/panel/mode_toggles.hpp"
#include "core/panel/parameters.hpp"
#include "core/panel/preset.hpp"

namespace tarnwell {

class ChangeObserver;
class MainQueue;
class MidiManager;
class RandomSource;

enum class ControllerField {
    destinations,  // the list, the connection or its availability changed
    selectedDestinationIndex,
    modButtonPressed,  // index: the mod button, or -1 for all
    linkedTabs,        // index: the unit
    modeToggle,        // index: the ModeToggle
};

struct ControllerChange {
    ControllerField field;
    std::int64_t index = -1;
};

// Whether two presets make the same sound when recalled: values, mod buttons
// and stored switches, with a recall's padding of short lists; the name does
// not count.
[[nodiscard]] bool sameSound(const MidiSliderPreset& a, const MidiSliderPreset& b);

// The text beside the destination picker: the connected destination's name,
// marked when it has vanished from the system, or "Not Connected".
[[nodiscard]] std::string connectionStatusText(const MidiManager& manager);

// The controller window's state record and the operations that change it and
// send it to the synthesizer: one operation per user action. Views read the
// fields, subscribe to `changed`, and call the operations; none of it needs a
// view.
//
// Threading: main thread only. Copies into grouped units are deferred through
// the main queue, one task per target unit.
//
// Sending: every send is skipped when no destination is connected; the state
// change happens either way. A mode switch sends its on or off number once
// per actual change of its state, whichever operation changed it.
class Controller {
public:
    // `midiManager`, `queue` and `random` must outlive the controller.
    Controller(MidiManager& midiManager, MainQueue& queue, RandomSource& random);
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // --- Destination ----------------------------------------------------
    [[nodiscard]] std::int64_t selectedDestinationIndex() const {
        return selectedDestinationIndex_;
    }
    // The destination names, in picker order, and the status line's text.
    [[nodiscard]] const std::vector<std::string>& destinationNames() const;
    [[nodiscard]] std::string connectionStatus() const;
    // A change of the picker's row connects to that destination.
    void setSelectedDestinationIndex(std::int64_t index);
    // The user picked a row. Picking the row that is already selected connects
    // too when that row's destination is not the connected one (a destination
    // that appeared under the selection after start), so the row the user sees
    // chosen is always the one the panel sends to.
    void chooseDestination(std::int64_t row);
    // The destination picker's first appearance: refresh the list, then
    // connect as `connectWhileIdle` says. From then on, the same happens
    // whenever the list changes while nothing has been connected yet, so a
    // destination that appears after start is connected when it appears.
    void destinationPickerAppeared();
    // The destination to prefer by name (the one the user chose in an earlier
    // run). While nothing is connected, the panel connects to it when it is
    // listed and to no other; without one, it connects to the selected row.
    void setPreferredDestination(std::optional<std::string> name);
    // The row of the connected destination while it is listed, else -1: the
    // only row a picker may show as chosen.
    [[nodiscard]] std::int64_t connectedRow() const;

    // --- Parameters -----------------------------------------------------
    [[nodiscard]] const std::vector<double>& sliderValues() const { return sliderValues_; }
    // A hand edit of one parameter: writes the value, sends it, and queues its
    // copies into the same slot of every other grouped unit. An index outside
    // the list does nothing.
    void editParameter(std::int64_t index, double value);
    // Every value drawn anew at random over 0-16383; grouped units then take
    // the draws of the lowest grouped unit, and every parameter is sent once,
    // in index order, with the value the panel shows. `action` names it for
    // undo.
    void randomizeSliders(std::string_view action = "randomise");
    // One drag of a slider: the edits between begin and end undo as one.
    void beginGesture();
    void endGesture();

    [[nodiscard]] const std::vector<bool>& modButtonPressed() const { return modButtonPressed_; }
    // Flips mod button `unit` and sends its new state.
    void toggleModButton(std::int64_t unit);

    [[nodiscard]] const std::vector<bool>& linkedTabs() const { return linkedTabs_; }
    // Groups or ungroups a unit. Sends nothing.
    void toggleLink(std::int64_t unit);

    [[nodiscard]] bool modeToggle(ModeToggle toggle) const {
        return modeToggles_[static_cast<std::size_t>(toggle)];
    }
    // Sets a mode switch; a real change sends its on or off number.
    void setModeToggle(ModeToggle toggle, bool on);

    void resetDAC();

    // --- Whole panel ----------------------------------------------------
    // Told before every user action that changes the sound; may be null.
    void setChangeObserver(ChangeObserver* observer) { observer_ = observer; }
    // Sends the whole panel as it stands: the 8 mod buttons, the 42
    // parameters and the 6 mode switches, in that order, for a synthesizer
    // that was switched on after the panel. Queues no grouped copies.
    void sendAll();
    // Whether `sendAll` runs each time a destination becomes connected
    // (first connection, another choice, a vanished one back).
    void setSendAllOnConnect(bool on) { sendAllOnConnect_ = on; }
    [[nodiscard]] bool sendAllOnConnect() const { return sendAllOnConnect_; }
    // Puts back a state that undo or redo gives: sets every field and sends
    // what differs from the panel as it was (mod buttons, parameters, then
    // switches), so the synthesizer follows. Grouped copies still queued are
    // dropped first, and none are queued. Tells no observer.
    void restoreState(const std::vector<double>& values, const std::vector<bool>& modButtons,
                      const std::vector<bool>& links,
                      const std::array<bool, kModeToggleCount>& toggles);
    // Shows a state from an earlier run: sets every field and sends nothing,
    // since the synthesizer may not hold it (Send All tells it). Tells no
    // observer.
    void loadWithoutSending(const std::vector<double>& values, const std::vector<bool>& modButtons,
                            const std::vector<bool>& links,
                            const std::array<bool, kModeToggleCount>& toggles);
    // Whether the panel holds `preset`'s sound (see sameSound), without
    // copying anything: asked after every edit.
    [[nodiscard]] bool soundIs(const MidiSliderPreset& preset) const;
    // The sound-relevant state as a preset stores it.
    [[nodiscard]] MidiSliderPreset currentPreset() const;
    // Recalls a preset: sets every stored field, then sends the mod buttons,
    // the 42 parameters and the switches that changed. Grouping makes no
    // copies: the panel ends equal to the preset. A preset shorter than the
    // panel counts its missing values as 0 and its missing flags as off;
    // entries beyond the panel's are never sent.
    void applyPreset(const MidiSliderPreset& preset);
    // Sets a sound that Mutate or Morph arrived at, as one user action named
    // `action`: every value, mod button and switch as given, sending what
    // differs from the panel as it was (mod buttons, parameters in index
    // order, then switches), each once. Queues no grouped copies and drops
    // those still queued: the caller has made grouped units what they should
    // be. Lists shorter than the panel's count missing entries as 0 or off.
    void setExploredSound(std::string_view action, const std::vector<double>& values,
                          const std::vector<bool>& modButtons,
                          const std::array<bool, kModeToggleCount>& toggles);
    // Sets the preset's stored fields like a recall but sends only what
    // differs from the panel as it was (mod buttons, parameters, switches).
    // Tells no observer; drops grouped copies still queued.
    void applySound(const MidiSliderPreset& preset);

    // Every field but the parameter values: those are announced per index,
    // since a drag changes one of them many times a second and each view
    // shows only a few.
    Signal<ControllerChange> changed;
    // Calls `slot` after each change of the value at `index` (also when the
    // whole list is replaced). An index outside the list is never told.
    [[nodiscard]] Connection watchParameter(std::int64_t index, std::function<void()> slot);
    // After any change of the values: the index, or -1 when all changed.
    Signal<std::int64_t> valuesChanged;

private:
    void announceValue(std::int64_t index);
    void announceAllValues();
    void assignAndSendDifferences(const std::vector<double>& values,
                                  const std::vector<bool>& modButtons,
                                  const std::array<bool, kModeToggleCount>& toggles);
    void sendValue(double value, std::int64_t nrpnNumber);
    void sendCommand(std::int64_t value, std::int64_t nrpnNumber);
    void sendModButton(std::int64_t button);
    // Sends the parameter at `index` and, for a grouped unit, queues its copies.
    void sendParameterAndPropagate(std::int64_t index);
    void propagateToLinkedTabs(std::int64_t index, double value);
    void setSliderValue(std::int64_t index, double value);
    // Changes a mode switch without sending; returns whether it changed.
    bool assignModeToggle(ModeToggle toggle, bool on);
    void sendModeToggle(ModeToggle toggle);
    [[nodiscard]] bool isLinked(std::int64_t unit) const;
    // Keeps the picker's row on the connected destination when the list
    // changes under it, without connecting anew, and passes the news on.
    void followConnectedRow();
    void connectWhileIdle();
    void willChange(std::string_view action);

    MidiManager& midiManager_;
    Connection midiConnection_;
    MainQueue& queue_;
    RandomSource& random_;
    // Deferred tasks hold a weak reference to this token, so a task queued
    // before the controller is destroyed does nothing.
    std::shared_ptr<Controller*> self_;
    // Grouped copies carry the generation they were queued in; a restore
    // moves it on so copies of an undone edit do nothing.
    std::uint64_t copyGeneration_ = 0;
    ChangeObserver* observer_ = nullptr;
    bool sendAllOnConnect_ = false;
    std::optional<EndpointRef> lastConnected_;

    std::int64_t selectedDestinationIndex_ = 0;
    bool pickerAppeared_ = false;
    std::optional<std::string> preferredDestination_;
    std::vector<double> sliderValues_ = std::vector<double>(kParameterCount, 0.0);
    std::vector<bool> modButtonPressed_ = std::vector<bool>(kModButtonCount, false);
    std::vector<bool> linkedTabs_ = std::vector<bool>(kUnitCount, false);
    std::array<bool, kModeToggleCount> modeToggles_{};
    std::array<Signal<>, kParameterCount> parameterSignals_;
};

}  // namespace tarnwell
