// Fuzz target for everything a chosen import file reaches: decoding, and for a
// file that decodes, the write-back round trip and a recall through a panel.
#include "preset_fuzz.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "core/panel/preset_file.hpp"
#include "support/panel_harness.hpp"

namespace tarnwell::test {

CheckedFile checkPresetFile(std::string_view bytes) {
    static PanelHarness panel;
    PresetDecoding decoded = decodePresetFile(bytes);
    if (!decoded.presets) {
        if (decoded.error.empty()) {
            std::abort();  // a refusal always carries a reason
        }
        return {};
    }
    // Whatever was accepted is written, within the longest file the bounds
    // allow (and so within the read limit), and reads back the same, bit for
    // bit.
    const PresetEncoding encoded = encodePresetFile(*decoded.presets);
    const PresetDecoding again = encoded.text ? decodePresetFile(*encoded.text) : PresetDecoding{};
    if (!encoded.text || encoded.text->size() > kMaxWrittenPresetFileBytes || !again.presets ||
        !samePresets(*again.presets, *decoded.presets) ||
        std::ranges::any_of(*decoded.presets, [](const MidiSliderPreset& preset) {
            return normalisedPresetName(preset.name) != preset.name;
        })) {
        std::abort();
    }
    if (decoded.presets->size() < 64) {
        Model model(panel.service, panel.queue, panel.random, nullptr, {});
        model.controller().destinationPickerAppeared();
        panel.queue.runPending();
        model.controller().toggleLink(0);
        model.controller().toggleLink(3);
        model.presets().replacePresets(*decoded.presets);
        for (std::size_t i = 1; i < decoded.presets->size(); ++i) {
            model.presets().setSelectedPresetIndex(static_cast<std::int64_t>(i));
        }
        panel.queue.runPending();
        panel.service->clearRecorded();
    }
    return {std::move(decoded.presets), encoded.text->size()};
}

}  // namespace tarnwell::test

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnwell::test::checkPresetFile(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
