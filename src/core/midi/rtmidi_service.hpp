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

#include "core/midi/midi_service.hpp"
#include "core/midi/setup_changed_relay.hpp"

class RtMidiOut;

namespace tarnwell {

// The MIDI systems reached through RtMidi. `jack` exists for tests and
// measurements only: RtMidi's JACK output spins forever in a send when nothing
// drains its buffer, so the panel talks to JACK through JackMidiService.
enum class RtMidiApi { alsa, jack, coreMidi, windowsMM };

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

    [[nodiscard]] Counters counters() const;

private:
    struct Port {
        std::string key;  // name plus occurrence, what a handle belongs to
        std::string name;
        unsigned index = 0;
    };
    static constexpr std::uint32_t kHandle = 1;

    void poll();
    std::vector<Port> readPorts(RtMidiOut& out) const;
    EndpointRef handleForLocked(const std::string& key);
    void openSelected();
    void reopenIfRestarted();
    void closePort();

    const RtMidiApi api_;
    const Options options_;
    std::unique_ptr<RtMidiOut> out_;  // main thread
    std::string portName_ = "OutPort";
    EndpointRef selected_ = 0;
    EndpointRef open_ = 0;  // endpoint the port is open to, 0 when closed

    mutable std::mutex cacheMutex_;
    std::vector<DestinationInfo> destinations_;
    std::map<std::string, EndpointRef> handles_;
    std::map<EndpointRef, std::string> keys_;
    EndpointRef nextHandle_ = 1;
    EndpointRef watched_ = 0;  // selected endpoint, as the worker sees it
    bool watchedMissing_ = false;

    std::atomic<bool> reopenNeeded_{false};
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
