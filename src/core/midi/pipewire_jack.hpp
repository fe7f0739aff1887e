#pragma once

namespace tarnwell {

// Desktops that run PipeWire carry JACK clients through PipeWire's own JACK
// library, which `pw-jack` puts first on the library path. The program links
// the system's libjack, which on most such desktops only reaches a JACK server.
// When no JACK server answers, PipeWire runs and its JACK library is
// installed, this starts the program again (same argv, same process id) with
// PipeWire's JACK library first on the library path, so PipeWire's MIDI ports
// are listed without the user typing `pw-jack`. Otherwise it returns and
// nothing changes.
//
// Call it first in main, before any thread or window exists. Setting
// TARNWELL_NO_PIPEWIRE_JACK (to anything) keeps the library the program was
// started with; the restarted program has it set, so it never restarts twice.
// Prints nothing.
void useJackOfRunningPipeWire(char** argv);

}  // namespace tarnwell
