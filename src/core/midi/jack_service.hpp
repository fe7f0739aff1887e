#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/base/waker.hpp"
#include "core/midi/jack_input.hpp"
#include "core/midi/midi_service.hpp"
#include "core/midi/setup_changed_relay.hpp"
#include "core/midi/spsc_ring.hpp"

namespace tarnwell {

// MIDI output through a JACK server, on libjack directly.
//
// Destinations are the MIDI input ports of other JACK clients, listed by their
// full port names ("client:port"); the service's own ports are never listed.
// An endpoint handle belongs to a full port name for the service's lifetime,
// so a port that vanishes and comes back under the same name keeps its handle.
// The output port is wired to the selected destination only; the service
// restores that wiring whenever the port (re)appears, also after the server
// restarts.
//
// Threading:
// - Public members are called on the main thread (counters from any thread).
//   None of them calls libjack: `listDestinations` reads a cache,
//   `selectDestination` and `createClient`/`createOutputPort` hand work to the
//   service's worker thread, and `send` only appends to a lock-free ring.
// - The worker thread ("jack-worker") owns the JACK client: it opens it (never
//   starting a server), lists and wires ports, and after the server has gone
//   away closes the dead client and tries to open a new one about once a
//   second. Otherwise it sleeps until something wakes it: it has no timer.
// - The JACK process callback ("jack-process") is the ring's only consumer. It
//   writes at most `eventsPerCycle` events per cycle, each 3-byte message its
//   own event, in order; an event the port buffer refuses stays for the next
//   cycle. When it stops at a destination that is not wired yet it wakes the
//   worker, once per destination and wiring.
// - JACK's registration and shutdown callbacks (on libjack's notification
//   thread, "jack-notify") only wake the worker. The worker merges a burst of
//   them into one listing and calls the setup-changed handler, on the worker
//   thread, when the list changed.
// - Every wake-up goes through one `Waker` with a reason bit per source, so a
//   source added later (an input port's process callback) wakes the same
//   worker the same way.
//
// Input (optional): sources are the MIDI outputs of other clients, listed and
// handled like destinations; `createInputPort` registers "InPort" on the
// same client and the selected source is wired to it (JackMidiInput holds
// that side; its process callback runs first in ours).
//
// Delivery: a sequence is accepted whole or dropped whole, and counted.
// Sequences are dropped while no client exists or the server is gone, when the
// ring is full, and when they are addressed to a destination other than the
// selected one or the selected destination is missing. A change of destination
// takes effect in stream order: what was sent before it still goes to the
// previous destination. Messages still queued when the server dies are
// discarded; messages queued for a destination that vanished and is no longer
// selected are discarded as well.
class JackMidiService final : public MidiService {
public:
    struct Options {
        // JACK server to use; empty means the default server (which libjack
        // reads from JACK_DEFAULT_SERVER).
        std::string serverName;
        // Upper bound of events written per process cycle. Slow receivers keep
        // only about a hundred events per cycle.
        std::size_t eventsPerCycle = 64;
        // Ring capacity in 3-byte messages (rounded up to a power of two).
        std::size_t ringCapacity = 65536;
        std::chrono::milliseconds reconnectInterval{1000};
    };

    struct Counters {
        std::uint64_t acceptedSequences = 0;  // queued for delivery
        std::uint64_t droppedSequences = 0;   // refused by send
        std::uint64_t writtenMessages = 0;    // handed to JACK by the process callback
        // Queued, then thrown away undelivered (route markers included).
        std::uint64_t discardedMessages = 0;
    };

    JackMidiService();
    explicit JackMidiService(Options options);
    ~JackMidiService() override;
    JackMidiService(const JackMidiService&) = delete;
    JackMidiService& operator=(const JackMidiService&) = delete;

    // The client and port are opened asynchronously, so both always succeed;
    // until a server answers, the list is empty and sends are dropped.
    std::uint32_t createClient(const std::string& name) override;
    std::uint32_t createOutputPort(std::uint32_t client, const std::string& name) override;
    std::vector<DestinationInfo> listDestinations() override;
    void selectDestination(EndpointRef endpoint) override;
    void send(std::uint32_t port, EndpointRef destination,
              std::span<const std::uint8_t> messages) override;
    // Returns once the ring is empty and the cycle that took its last events
    // has ended, at once while no server runs, and otherwise when `bound` has
    // passed (messages held for a missing destination wait that long). The
    // bound is at least the server's cycles that take what is queued, plus
    // two for the peer to have read the last and one to spare (two seconds
    // at most).
    void drain(std::chrono::milliseconds bound) override;
    void setSetupChangedHandler(SetupChangedHandler handler) override;
    // Thru: each message its own event, in stream order with `send`.
    void sendRaw(std::uint32_t port, EndpointRef destination,
                 std::span<const std::uint8_t> messages) override;
    std::vector<DestinationInfo> listSources() override;
    std::uint32_t createInputPort(std::uint32_t client, const std::string& name,
                                  std::shared_ptr<WakeSignal> wake) override;
    void selectSource(EndpointRef source, std::uint8_t stream) override;
    std::size_t takeInput(MidiInputConsumer& consumer) override;
    [[nodiscard]] std::uint64_t droppedInput() const override;

    [[nodiscard]] Counters counters() const;
    // True while a client is open on a running server.
    [[nodiscard]] bool connectedToServer() const { return alive_.load(); }
    // Events queued and not yet handed to JACK (approximate off the main thread).
    [[nodiscard]] std::size_t queuedMessages() const { return ring_.readable(); }
    // How often the worker thread has woken so far.
    [[nodiscard]] std::uint64_t workerWakeups() const { return waker_.wakeups(); }

private:
    struct ClientState;
    friend struct JackCallbacks;
    static constexpr std::uint32_t kPortHandle = 1;
    static constexpr std::uint32_t kInPortHandle = 2;

    // Why the worker was woken: one bit each.
    static constexpr Waker::Reasons kStop = 1U << 0;
    static constexpr Waker::Reasons kCommand = 1U << 1;  // a client or port was asked for
    // A destination was chosen, or the stream waits for one to be wired.
    static constexpr Waker::Reasons kRoute = 1U << 2;
    static constexpr Waker::Reasons kGraph = 1U
                                             << 3;  // ports or clients came, went or were renamed
    static constexpr Waker::Reasons kServerGone = 1U << 4;  // libjack reported a shutdown

    void run();
    bool openClient(const std::string& name, const std::optional<std::string>& portName);
    void registerPort(const std::string& name);
    void closeClient();
    void refreshPorts();
    void reconcileWiring();
    void updateAdmissionLocked();
    EndpointRef handleFor(const std::string& portName);
    // Queues `events` (a whole send) for `destination`; counts it.
    void queueEvents(std::uint32_t port, EndpointRef destination, std::span<RingEvent> events);
    int process(std::uint32_t frames);
    // Process callback: the stream waits for `route` to be wired.
    void askForRoute(EndpointRef route, std::uint64_t wiring);
    void onShutdown();

    const Options options_;
    SpscRing ring_;

    Waker waker_;
    // Commands for the worker, guarded by `mutex_`; each comes with a wake.
    std::mutex mutex_;
    std::optional<std::string> clientName_;
    std::optional<std::string> portName_;
    std::optional<std::string> inPortName_;
    bool stop_ = false;

    // Worker thread only.
    std::unique_ptr<ClientState> client_;
    std::map<std::string, EndpointRef> handles_;
    std::map<EndpointRef, std::string> namesByHandle_;
    std::set<std::string> presentNames_;
    EndpointRef nextHandle_ = 1;
    EndpointRef target_ = 0;  // the destination the port is to be wired to
    std::uint32_t wiringGeneration_ = 0;

    // The destination cache and what decides send admission, guarded by
    // `cacheMutex_`.
    mutable std::mutex cacheMutex_;
    std::vector<DestinationInfo> destinations_;
    EndpointRef selected_ = 0;

    // Main thread only.
    EndpointRef markedRoute_ = 0;  // destination named by the latest route marker
    bool markerOwed_ = false;      // that marker could not be queued yet

    // Shared with the process callback.
    std::atomic<bool> alive_{false};
    std::atomic<EndpointRef> admitted_{0};  // the endpoint sends may go to; 0 for none
    std::atomic<EndpointRef> selectedAtomic_{0};
    std::atomic<void*> outPort_{nullptr};
    // The destination the port is wired to (low 32 bits, 0 while it is
    // missing) and a generation bumped by every change of wiring (high bits).
    std::atomic<std::uint64_t> wiring_{0};
    std::atomic<EndpointRef> wantedRoute_{0};  // set by the process callback at a marker
    // A destination the stream waited for that can no longer be wired (gone,
    // or refused) and is no longer selected: set by the worker, so the process
    // callback passes its marker and drops what follows as stale instead of
    // waiting for it for ever.
    std::atomic<EndpointRef> abandonedRoute_{0};
    std::atomic<EndpointRef> processRoute_{0};  // route of the messages at the ring's front
    std::uint64_t seenWiring_ = 0;              // process callback only
    // The route the process callback last woke the worker for, and the
    // wiring it saw then (process callback only).
    EndpointRef askedRoute_ = 0;
    std::uint64_t askedWiring_ = 0;
    std::atomic<std::uint64_t> accepted_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> discarded_{0};
    std::atomic<std::uint64_t> cycles_{0};       // process callbacks run
    std::atomic<std::uint32_t> cycleFrames_{0};  // frames of the latest cycle
    std::atomic<std::uint32_t> sampleRate_{0};   // of the server the client is on

    SetupChangedRelay setupChanged_;

    JackMidiInput input_;

    std::thread worker_;
};

}  // namespace tarnwell
