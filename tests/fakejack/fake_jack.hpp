#pragma once

// An in-process JACK server for tests: the part of the JACK client API the
// service uses, defined in fake_jack.cpp with the declarations of
// <jack/jack.h> and <jack/midiport.h>, so an executable that links it calls
// these instead of libjack. Plain std::thread, std::mutex and
// std::condition_variable throughout: a thread checker sees every hand-over
// between the program's threads and the server's.
//
// Model: each activated client has a process thread running cycles of
// `period` frames at the period's real duration; each client has a
// notification thread for registration and shutdown callbacks. An output
// port's events of one cycle reach every input port it is connected to at
// the start of that input's next cycle, once each, in order. A MIDI port
// buffer holds `bufferBytes` of event data; a write past that is refused.

#include <cstddef>

#include <jack/types.h>

namespace fakejack {

struct ServerOptions {
    jack_nframes_t period = 64;
    jack_nframes_t sampleRate = 48000;
    std::size_t bufferBytes = 4096;
    // libjack closes a client by cancelling its threads (pthread_cancel),
    // which may come while a callback runs. With this set, each notification
    // callback runs on a thread of its own with a cancellation already
    // pending, taken once the callback returns; a callback that takes it
    // itself (at write(), poll()...) aborts the test program.
    bool cancelledCallbacks = false;
};

// The server accepts clients from now on; on a running server, only the
// options change.
void startServer(ServerOptions options = {});
// The server dies: every client gets its shutdown callback (on its
// notification thread), loses its ports, connections and cycles, and has only
// jack_client_close left to call. New clients are refused until startServer.
void stopServer();

}  // namespace fakejack
