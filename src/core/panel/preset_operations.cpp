// The preset operations of the controller: recall, save, import and export.

#include "core/base/file_io.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/panel/controller.hpp"
#include "core/panel/file_chooser.hpp"
#include "core/panel/preset_file.hpp"

namespace tarnwell {

namespace {

std::string presetCount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " preset" : " presets");
}

template <typename T>
std::vector<T> resized(const std::vector<T>& source, std::size_t size, T fill) {
    std::vector<T> out(source.begin(),
                       source.begin() + static_cast<std::ptrdiff_t>(std::min(source.size(), size)));
    out.resize(size, fill);
    return out;
}

}  // namespace

void Controller::setSelectedPresetIndex(std::int64_t index) {
    if (index == selectedPresetIndex_) {
        return;
    }
    selectedPresetIndex_ = index;
    changed.emit({ControllerField::selectedPresetIndex, index});
    applyPreset(index);
}

std::optional<std::filesystem::path> Controller::presetsFileURL() const {
    if (!documentsFolder_) {
        return std::nullopt;
    }
    const auto folder = documentsFolder_();
    if (!folder || folder->empty()) {
        return std::nullopt;
    }
    return *folder / kPresetsFileName;
}

void Controller::applyPreset(std::int64_t index) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= presets_.size()) {
        return;
    }
    const MidiSliderPreset preset = presets_[static_cast<std::size_t>(index)];

    modButtonPressed_ = resized(preset.modStates, kModButtonCount, false);
    changed.emit({ControllerField::modButtonPressed, -1});
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(modButtonPressed_.size()); ++i) {
        sendModButton(i);
    }

    sliderValues_ = resized(preset.values, kParameterCount, 0.0);
    changed.emit({ControllerField::sliderValues, -1});
    std::vector<ModeToggle> switched;
    for (const ModeToggle toggle : kPresetToggles) {
        if (assignModeToggle(toggle, presetToggle(preset, toggle))) {
            switched.push_back(toggle);
        }
    }

    for (std::int64_t i = 0; i < kParameterCount; ++i) {
        sendParameterAndPropagate(i);
    }
    // Mode switches announce themselves after the parameters, as their own
    // change handlers would; the grouped copies queued above follow later.
    for (const ModeToggle toggle : switched) {
        sendModeToggle(toggle);
    }
}

Notice Controller::savePreset(std::int64_t index) {
    MidiSliderPreset preset;
    preset.values = sliderValues_;
    preset.modStates = modButtonPressed_;
    preset.voiceModeToggle = modeToggle(ModeToggle::voiceModeToggle);
    preset.drumModeToggle = modeToggle(ModeToggle::DrumModeToggle);
    preset.filterModeToggle = modeToggle(ModeToggle::FilterModeToggle);
    preset.regenModeToggle = modeToggle(ModeToggle::regenModeToggle);
    preset.regen2ModeToggle = modeToggle(ModeToggle::regen2ModeToggle);

    std::size_t slot = presets_.size();
    if (index >= 0 && static_cast<std::uint64_t>(index) < presets_.size()) {
        slot = static_cast<std::size_t>(index);
        presets_[slot] = std::move(preset);
    } else {
        presets_.push_back(std::move(preset));
    }
    changed.emit({ControllerField::presets, static_cast<std::int64_t>(slot)});

    const std::string what = "Preset " + std::to_string(slot + 1);
    const auto file = presetsFileURL();
    if (!file) {
        return notify(true, what +
                                " is kept until the panel closes, but not written: "
                                "there is no documents folder");
    }
    const PresetEncoding encoding = encodePresetFile(presets_);
    if (!encoding.text) {
        return notify(true,
                      what + " is kept until the panel closes, but not written: " + encoding.error);
    }
    const KeepingWrite written = !wroteStoredFile_ && storedFileWorthKeeping(*file, *encoding.text)
                                     ? writeFileKeepingEarlier(*file, *encoding.text)
                                     : KeepingWrite{writeFileAtomically(*file, *encoding.text), {}};
    if (!written.error.empty()) {
        return notify(true, what + " is kept until the panel closes, but " + written.error);
    }
    wroteStoredFile_ = true;
    if (!written.keptAs.empty()) {
        return notify(false, what + " saved to " + file->string() +
                                 "; the presets stored there before are kept in " +
                                 written.keptAs.string());
    }
    return notify(false, what + " saved to " + file->string());
}

// The stored file is not read at start, so the first save of a run would
// replace whatever an earlier run stored there. That file is kept under a
// dated name unless it holds nothing worth keeping (what is about to be
// written, the untouched initial list) or is the file this run imported.
bool Controller::storedFileWorthKeeping(const std::filesystem::path& file,
                                        const std::string& newText) const {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) ||
        (importedFrom_ && std::filesystem::equivalent(file, *importedFrom_, ec))) {
        return false;
    }
    const FileRead existing = readWholeFile(file, kMaxPresetFileBytes);
    if (existing.bytes) {
        if (*existing.bytes == newText) {
            return false;
        }
        const PresetDecoding decoded = decodePresetFile(*existing.bytes);
        if (decoded.presets &&
            *decoded.presets == std::vector<MidiSliderPreset>(kInitialPresetCount)) {
            return false;
        }
    }
    return true;
}

void Controller::importPresets() {
    if (!fileChooser_) {
        return;
    }
    std::weak_ptr<Controller*> weak = self_;
    fileChooser_->chooseFileToOpen([weak](std::optional<std::filesystem::path> file) {
        auto self = weak.lock();
        if (self && file) {
            (*self)->importPresetsFrom(*file);
        }
    });
}

void Controller::importPresetsFrom(const std::filesystem::path& file) {
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
    importedFrom_ = file;
    notify(false, "Imported " + presetCount(presets_.size()) + " from " + file.string());
}

void Controller::replacePresets(std::vector<MidiSliderPreset> presets) {
    presets_ = std::move(presets);
    changed.emit({ControllerField::presets, -1});
    if (!presets_.empty()) {
        applyPreset(0);
    }
}

void Controller::exportPresets() {
    if (!fileChooser_) {
        return;
    }
    std::weak_ptr<Controller*> weak = self_;
    fileChooser_->chooseFileToSave([weak](std::optional<std::filesystem::path> file) {
        auto self = weak.lock();
        if (self && file) {
            (*self)->exportPresetsTo(*file);
        }
    });
}

void Controller::exportPresetsTo(const std::filesystem::path& file) {
    const PresetEncoding encoding = encodePresetFile(presets_);
    if (!encoding.text) {
        notify(true, "Export failed: " + encoding.error);
        return;
    }
    const std::string error = writeFileAtomically(file, *encoding.text);
    if (!error.empty()) {
        notify(true, "Export failed: " + error);
        return;
    }
    notify(false, "Exported " + presetCount(presets_.size()) + " to " + file.string());
}

Notice Controller::notify(bool isError, std::string text) {
    Notice notice{isError, std::move(text)};
    noticed.emit(notice);
    return notice;
}

}  // namespace tarnwell
