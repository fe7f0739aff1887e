#include "core/midi/platform_midi.hpp"

#include <vector>

#include "core/midi/composite_service.hpp"
#include "core/midi/jack_service.hpp"
#include "core/midi/rtmidi_service.hpp"

namespace tarnwell {

namespace {

void addRtMidi(std::vector<std::shared_ptr<MidiService>>& backends, RtMidiApi api) {
    auto service = std::make_shared<RtMidiService>(api);
    if (service->available()) {
        backends.push_back(std::move(service));
    }
}

}  // namespace

std::shared_ptr<MidiService> createPlatformMidiService() {
    std::vector<std::shared_ptr<MidiService>> backends;
    addRtMidi(backends, RtMidiApi::alsa);
    backends.push_back(std::make_shared<JackMidiService>());
    return std::make_shared<CompositeMidiService>(std::move(backends));
}

}  // namespace tarnwell
