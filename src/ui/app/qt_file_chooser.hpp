#pragma once

#include <QPointer>
#include <QWidget>

#include "core/panel/file_chooser.hpp"

namespace tarnwell {

class Settings;

// File dialogs limited to JSON files, shown window-modal without blocking:
// each call returns at once and the choice arrives from the event loop. Each
// kind (open, save) starts in the folder of its own last choice, and in the
// documents folder until there is one.
class QtFileChooser final : public FileChooser {
public:
    // `settings`, when given, remembers the folder of each kind of choice
    // and must outlive the chooser.
    explicit QtFileChooser(QWidget* parent, Settings* settings = nullptr)
        : parent_(parent), settings_(settings) {}

    void chooseFileToOpen(Choice done) override;
    void chooseFileToSave(Choice done) override;

private:
    void show(bool forSaving, Choice done);

    QPointer<QWidget> parent_;
    Settings* settings_;
};

// The user's documents folder ($HOME/Documents on Linux), which may not exist
// yet; absent when the platform reports none. Named by the home folder's own
// bytes, whatever their encoding.
std::optional<std::filesystem::path> documentsFolder();

}  // namespace tarnwell
