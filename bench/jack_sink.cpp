// A JACK MIDI destination of the project's own in a process of its own,
// "tarnwell-sink:in" on the default server: its process callback stores every
// event, so it loses none, whatever the load (jack_midi_dump keeps about 127
// events a cycle and drops the rest). Prints "ready" once its port exists,
// and when it gets SIGTERM or SIGINT the number of events it received and the
// most it saw in one cycle.
//
// Usage: tarnwell_jack_sink
#include <csignal>
#include <cstdio>

#include <signal.h>

#include "testing/jack_peer.hpp"

int main() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    // Blocked before libjack starts its threads, so they inherit the mask and
    // the signal reaches sigwait below.
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    tarnwell::test::JackSink sink;
    if (!sink.ok()) {
        std::fprintf(stderr, "tarnwell_jack_sink: no JACK server answers\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    std::printf("events %zu, at most %zu in one cycle\n", sink.count(), sink.maxPerCycle());
    return 0;
}
