// Fuzz target for everything a chosen import file reaches: decoding, and for a
// file that decodes, the write-back round trip and a recall through a panel.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "core/panel/preset_file.hpp"
#include "support/panel_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tarnwell::test::PanelHarness panel;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tarnwell::PresetDecoding decoded = tarnwell::decodePresetFile(bytes);
    if (!decoded.presets) {
        if (decoded.error.empty()) {
            std::abort();  // a refusal always carries a reason
        }
        return 0;
    }
    // Whatever was accepted must write back and read back identical.
    const tarnwell::PresetEncoding encoded = tarnwell::encodePresetFile(*decoded.presets);
    if (!encoded.text) {
        std::abort();
    }
    const tarnwell::PresetDecoding again = tarnwell::decodePresetFile(*encoded.text);
    if (!again.presets || *again.presets != *decoded.presets) {
        std::abort();
    }
    if (decoded.presets->size() < 64) {
        tarnwell::Model model(panel.service, panel.queue, panel.random, nullptr, {});
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
    return 0;
}
