#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/file_io.hpp"
#include "core/base/signal.hpp"
#include "core/panel/preset.hpp"

namespace tarnwell {

class ChangeObserver;
class Controller;
class FileChooser;

// The outcome of a preset file operation, for the user to read.
struct Notice {
    bool isError = false;
    std::string text;
};

enum class PresetsChange {
    list,        // index: the slot written, or -1 when the whole list was replaced
    selection,   // index: the selected row
    comparison,  // a comparison began or ended
    modified,    // `isModified` changed
};

struct PresetsEvent {
    PresetsChange change;
    std::int64_t index = -1;
};

inline constexpr const char* kPresetsFileName = "presets.json";

// The preset slots, the selected row, and the preset file operations: save
// into the stored file, import and export through the file chooser. Recalls
// and saves go through the controller, which owns the panel's state.
//
// Threading: main thread only; chooser answers arrive on the main thread.
class Presets {
public:
    using Folder = std::function<std::optional<std::filesystem::path>()>;

    // `controller` must outlive the presets. Without a chooser, import and
    // export do nothing; without a documents folder, saves stay in memory.
    Presets(Controller& controller, FileChooser* chooser, Folder documentsFolder);
    ~Presets();
    Presets(const Presets&) = delete;
    Presets& operator=(const Presets&) = delete;

    [[nodiscard]] const std::vector<MidiSliderPreset>& presets() const { return *presets_; }
    // The list as it stands, shared: a later change makes a new list, so the
    // returned one never changes (undo keeps it).
    [[nodiscard]] std::shared_ptr<const std::vector<MidiSliderPreset>> sharedPresets() const {
        return presets_;
    }
    [[nodiscard]] std::int64_t selectedPresetIndex() const { return selectedPresetIndex_; }
    // A change of the preset picker's row recalls that preset.
    void setSelectedPresetIndex(std::int64_t index);

    // "presets.json" in the documents folder, when there is one.
    [[nodiscard]] std::optional<std::filesystem::path> presetsFileURL() const;

    // Recalls the preset at `index` through the controller; an index outside
    // the list does nothing.
    void applyPreset(std::int64_t index);
    // Stores the panel at `index` (or appends it when `index` lies outside
    // the list), keeping the slot's name, then writes the whole list to the
    // stored file. The first save of a run keeps an earlier run's file
    // beside it.
    Notice savePreset(std::int64_t index);
    // Stores the panel at `slot` (appends at the list's end) under `name`
    // and selects the slot, without recalling or sending anything; writes
    // the stored file like a save.
    Notice savePresetAs(std::int64_t slot, std::string_view name);
    // Whether storing the panel at `slot` would replace something worth a
    // question: another slot than the selected one, holding a named or
    // non-blank preset that differs from what would be stored.
    [[nodiscard]] bool storingWouldReplace(std::int64_t slot, std::string_view name) const;
    // Names the preset at `slot` (empty: unnamed) and writes the stored file.
    Notice renamePreset(std::int64_t slot, std::string_view name);

    // Every write of the stored file starts a new generation of the list;
    // undo puts a list back only within the generation it was taken in.
    [[nodiscard]] std::uint64_t generation() const { return generation_; }

    // Whether the panel's sound differs from the selected preset (or an
    // edited sound is set aside by a comparison). False when no preset is
    // selected.
    [[nodiscard]] bool isModified() const;
    // Recalls the selected preset again, as choosing its row would if it
    // were not already chosen. One undo step.
    void revertToSaved();
    // Switches between the edited sound and the selected preset, sending
    // only what differs each time. One undo step each. Any other change of
    // the sound ends the comparison on what the panel then holds.
    void toggleCompare();
    [[nodiscard]] bool isComparing() const { return setAside_.has_value(); }
    [[nodiscard]] bool canCompare() const { return isComparing() || isModified(); }
    // Asks for a file and replaces the list with its presets, recalling the
    // first; a file that is not wholly valid changes nothing.
    void importPresets();
    // Asks for a file name and writes the whole list to it.
    void exportPresets();
    // What a successful import does with the presets it read: replaces the
    // list and recalls the first preset, if any. Writes nothing.
    void replacePresets(std::vector<MidiSliderPreset> presets);
    // Reads the stored file with an import's rules and makes its presets the
    // list, without recalling or sending anything. A missing or bad file
    // leaves the list as it is; the notice says why.
    void restoreStoredPresets();
    // Puts back a list and selection that undo or redo gives; sends nothing.
    // A list from an earlier generation than the current one is not put back:
    // a save is never undone. Ends a comparison.
    void restoreState(std::shared_ptr<const std::vector<MidiSliderPreset>> presets,
                      std::uint64_t generation, std::int64_t selectedIndex);
    // Selects a row without recalling it (the panel shows a sound from an
    // earlier run that came from that row).
    void showSelection(std::int64_t index);
    // Told before a recall or an import; may be null.
    void setChangeObserver(ChangeObserver* observer) { observer_ = observer; }

    Signal<PresetsEvent> changed;
    // Outcomes of save, import and export, success or failure.
    Signal<const Notice&> noticed;

private:
    [[nodiscard]] const MidiSliderPreset* selectedPreset() const;
    // Stores `preset` at `slot` (appending past the end) and writes the file.
    Notice store(std::int64_t slot, MidiSliderPreset preset, const std::string& done);
    void endComparison();
    // Announces a change, then whether the panel now differs from the
    // selected preset, when that changed.
    void announce(PresetsEvent event);
    void updateModified();
    void soundChanged();
    void importPresetsFrom(const std::filesystem::path& file);
    void exportPresetsTo(const std::filesystem::path& file);
    Notice notify(bool isError, std::string text);

    Controller& controller_;
    FileChooser* fileChooser_;
    Folder documentsFolder_;
    // Chooser answers hold a weak reference to this token, so an answer that
    // arrives after the presets are gone does nothing.
    std::shared_ptr<Presets*> self_;

    ChangeObserver* observer_ = nullptr;
    std::shared_ptr<const std::vector<MidiSliderPreset>> presets_ =
        std::make_shared<const std::vector<MidiSliderPreset>>(kInitialPresetCount);
    std::int64_t selectedPresetIndex_ = 0;
    // What the stored file held when this run last read or wrote it; a save
    // keeps any other content aside (an earlier run's, another panel's).
    std::optional<FileStamp> storedFileSeen_;
    std::uint64_t generation_ = 0;
    // The edited sound while the selected preset is compared with it.
    std::optional<MidiSliderPreset> setAside_;
    bool comparing_ = false;  // the comparison's own sends are under way
    bool modified_ = false;   // as last announced
    Connection controllerConnection_;
    Connection valuesConnection_;
};

}  // namespace tarnwell
