#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/control/midi_input.hpp"
#include "core/midi/midi_service.hpp"
#include "core/midi/setup_changed_relay.hpp"

class RtMidi;
class RtMidiIn;
class RtMidiOut;

namespace tarnwell {

// The MIDI systems reached through RtMidi. `jack` exists for tests and
// measurements only: RtMidi's JACK output spins forever in a send when nothing
// drains its buffer, so the panel talks to JACK through JackMidiService.
enum class RtMidiApi { alsa, jack };

// MIDI output through RtMidi with an explicit API.
//
// The output object is created in the constructor; when the API cannot open
// (no sequencer, no driver) the service stays empty and every send is dropped.
// RtMidi's errors go to a callback that counts them, never to the terminal.
// Destinations are matched by name, because port numbers shift when devices
// come and go; on ALSA the trailing "client:port" address is left out of the
// name for the same reason. An endpoint handle belongs to a name (and its
// occurrence among equal names) for the service's lifetime.
//
// Threading: public members on the main thread (counters from any thread). A
// worker thread with its own RtMidi object polls the port list about once a
// second and calls the setup-changed handler, on that thread, when the list
// changed. When the selected destination disappears and later comes back, the
// next main-thread call (a list or a send) closes and reopens the port, since
// RtMidi does not follow a restarted destination by itself.
//
// Input: sources are listed by the same rules (the worker polls them with an
// input object of its own). `createInputPort` makes the input object; the
// port itself opens when a source is selected, connected to it, and its
// messages go from RtMidi's input thread into a queue the main thread takes
// (system-exclusive ignored; clock and active sensing kept, to be passed on).
// A selected source that vanishes and comes back is reopened like the
// destination.
class RtMidiService final : public MidiService {
public:
    struct Options {
        std::string clientName = "MidiClient";
        std::chrono::milliseconds pollInterval{1000};
    };

    struct Counters {
        std::uint64_t sentSequences = 0;
        std::uint64_t droppedSequences = 0;
        std::uint64_t errors = 0;  // reported through RtMidi's error callback
        std::uint64_t reopens = 0;
    };

    explicit RtMidiService(RtMidiApi api);
    RtMidiService(RtMidiApi api, Options options);
    ~RtMidiService() override;
    RtMidiService(const RtMidiService&) = delete;
    RtMidiService& operator=(const RtMidiService&) = delete;

    // Whether the API opened at construction.
    [[nodiscard]] bool available() const { return out_ != nullptr; }

    std::uint32_t createClient(const std::string& name) override;
    std::uint32_t createOutputPort(std::uint32_t client, const std::string& name) override;
    std::vector<DestinationInfo> listDestinations() override;
    void selectDestination(EndpointRef endpoint) override;
    void send(std::uint32_t port, EndpointRef destination,
              std::span<const std::uint8_t> messages) override;
    void setSetupChangedHandler(SetupChangedHandler handler) override;
    void sendRaw(std::uint32_t port, EndpointRef destination,
                 std::span<const std::uint8_t> messages) override;
    std::vector<DestinationInfo> listSources() override;
    std::uint32_t createInputPort(std::uint32_t client, const std::string& name,
                                  std::shared_ptr<WakeSignal> wake) override;
    void selectSource(EndpointRef source, std::uint8_t stream) override;
    std::size_t takeInput(MidiInputConsumer& consumer) override;
    [[nodiscard]] std::uint64_t droppedInput() const override;

    [[nodiscard]] Counters counters() const;
    // Whether the input port is open to a source now.
    [[nodiscard]] bool inputOpen() const;

private:
    struct Port {
        std::string key;  // name plus occurrence, what a handle belongs to
        std::string name;
        unsigned index = 0;
    };
    static constexpr std::uint32_t kHandle = 1;

    // Handles and the cached list of one direction (destinations or sources).
    struct Listing {
        std::vector<DestinationInfo> entries;
        std::map<std::string, EndpointRef> handles;
        std::map<EndpointRef, std::string> keys;
        EndpointRef nextHandle = 1;
        EndpointRef watched = 0;  // the selected endpoint, as the worker sees it
        bool watchedMissing = false;
    };

    void poll();
    std::vector<Port> readPorts(RtMidi& midi) const;
    // Updates `listing` from `ports`; returns whether its entries changed and
    // sets `cameBack` when the watched endpoint reappeared.
    static bool updateListingLocked(Listing& listing, const std::vector<Port>& ports,
                                    bool& cameBack);
    static EndpointRef handleForLocked(Listing& listing, const std::string& key);
    void openSelected();
    void reopenIfRestarted();
    void closePort();
    void openSelectedSource();
    void closeInput();

    const RtMidiApi api_;
    const Options options_;
    std::unique_ptr<RtMidiOut> out_;  // main thread
    std::string portName_ = "OutPort";
    EndpointRef selected_ = 0;
    EndpointRef open_ = 0;  // endpoint the port is open to, 0 when closed

    mutable std::mutex cacheMutex_;
    Listing destinations_;
    Listing sources_;

    // Input, main thread (the queue's producer is RtMidi's input thread).
    // The input object goes first, while the queue its callback writes is
    // still there.
    std::shared_ptr<WakeSignal> wake_;
    std::unique_ptr<MidiInputQueue> input_;
    std::unique_ptr<RtMidiIn> in_;
    std::string inPortName_;
    EndpointRef selectedSource_ = 0;
    EndpointRef openSource_ = 0;  // source the input port is open to, 0 when closed

    std::atomic<bool> reopenNeeded_{false};
    std::atomic<bool> inputReopenNeeded_{false};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> errors_{0};
    std::atomic<std::uint64_t> reopens_{0};

    SetupChangedRelay setupChanged_;

    std::mutex workerMutex_;
    std::condition_variable wakeup_;
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace tarnwell
