#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/base/signal.hpp"
#include "core/base/time_source.hpp"
#include "core/midi/din_pacer.hpp"
#include "core/midi/link_speed.hpp"
#include "core/midi/midi_service.hpp"
#include "core/midi/sent_sequence.hpp"

namespace tarnwell {

class MainQueue;
class MidiInputConsumer;
class WakeSignal;

enum class MidiManagerChange {
    destinations,  // `destinations` was rebuilt with different contents
    connection,    // `connectedDeviceName`, `connectedEndpoint` or availability changed
    link,          // `linkChoices` changed
};

// The panel's single MIDI output: the client and port registered with the
// service, the destinations it lists, and the destination the panel sends to.
//
// Threading: main thread only, apart from the service's setup-changed
// notification, which only posts a refresh to the main queue. Bursts of
// notifications are merged into one refresh.
//
// Connection: a destination is chosen by its position in `destinations`, and
// takes effect in a task posted to the main queue, so a send made in the same
// turn still goes to the previous endpoint. When the connected destination
// disappears from the service, the name stays and the manager reports it as
// unavailable; when one destination of that name appears again, the manager
// connects to it by itself. A destination of the same name that was listed all
// along is never taken for it, and where two of that name appear at once the
// choice is left to the user.
//
// Pacing: while `linkChoices` marks the connected destination's name as a DIN
// link and DIN pacing is on, sends to it pass through a `DinPacer`, and the
// sequences it holds back leave from tasks posted after a delay to the main
// queue. Leaving that destination (or turning pacing off) sends what is still
// held at once, so nothing is lost and nothing goes to the next destination.
// With pacing off and no observer, a send costs what it did without them.
class MidiManager : public std::enable_shared_from_this<MidiManager> {
public:
    static constexpr const char* kClientName = "MidiClient";
    static constexpr const char* kOutPortName = "OutPort";
    static constexpr const char* kInPortName = "InPort";

    // Creates the manager, registers the client and output port and lists the
    // destinations. `queue` and `clock` must outlive the manager.
    static std::shared_ptr<MidiManager> create(std::shared_ptr<MidiService> service,
                                               MainQueue& queue,
                                               const TimeSource& clock = steadyTime());
    ~MidiManager();
    MidiManager(const MidiManager&) = delete;
    MidiManager& operator=(const MidiManager&) = delete;

    [[nodiscard]] std::uint32_t outPort() const { return outPort_; }

    [[nodiscard]] const std::optional<std::string>& connectedDeviceName() const {
        return connectedDeviceName_;
    }
    [[nodiscard]] std::optional<EndpointRef> connectedEndpoint() const {
        return connectedEndpoint_;
    }
    // False while the connected destination is missing from the service.
    [[nodiscard]] bool connectedDestinationAvailable() const { return connectedAvailable_; }
    [[nodiscard]] const std::vector<std::string>& destinations() const { return names_; }
    // The endpoint of row `index` of `destinations`; names need not be unique.
    [[nodiscard]] std::optional<EndpointRef> endpointAt(std::int64_t index) const;

    // The name of `endpoint`: as listed, or the connected destination's name.
    [[nodiscard]] std::optional<std::string> destinationName(EndpointRef endpoint) const;

    void setupMIDI();
    void refreshDestinations();
    // Connects to the destination at `index` of `destinations`; an index
    // outside the list does nothing.
    void connectToDestination(std::int64_t index);

    // --- Input (a hardware controller) -----------------------------------
    // The named sources of the service, in its order; rebuilt with the
    // destinations whenever the service reports a change.
    [[nodiscard]] const std::vector<DestinationInfo>& sources() const { return sources_; }
    // Creates the input port ("InPort") on the panel's client, once; `wake`
    // is notified from the service's input thread when input arrives (the
    // service keeps it while it may). Returns whether the port exists.
    bool openInput(const std::shared_ptr<WakeSignal>& wake);
    [[nodiscard]] std::uint32_t inPort() const { return inPort_; }
    // Takes input from `source` (0: none), its records marked `stream`.
    void selectSource(EndpointRef source, std::uint8_t stream);
    // Main thread: every input record queued so far, in order.
    std::size_t takeInput(MidiInputConsumer& consumer);
    [[nodiscard]] std::uint64_t droppedInput() const { return service_->droppedInput(); }
    // Passes whole messages (not system-exclusive) on to the connected
    // destination unchanged, after what was sent before them. Not paced and
    // not shown to send observers: the monitor shows the panel's own
    // sequences. Nothing happens while no destination is connected.
    void sendRawToConnected(std::span<const std::uint8_t> messages);
    // Told after every change of `sources`.
    Signal<> sourcesChanged;

    // --- Origin of hand sends ---------------------------------------------
    // While one exists, sends asked for as SendOrigin::hand go out as
    // `origin` instead: edits made from a hardware controller run through the
    // same operations as the mouse's and are told apart here. Scopes nest;
    // main thread only.
    class OriginScope {
    public:
        OriginScope(MidiManager& manager, SendOrigin origin)
            : manager_(manager), previous_(std::exchange(manager.handOrigin_, origin)) {}
        ~OriginScope() { manager_.handOrigin_ = previous_; }
        OriginScope(const OriginScope&) = delete;
        OriginScope& operator=(const OriginScope&) = delete;

    private:
        MidiManager& manager_;
        SendOrigin previous_;
    };
    // What a hand send counts as right now.
    [[nodiscard]] SendOrigin handOrigin() const { return handOrigin_; }

    // Sends one NRPN sequence through the output port. Silent on failure.
    void sendNRPN(std::int64_t value, std::int64_t parameter, int channel, EndpointRef destination,
                  SendOrigin origin = SendOrigin::hand);
    // Reads `connectedEndpoint` and sends one sequence on channel 0 to it; does
    // nothing while no destination is connected.
    void sendToConnected(std::int64_t value, std::int64_t parameter,
                         SendOrigin origin = SendOrigin::hand);

    // Sequences handed to the service so far (after pacing), for meters that
    // sample it; counting is all the send path does for them.
    [[nodiscard]] std::uint64_t sentSequences() const { return sentSequences_; }
    // Observers see every sequence handed to the service. An observer must be
    // removed before it is destroyed.
    void addSendObserver(SendObserver* observer);
    void removeSendObserver(SendObserver* observer);

    [[nodiscard]] const LinkChoices& linkChoices() const { return linkChoices_; }
    // Which NRPN numbers are one control, so pacing keeps the latest state
    // of a switch rather than of each of its numbers. Set before sending.
    void setControlOf(DinPacer::ControlOf controlOf) { controlOf_ = controlOf; }
    void setLinkChoices(LinkChoices choices);
    // The link speed chosen for the connected destination's name.
    [[nodiscard]] LinkSpeed connectedLinkSpeed() const;
    [[nodiscard]] bool pacingActive() const { return pacer_.has_value(); }
    // Sequences the pacer holds back right now.
    [[nodiscard]] std::size_t pacedBacklog() const { return pacer_ ? pacer_->keptCount() : 0; }

    Signal<MidiManagerChange> changed;

private:
    MidiManager(std::shared_ptr<MidiService> service, MainQueue& queue, const TimeSource& clock);
    void connect(const std::string& name, EndpointRef endpoint);
    void followConnectedDestination(const std::vector<DestinationInfo>& previous);
    void sendObserved(const SentSequence& sequence, int channel);
    void deliver(const SentSequence& sequence, int channel);
    void releasePaced();
    // Starts, keeps or ends pacing after a change of connection or choices.
    void updatePacing();
    void flushPaced();
    void updateHooked() { hooked_ = !observers_.empty() || pacer_.has_value(); }
    void refreshSources();

    std::shared_ptr<MidiService> service_;
    MainQueue& queue_;
    const TimeSource& clock_;
    std::uint32_t midiClient_ = 0;
    std::uint32_t outPort_ = 0;
    std::uint32_t inPort_ = 0;
    std::vector<DestinationInfo> sources_;
    SendOrigin handOrigin_ = SendOrigin::hand;
    std::optional<std::string> connectedDeviceName_;
    std::optional<EndpointRef> connectedEndpoint_;
    bool connectedAvailable_ = false;
    std::vector<DestinationInfo> entries_;  // named destinations, as listed
    std::vector<std::string> names_;
    // The send path's only extra test: an observer or a pacer is present.
    bool hooked_ = false;
    std::uint64_t sentSequences_ = 0;
    std::vector<SendObserver*> observers_;
    LinkChoices linkChoices_;
    std::optional<DinPacer> pacer_;
    DinPacer::ControlOf controlOf_ = &DinPacer::eachNumberItsOwn;
    EndpointRef pacedEndpoint_ = 0;
    bool releaseArmed_ = false;
    std::shared_ptr<std::atomic<bool>> refreshPending_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace tarnwell
