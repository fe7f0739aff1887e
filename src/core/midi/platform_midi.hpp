#pragma once

#include <memory>

#include "core/midi/midi_service.hpp"

namespace tarnwell {

// The MIDI service the panel uses: every MIDI system of this Linux machine that
// is available, their destinations shown in one list: the ALSA sequencer when
// it opens, and JACK (the JACK service always exists and follows a server
// coming and going). With none available the service lists nothing and drops
// every send. Never throws, returns promptly and prints nothing.
std::shared_ptr<MidiService> createPlatformMidiService();

}  // namespace tarnwell
