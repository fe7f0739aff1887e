#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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
    list,       // index: the slot written, or -1 when the whole list was replaced
    selection,  // index: the selected row
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
    // the list), then writes the whole list to the stored file. The first
    // save of a run keeps an earlier run's file beside it.
    Notice savePreset(std::int64_t index);
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
    void restoreState(std::shared_ptr<const std::vector<MidiSliderPreset>> presets,
                      std::int64_t selectedIndex);
    // Told before a recall or an import; may be null.
    void setChangeObserver(ChangeObserver* observer) { observer_ = observer; }

    Signal<PresetsEvent> changed;
    // Outcomes of save, import and export, success or failure.
    Signal<const Notice&> noticed;

private:
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
};

}  // namespace tarnwell
