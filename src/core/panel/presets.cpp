#include "core/panel/presets.hpp"

#include "core/base/change_observer.hpp"
#include "core/base/file_io.hpp"
#include "core/panel/controller.hpp"
#include "core/panel/file_chooser.hpp"
#include "core/panel/preset_file.hpp"

namespace tarnwell {

namespace {

std::string presetCount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " preset" : " presets");
}

// Whether stored content this run has not seen is kept aside before a save
// replaces it: all but the untouched initial list, which holds nothing to lose.
bool storedContentWorthKeeping(std::string_view content) {
    const PresetDecoding decoded = decodePresetFile(content);
    return !decoded.presets ||
           *decoded.presets != std::vector<MidiSliderPreset>(kInitialPresetCount);
}

}  // namespace

Presets::Presets(Controller& controller, FileChooser* chooser, Folder documentsFolder)
    : controller_(controller),
      fileChooser_(chooser),
      documentsFolder_(std::move(documentsFolder)),
      self_(std::make_shared<Presets*>(this)) {}

Presets::~Presets() = default;

void Presets::setSelectedPresetIndex(std::int64_t index) {
    if (index == selectedPresetIndex_) {
        return;
    }
    if (observer_ != nullptr && index >= 0 &&
        static_cast<std::uint64_t>(index) < presets_->size()) {
        observer_->willChange("recall Preset " + std::to_string(index + 1));
    }
    selectedPresetIndex_ = index;
    changed.emit({PresetsChange::selection, index});
    applyPreset(index);
}

std::optional<std::filesystem::path> Presets::presetsFileURL() const {
    if (!documentsFolder_) {
        return std::nullopt;
    }
    const auto folder = documentsFolder_();
    if (!folder || folder->empty()) {
        return std::nullopt;
    }
    return *folder / kPresetsFileName;
}

void Presets::applyPreset(std::int64_t index) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= presets_->size()) {
        return;
    }
    // Held, so a listener that replaces the list cannot pull it away.
    const auto list = presets_;
    controller_.applyPreset((*list)[static_cast<std::size_t>(index)]);
}

Notice Presets::savePreset(std::int64_t index) {
    MidiSliderPreset preset = controller_.currentPreset();
    auto list = std::make_shared<std::vector<MidiSliderPreset>>(*presets_);
    std::size_t slot = list->size();
    if (index >= 0 && static_cast<std::uint64_t>(index) < list->size()) {
        slot = static_cast<std::size_t>(index);
        (*list)[slot] = std::move(preset);
    } else {
        list->push_back(std::move(preset));
    }
    presets_ = std::move(list);
    changed.emit({PresetsChange::list, static_cast<std::int64_t>(slot)});

    const std::string what = "Preset " + std::to_string(slot + 1);
    const auto file = presetsFileURL();
    if (!file) {
        return notify(true, what +
                                " is kept until the panel closes, but not written: "
                                "there is no documents folder");
    }
    const PresetEncoding encoding = encodePresetFile(*presets_);
    if (!encoding.text) {
        return notify(true,
                      what + " is kept until the panel closes, but not written: " + encoding.error);
    }
    const KeepingWrite written = writeFileKeepingEarlier(
        *file, *encoding.text,
        {.lastSeen = storedFileSeen_, .worthKeeping = &storedContentWorthKeeping});
    if (!written.error.empty()) {
        return notify(true, what + " is kept until the panel closes, but " + written.error);
    }
    storedFileSeen_ = written.written;
    if (!written.keptAs.empty()) {
        const std::string elsewhere = written.changedSinceSeen
                                          ? "; it had been changed elsewhere since this panel last "
                                            "read or wrote it"
                                          : "";
        return notify(false, what + " saved to " + file->string() + elsewhere +
                                 "; the presets stored there before are kept in " +
                                 written.keptAs.string());
    }
    return notify(false, what + " saved to " + file->string());
}

void Presets::importPresets() {
    if (!fileChooser_) {
        return;
    }
    std::weak_ptr<Presets*> weak = self_;
    fileChooser_->chooseFileToOpen([weak](std::optional<std::filesystem::path> file) {
        auto self = weak.lock();
        if (self && file) {
            (*self)->importPresetsFrom(*file);
        }
    });
}

void Presets::importPresetsFrom(const std::filesystem::path& file) {
    const FileRead read = readWholeFile(file, kMaxPresetFileBytes);
    if (!read.bytes) {
        notify(true, "Import failed: " + read.error);
        return;
    }
    PresetDecoding decoded = decodePresetFile(*read.bytes);
    if (!decoded.presets) {
        notify(true, "Import failed: " + file.string() + ": " + decoded.error);
        return;
    }
    replacePresets(std::move(*decoded.presets));
    // Saves continue the stored file when this is it.
    std::error_code ec;
    if (const auto stored = presetsFileURL();
        stored && std::filesystem::equivalent(file, *stored, ec)) {
        storedFileSeen_ = stampOf(*read.bytes);
    }
    notify(false, "Imported " + presetCount(presets_->size()) + " from " + file.string());
}

void Presets::replacePresets(std::vector<MidiSliderPreset> presets) {
    if (observer_ != nullptr) {
        observer_->willChange("import presets");
    }
    presets_ = std::make_shared<const std::vector<MidiSliderPreset>>(std::move(presets));
    changed.emit({PresetsChange::list, -1});
    if (!presets_->empty()) {
        applyPreset(0);
    }
}

void Presets::restoreStoredPresets() {
    const auto file = presetsFileURL();
    if (!file) {
        return;
    }
    std::error_code ec;
    if (!std::filesystem::exists(*file, ec)) {
        if (ec) {
            notify(true, "Saved presets not restored: could not check " + file->string() + ": " +
                             ec.message());
        }
        return;
    }
    const FileRead read = readWholeFile(*file, kMaxPresetFileBytes);
    if (!read.bytes) {
        notify(true, "Saved presets not restored: " + read.error);
        return;
    }
    PresetDecoding decoded = decodePresetFile(*read.bytes);
    if (!decoded.presets) {
        notify(true, "Saved presets not restored: " + file->string() + ": " + decoded.error);
        return;
    }
    presets_ = std::make_shared<const std::vector<MidiSliderPreset>>(std::move(*decoded.presets));
    // This run's saves continue the file it read, which is not kept aside.
    storedFileSeen_ = stampOf(*read.bytes);
    changed.emit({PresetsChange::list, -1});
    notify(false, "Restored " + presetCount(presets_->size()) + " from " + file->string());
}

void Presets::restoreState(std::shared_ptr<const std::vector<MidiSliderPreset>> presets,
                           std::int64_t selectedIndex) {
    if (presets != presets_) {
        presets_ = std::move(presets);
        changed.emit({PresetsChange::list, -1});
    }
    if (selectedIndex != selectedPresetIndex_) {
        selectedPresetIndex_ = selectedIndex;
        changed.emit({PresetsChange::selection, selectedIndex});
    }
}

void Presets::exportPresets() {
    if (!fileChooser_) {
        return;
    }
    std::weak_ptr<Presets*> weak = self_;
    fileChooser_->chooseFileToSave([weak](std::optional<std::filesystem::path> file) {
        auto self = weak.lock();
        if (self && file) {
            (*self)->exportPresetsTo(*file);
        }
    });
}

void Presets::exportPresetsTo(const std::filesystem::path& file) {
    const PresetEncoding encoding = encodePresetFile(*presets_);
    if (!encoding.text) {
        notify(true, "Export failed: " + encoding.error);
        return;
    }
    const std::string error = writeFileAtomically(file, *encoding.text);
    if (!error.empty()) {
        notify(true, "Export failed: " + error);
        return;
    }
    notify(false, "Exported " + presetCount(presets_->size()) + " to " + file.string());
}

Notice Presets::notify(bool isError, std::string text) {
    Notice notice{isError, std::move(text)};
    noticed.emit(notice);
    return notice;
}

}  // namespace tarnwell
