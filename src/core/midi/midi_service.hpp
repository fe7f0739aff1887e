#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwell {

class MidiInputConsumer;
class WakeSignal;

// A destination handle. Stable for as long as the destination exists in its
// service; a service never reuses the handle of a vanished destination for a
// destination of another name.
using EndpointRef = std::uint32_t;

struct DestinationInfo {
    EndpointRef endpoint = 0;
    // Absent when the service cannot read a name for the destination.
    std::optional<std::string> name;

    friend bool operator==(const DestinationInfo&, const DestinationInfo&) = default;
};

// How long quitting waits for MIDI already sent to leave the program (the
// bound the application gives `MidiService::drain`).
inline constexpr std::chrono::milliseconds kQuitDrainBound{200};

// The platform MIDI layer: a client with one output port, the destinations it
// can reach, and delivery of whole control-change sequences; optionally one
// input port taking the messages of one chosen source (a hardware
// controller), created only when asked for.
//
// Threading: every member is called on the main thread, except that the
// setup-changed handler may be invoked on any thread. No member but `drain`
// blocks for longer than a local system call: a service whose MIDI system is
// slow or gone drops what it cannot deliver at once.
class MidiService {
public:
    using SetupChangedHandler = std::function<void()>;

    virtual ~MidiService() = default;

    // Registers the client under `name`. Returns a non-zero handle on success.
    virtual std::uint32_t createClient(const std::string& name) = 0;
    // Creates the output port of `client`. Returns a non-zero handle on success.
    virtual std::uint32_t createOutputPort(std::uint32_t client, const std::string& name) = 0;

    // The destinations as the service currently knows them, in its own order.
    virtual std::vector<DestinationInfo> listDestinations() = 0;

    // Tells the service which destination the panel now sends to, so services
    // that route by connection (JACK) can wire their port. Sends to other
    // endpoints may still arrive and must be handled or dropped.
    virtual void selectDestination(EndpointRef endpoint) { (void)endpoint; }

    // Delivers `messages`, a whole number of 3-byte channel messages, to
    // `destination` through `port`, in order and without interleaving with other
    // calls. Returns at once; a message that cannot be delivered is dropped.
    virtual void send(std::uint32_t port, EndpointRef destination,
                      std::span<const std::uint8_t> messages) = 0;

    // Delivers `messages`, one or more complete MIDI messages of 1 to 3 bytes
    // (channel, system common or real-time messages, never system-exclusive),
    // unchanged and each as its own message, to `destination` through
    // `port`, in order with `send`. For messages passed on from a controller.
    // Returns at once; what cannot be delivered is dropped. A service without
    // this path drops them all.
    virtual void sendRaw(std::uint32_t port, EndpointRef destination,
                         std::span<const std::uint8_t> messages) {
        (void)port;
        (void)destination;
        (void)messages;
    }

    // --- Input ----------------------------------------------------------
    // The sources input can come from (other programs' and devices' MIDI
    // outputs), in the service's own order; handles and names follow the
    // rules of destinations. Listed whether or not an input port exists.
    // Changes are reported through the setup-changed handler too.
    virtual std::vector<DestinationInfo> listSources() { return {}; }
    // Creates the input port of `client` under `name`. From then on the
    // input of the selected source is queued for `takeInput`, and `wake` is
    // notified (from the service's input thread) whenever input arrives while
    // none was waiting; the service keeps it for as long as it may notify it.
    // Returns a non-zero handle on success; once.
    virtual std::uint32_t createInputPort(std::uint32_t client, const std::string& name,
                                          std::shared_ptr<WakeSignal> wake) {
        (void)client;
        (void)name;
        (void)wake;
        return 0;
    }
    // Takes input from `source` only (0: from none), marking its records with
    // `stream`. The service keeps the source wired when it comes back after
    // vanishing, as it does the destination.
    virtual void selectSource(EndpointRef source, std::uint8_t stream) {
        (void)source;
        (void)stream;
    }
    // Main thread: hands every input record queued so far to `consumer`, in
    // order. Returns how many.
    virtual std::size_t takeInput(MidiInputConsumer& consumer) {
        (void)consumer;
        return 0;
    }
    // Input events lost so far because the main thread did not take them in
    // time (any thread).
    [[nodiscard]] virtual std::uint64_t droppedInput() const { return 0; }

    // Waits until what `send` has accepted has been handed to the MIDI system,
    // or until `bound` has passed, whichever comes first; never longer, except
    // that a system that delivers in cycles is given a few of its cycles when
    // they are longer than `bound` (else a long period loses the last). Called
    // as the program ends, before the service goes. The one member that may
    // wait; a service that delivers within `send` has nothing to wait for.
    virtual void drain(std::chrono::milliseconds bound) { (void)bound; }

    // Installs the handler for "the set of destinations may have changed".
    // After a call with an empty handler returns, the previous handler is not
    // running and will not be called again.
    virtual void setSetupChangedHandler(SetupChangedHandler handler) = 0;
};

// The service used when no MIDI system is available: no client, no
// destinations, every send dropped.
class NullMidiService final : public MidiService {
public:
    std::uint32_t createClient(const std::string&) override { return 0; }
    std::uint32_t createOutputPort(std::uint32_t, const std::string&) override { return 0; }
    std::vector<DestinationInfo> listDestinations() override { return {}; }
    void send(std::uint32_t, EndpointRef, std::span<const std::uint8_t>) override {}
    void setSetupChangedHandler(SetupChangedHandler) override {}
};

}  // namespace tarnwell
