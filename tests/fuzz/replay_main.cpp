// The fuzz target over every file of the folders given, then over generated
// files at every bound and random well-formed ones, without libFuzzer.
// Usage: tarnwell_preset_fuzz_replay [--random COUNT] FOLDER...
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/panel/preset_file.hpp"
#include "preset_fuzz.hpp"
#include "support/temp_dir.hpp"

namespace tarnwell::test {
namespace {

struct Counts {
    const char* what;
    std::size_t accepted = 0;
    std::size_t refused = 0;
    std::size_t wrong = 0;

    // Checks `bytes`; with `file`, also that they are read as it says.
    void check(const std::string& bytes, const GeneratedFile* file = nullptr) {
        const CheckedFile checked = checkPresetFile(bytes);
        const bool read = checked.presets.has_value();
        ++(read ? accepted : refused);
        if (file == nullptr) {
            return;
        }
        std::string fault;
        if (read != file->accepted) {
            fault = read ? "accepted, should be refused" : "refused, should be accepted";
        } else if (read && file->presets && !samePresets(*checked.presets, *file->presets)) {
            fault = "read as other presets than it holds";
        } else if (read && file->writtenBytes && checked.writtenBytes != *file->writtenBytes) {
            fault = "written in " + std::to_string(checked.writtenBytes) + " bytes, not " +
                    std::to_string(*file->writtenBytes);
        }
        if (!fault.empty()) {
            ++wrong;
            std::printf("FAIL %s: %s\n", file->label.c_str(), fault.c_str());
        }
    }
    void print() const {
        std::printf(
            "%-16s %6zu checked: %6zu accepted, written and read back equal within "
            "%zu bytes; %6zu refused\n",
            what, accepted + refused, accepted, kMaxPresetFileBytes, refused);
    }
};

}  // namespace
}  // namespace tarnwell::test

int main(int argc, char** argv) {
    using namespace tarnwell::test;
    std::size_t randomCount = 0;
    Counts files{"corpus files"};
    Counts bounds{"bound files"};
    Counts random{"random files"};
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--random" && i + 1 < argc) {
            randomCount = std::strtoull(argv[++i], nullptr, 10);
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (entry.is_regular_file()) {
                files.check(readText(entry.path()));
            }
        }
    }
    forEachBoundFile([&](const GeneratedFile& file) { bounds.check(file.bytes, &file); });
    forEachRandomFile(2024, randomCount,
                      [&](const GeneratedFile& file) { random.check(file.bytes, &file); });
    files.print();
    bounds.print();
    random.print();
    const std::size_t wrong = bounds.wrong + random.wrong;
    if (wrong > 0) {
        std::printf("%zu generated files read wrongly\n", wrong);
    }
    return files.accepted + files.refused > 0 && wrong == 0 ? 0 : 1;
}
