#pragma once

#include <filesystem>
#include <functional>
#include <optional>

namespace tarnwell {

// The window's file dialogs, as the core sees them. Each call shows a dialog
// limited to JSON files without blocking and returns at once; the choice
// arrives later on the main thread, empty when the user cancelled.
class FileChooser {
public:
    using Choice = std::function<void(std::optional<std::filesystem::path>)>;

    virtual ~FileChooser() = default;
    virtual void chooseFileToOpen(Choice done) = 0;
    virtual void chooseFileToSave(Choice done) = 0;
};

}  // namespace tarnwell
