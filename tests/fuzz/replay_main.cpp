// Checks the preset file round trip over every file of the folders given (the
// seed corpus and the hostile inputs), then over generated files at every
// bound and random well-formed files, without libFuzzer. Prints how many
// inputs were checked, accepted and refused.
//
// Usage: tarnwell_preset_fuzz_replay [--random COUNT] FOLDER...
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "core/panel/preset_file.hpp"
#include "preset_fuzz.hpp"

namespace {

struct Counts {
    std::size_t accepted = 0;
    std::size_t refused = 0;
    std::size_t wrong = 0;
};

void checkGenerated(const tarnwell::test::GeneratedFile& file, Counts& counts) {
    const tarnwell::test::CheckedFile checked = tarnwell::test::checkPresetFile(file.bytes);
    const bool accepted = checked.presets.has_value();
    ++(accepted ? counts.accepted : counts.refused);
    std::string fault;
    if (accepted != file.accepted) {
        fault = accepted ? "accepted, should be refused" : "refused, should be accepted";
    } else if (accepted && file.presets &&
               !tarnwell::samePresets(*checked.presets, *file.presets)) {
        fault = "read as other presets than it holds";
    } else if (accepted && file.writtenBytes && checked.writtenBytes != *file.writtenBytes) {
        fault = "written in " + std::to_string(checked.writtenBytes) + " bytes, not " +
                std::to_string(*file.writtenBytes);
    }
    if (!fault.empty()) {
        ++counts.wrong;
        std::printf("FAIL %s: %s\n", file.label.c_str(), fault.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t randomCount = 0;
    Counts files;
    std::size_t fileCount = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--random" && i + 1 < argc) {
            randomCount = std::strtoull(argv[++i], nullptr, 10);
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
            ++(tarnwell::test::checkPresetFile(bytes).presets ? files.accepted : files.refused);
            ++fileCount;
        }
    }
    Counts bounds;
    tarnwell::test::forEachBoundFile(
        [&](const tarnwell::test::GeneratedFile& file) { checkGenerated(file, bounds); });
    Counts random;
    tarnwell::test::forEachRandomFile(
        2024, randomCount,
        [&](const tarnwell::test::GeneratedFile& file) { checkGenerated(file, random); });

    const auto line = [](const char* what, const Counts& c) {
        std::printf(
            "%-16s %6zu checked: %6zu accepted, written and read back equal within "
            "%zu bytes; %6zu refused\n",
            what, c.accepted + c.refused, c.accepted, tarnwell::kMaxPresetFileBytes, c.refused);
    };
    line("corpus files", files);
    line("bound files", bounds);
    line("random files", random);
    const std::size_t wrong = bounds.wrong + random.wrong;
    if (wrong > 0) {
        std::printf("%zu generated files read wrongly\n", wrong);
    }
    return fileCount > 0 && wrong == 0 ? 0 : 1;
}
