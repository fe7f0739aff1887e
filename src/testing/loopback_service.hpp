#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/control/midi_input.hpp"
#include "core/midi/midi_service.hpp"
#include "core/midi/setup_changed_relay.hpp"

namespace tarnwell {

// An in-memory MIDI service. Destinations are added, renamed and removed by
// the owner; every delivered message is recorded per endpoint, and in one log
// across endpoints, so tests can compare bytes on the "wire" with golden arrays.
//
// Threading: every member may be called from any thread. `notifySetupChanged`
// invokes the handler on the calling thread, as a platform service would on its
// own notification thread.
//
// Input: sources are added and removed like destinations; `inject` plays the
// part of the MIDI system's input thread, queueing bytes from a source as the
// platform would when that source is selected and an input port exists.
class LoopbackMidiService final : public MidiService {
public:
    struct Delivery {
        EndpointRef endpoint;
        std::vector<std::uint8_t> bytes;
    };

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

    // Owner controls. Adding or removing a destination does not notify by
    // itself; call notifySetupChanged, as the platform would.
    EndpointRef addDestination(std::optional<std::string> name);
    void renameDestination(EndpointRef endpoint, std::optional<std::string> name);
    void removeDestination(EndpointRef endpoint);
    // Lists again, under its old handle, a destination removed earlier: a
    // synthesizer switched off and on again on the same port.
    void restoreDestination(EndpointRef endpoint, std::optional<std::string> name);
    void notifySetupChanged();
    void setFailClientCreation(bool fail);
    void setFailPortCreation(bool fail);
    // While set, sends are dropped as a vanished device would drop them.
    void setFailSends(bool fail);

    // Sources, by the same rules as destinations (no notification by itself).
    EndpointRef addSource(std::optional<std::string> name);
    void removeSource(EndpointRef source);
    // The source sends `bytes` as one event, stamped `time` (nanoseconds on
    // the clock the caller's engine uses): queued when an input port exists
    // and `source` is the selected one, otherwise lost as on a real system.
    // Returns whether it was queued whole.
    bool inject(EndpointRef source, std::span<const std::uint8_t> bytes, std::int64_t time);
    [[nodiscard]] std::optional<std::string> inputPortName() const;
    [[nodiscard]] EndpointRef selectedSource() const;
    // Input ring size for tests of a full queue; before the input port exists.
    void setInputCapacity(std::size_t records);

    // Observations.
    [[nodiscard]] std::vector<std::uint8_t> bytesFor(EndpointRef endpoint) const;
    [[nodiscard]] std::vector<Delivery> deliveries() const;
    [[nodiscard]] std::size_t deliveryCount() const;
    [[nodiscard]] std::optional<std::string> clientName() const;
    [[nodiscard]] std::optional<std::string> portName() const;
    [[nodiscard]] std::optional<EndpointRef> selectedDestination() const;
    // What sendRaw delivered to `endpoint`, kept apart from `bytesFor` so
    // NRPN sequences still decode whole.
    [[nodiscard]] std::vector<std::uint8_t> rawBytesFor(EndpointRef endpoint) const;
    void clearRecorded();

private:
    mutable std::mutex mutex_;
    std::vector<DestinationInfo> destinations_;
    std::map<EndpointRef, std::vector<std::uint8_t>> received_;
    std::vector<Delivery> log_;
    EndpointRef nextEndpoint_ = 1001;
    std::optional<std::string> clientName_;
    std::optional<std::string> portName_;
    std::optional<EndpointRef> selected_;
    std::uint32_t port_ = 0;
    bool failClient_ = false;
    bool failPort_ = false;
    bool failSends_ = false;
    std::map<EndpointRef, std::vector<std::uint8_t>> raw_;

    std::vector<DestinationInfo> sources_;
    std::optional<std::string> inputPortName_;
    EndpointRef selectedSource_ = 0;
    std::size_t inputCapacity_ = 4096;
    std::shared_ptr<WakeSignal> wake_;
    std::unique_ptr<MidiInputQueue> input_;

    SetupChangedRelay setupChanged_;
};

}  // namespace tarnwell
