#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/base/signal.hpp"
#include "core/panel/mode_toggles.hpp"
#include "core/panel/parameters.hpp"
#include "core/panel/preset.hpp"

namespace tarnwell {

class FileChooser;
class MainQueue;
class MidiManager;
class RandomSource;

enum class ControllerField {
    selectedDestinationIndex,
    sliderValues,  // index: the parameter index, or -1 when the whole list was replaced
    presets,
    selectedPresetIndex,
    modButtonPressed,  // index: the mod button
    linkedTabs,        // index: the unit
    modeToggle,        // index: the ModeToggle
};

struct ControllerChange {
    ControllerField field;
    std::int64_t index = -1;
};

// The outcome of a preset file operation, for the user to read.
struct Notice {
    bool isError = false;
    std::string text;
};

inline constexpr const char* kPresetsFileName = "presets.json";

// The text beside the destination picker: the connected destination's name,
// marked when it has vanished from the system, or "Not Connected".
[[nodiscard]] std::string connectionStatusText(const MidiManager& manager);

// The controller window's state record and the operations that change it and
// send it to the synthesizer. Views read the fields, subscribe to `changed`,
// and call the operations; none of it needs a view.
//
// Threading: main thread only. Link propagation is deferred through the main
// queue, one task per target unit.
//
// Sending: every send reads the manager's connected endpoint first and is
// skipped when there is none; the state change happens either way. A mode
// switch sends its on or off number once per actual change of its state,
// whichever operation changed it.
class Controller {
public:
    // `queue` and `random` must outlive the controller.
    Controller(std::shared_ptr<MidiManager> midiManager, MainQueue& queue, RandomSource& random);
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    [[nodiscard]] MidiManager& midiManager() { return *midiManager_; }
    [[nodiscard]] const std::shared_ptr<MidiManager>& sharedMidiManager() const {
        return midiManager_;
    }

    // --- State fields ---------------------------------------------------
    [[nodiscard]] std::int64_t selectedDestinationIndex() const {
        return selectedDestinationIndex_;
    }
    // A change of the picker's row connects to that destination.
    void setSelectedDestinationIndex(std::int64_t index);
    // The user picked a row. Picking the row that is already selected connects
    // too when that row's destination is not the connected one (a destination
    // that appeared under the selection after start), so the row the user sees
    // chosen is always the one the panel sends to.
    void chooseDestination(std::int64_t row);
    // The destination picker's first appearance: refresh the list, then
    // connect to the selected row when there is any destination.
    void destinationPickerAppeared();

    [[nodiscard]] const std::vector<double>& sliderValues() const { return sliderValues_; }
    // Writes one value; an index outside the list is ignored. Sends nothing.
    void setSliderValue(std::int64_t index, double value);

    [[nodiscard]] const std::vector<MidiSliderPreset>& presets() const { return presets_; }
    [[nodiscard]] std::int64_t selectedPresetIndex() const { return selectedPresetIndex_; }
    // A change of the preset picker's row recalls that preset.
    void setSelectedPresetIndex(std::int64_t index);

    [[nodiscard]] const std::vector<bool>& modButtonPressed() const { return modButtonPressed_; }
    [[nodiscard]] const std::vector<bool>& linkedTabs() const { return linkedTabs_; }

    [[nodiscard]] bool modeToggle(ModeToggle toggle) const {
        return modeToggles_[static_cast<std::size_t>(toggle)];
    }
    // Sets a mode switch; a real change sends its on or off number.
    void setModeToggle(ModeToggle toggle, bool on);

    // --- Operations -----------------------------------------------------
    // A slider change of NRPN number n on tab t (0-5 units, 6 Regen).
    void sendFromTab(std::int64_t n, std::int64_t t, double v);
    void propagateToLinkedTabs(std::int64_t n, std::int64_t sourceTab, double v);
    void applyLinkedValue(std::int64_t index, std::int64_t t, std::int64_t n, double v);
    void toggleModButton(std::int64_t t);
    void sendModButton(std::int64_t i);
    void toggleLink(std::int64_t t);
    void randomizeSliders();
    void resetDAC();

    // --- Presets --------------------------------------------------------
    // Where presets come from and go to. Without a chooser, import and export
    // do nothing; without a documents folder, saves stay in memory.
    void setFileChooser(FileChooser* chooser) { fileChooser_ = chooser; }
    void setDocumentsFolder(std::function<std::optional<std::filesystem::path>()> folder) {
        documentsFolder_ = std::move(folder);
    }
    // "presets.json" in the documents folder, when there is one.
    [[nodiscard]] std::optional<std::filesystem::path> presetsFileURL() const;

    // Recalls the preset at `index`: sets every stored field and sends it all.
    // A preset shorter than the panel counts its missing values as 0 and its
    // missing flags as off; entries beyond the panel's are never sent.
    void applyPreset(std::int64_t index);
    // Stores the current state at `index` (or appends it when `index` lies
    // outside the list), then writes the whole list to the presets file. The
    // first save of a run keeps an earlier run's file beside it, renamed.
    Notice savePreset(std::int64_t index);
    // Asks for a file and replaces the list with its presets, recalling the
    // first; a file that is not wholly valid changes nothing.
    void importPresets();
    // Asks for a file name and writes the whole list to it.
    void exportPresets();
    // What a successful import does with the presets it read: replaces the
    // list and recalls the first preset, if any. Writes nothing.
    void replacePresets(std::vector<MidiSliderPreset> presets);

    Signal<ControllerChange> changed;
    // Outcomes of save, import and export, success or failure.
    Signal<const Notice&> noticed;

private:
    // Sends `value` on NRPN number `n` when a destination is connected.
    void sendValue(double value, std::int64_t n);
    void sendCommand(std::int64_t value, std::int64_t n);
    // Sends the parameter at `index` and, for a linked unit, queues its copies.
    void sendParameterAndPropagate(std::int64_t index);
    // Changes a mode switch without sending; returns whether it changed.
    bool assignModeToggle(ModeToggle toggle, bool on);
    void sendModeToggle(ModeToggle toggle);
    [[nodiscard]] bool isLinked(std::int64_t tab) const;
    void importPresetsFrom(const std::filesystem::path& file);
    [[nodiscard]] bool storedFileWorthKeeping(const std::filesystem::path& file,
                                              const std::string& newText) const;
    void exportPresetsTo(const std::filesystem::path& file);
    Notice notify(bool isError, std::string text);

    // Keeps the picker's row on the connected destination when the list
    // changes under it, without connecting anew.
    void followConnectedRow();

    std::shared_ptr<MidiManager> midiManager_;
    Connection midiConnection_;
    MainQueue& queue_;
    RandomSource& random_;
    // Deferred tasks hold a weak reference to this token, so a task queued
    // before the controller is destroyed does nothing.
    std::shared_ptr<Controller*> self_;

    std::int64_t selectedDestinationIndex_ = 0;
    std::vector<double> sliderValues_ = std::vector<double>(kParameterCount, 0.0);
    std::vector<MidiSliderPreset> presets_ = std::vector<MidiSliderPreset>(kInitialPresetCount);
    std::int64_t selectedPresetIndex_ = 0;
    std::vector<bool> modButtonPressed_ = std::vector<bool>(kModButtonCount, false);
    std::vector<bool> linkedTabs_ = std::vector<bool>(kUnitCount, false);
    std::array<bool, kModeToggleCount> modeToggles_{};

    FileChooser* fileChooser_ = nullptr;
    bool wroteStoredFile_ = false;
    std::optional<std::filesystem::path> importedFrom_;
    std::function<std::optional<std::filesystem::path>()> documentsFolder_;
};

}  // namespace tarnwell
