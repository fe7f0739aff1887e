#pragma once

#include <filesystem>
#include <optional>
#include <utility>

#include "core/panel/file_chooser.hpp"

namespace tarnwell::test {

// Holds the pending dialog so a test can answer it, as the user would, after
// the operation has returned.
class FakeFileChooser final : public FileChooser {
public:
    void chooseFileToOpen(Choice done) override {
        ++opens;
        pending_ = std::move(done);
    }
    void chooseFileToSave(Choice done) override {
        ++saves;
        pending_ = std::move(done);
    }
    // Completes the shown dialog; returns false when none is shown.
    bool answer(std::optional<std::filesystem::path> file) {
        if (!pending_) {
            return false;
        }
        auto done = std::exchange(pending_, {});
        done(std::move(file));
        return true;
    }

    int opens = 0;
    int saves = 0;

private:
    Choice pending_;
};

}  // namespace tarnwell::test
