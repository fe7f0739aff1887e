#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/control/midi_input.hpp"
#include "core/midi/midi_service.hpp"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace tarnwell {

// The input side of the JACK service: the input port ("InPort"), the sources
// it can be wired to (other clients' MIDI outputs) and the queue its process
// callback fills.
//
// The service owns one from its start (sources are listed before any input
// port exists) and calls it from its own threads:
// - main thread: `setWake` (once, before the port is asked for),
//   `selectSource`, `take`, `sources`, `dropped`;
// - the service's worker (the only thread that calls libjack besides the
//   process callback): `registerPort`, `listSources`, `reconcile`,
//   `clientClosed`;
// - the process callback: `process`, which reads the port's events, converts
//   their times to the steady clock and queues them; real-time safe (no lock,
//   no allocation, no call into libjack but the port buffer and time
//   functions).
//
// Sources are known by their full port names ("nanoKONTROL2:out"); the
// selected one is wired to the input port whenever both exist, also after the
// source or the server restarted. Connections made by others (a patchbay) are
// left alone, and what arrives through them is taken too.
class JackMidiInput {
public:
    JackMidiInput() = default;
    JackMidiInput(const JackMidiInput&) = delete;
    JackMidiInput& operator=(const JackMidiInput&) = delete;

    // --- main thread ---
    // Notified when input arrives; kept for as long as this lives.
    void setWake(std::shared_ptr<WakeSignal> wake);
    [[nodiscard]] std::vector<DestinationInfo> sources() const;
    // Takes input from `source`, a handle of `sources` (0: none). Returns
    // whether the wiring must be reconsidered by the worker.
    bool selectSource(EndpointRef source, std::uint8_t stream);
    std::size_t take(MidiInputConsumer& consumer) { return queue_.take(consumer); }
    [[nodiscard]] std::uint64_t dropped() const { return queue_.dropped(); }

    // --- worker thread ---
    void registerPort(jack_client_t* client, const std::string& name);
    // Rebuilds the source list from the server's MIDI outputs (but our own
    // client's, named by `ownPrefix`), each under the service's handle of its
    // port name (`handleFor`, 0 to leave it out); returns whether it changed.
    bool listSources(jack_client_t* client, const std::string& ownPrefix,
                     const std::function<EndpointRef(const std::string&)>& handleFor);
    // Wires the selected source to the port, and unwires the source wired
    // before if it is no longer selected.
    void reconcile(jack_client_t* client);
    // The client is closing or gone: the port goes with it.
    void clientClosed();

    // --- process callback ---
    void process(std::uint32_t frames);

private:
    std::shared_ptr<WakeSignal> wake_;
    MidiInputQueue queue_;

    mutable std::mutex mutex_;  // sources_ and selected_
    std::vector<DestinationInfo> sources_;
    std::string selected_;  // full port name of the selected source; empty: none

    // Worker only.
    std::set<std::string> presentSources_;
    std::string wired_;  // the source this side connected last
    bool recheck_ = false;

    // Shared with the process callback.
    std::atomic<jack_client_t*> client_{nullptr};
    std::atomic<jack_port_t*> port_{nullptr};
};

}  // namespace tarnwell
