#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

    // Owner controls. Adding or removing a destination does not notify by
    // itself; call notifySetupChanged, as the platform would.
    EndpointRef addDestination(std::optional<std::string> name);
    void renameDestination(EndpointRef endpoint, std::optional<std::string> name);
    void removeDestination(EndpointRef endpoint);
    void notifySetupChanged();
    void setFailClientCreation(bool fail);
    void setFailPortCreation(bool fail);
    // While set, sends are dropped as a vanished device would drop them.
    void setFailSends(bool fail);

    // Observations.
    [[nodiscard]] std::vector<std::uint8_t> bytesFor(EndpointRef endpoint) const;
    [[nodiscard]] std::vector<Delivery> deliveries() const;
    [[nodiscard]] std::size_t deliveryCount() const;
    [[nodiscard]] std::optional<std::string> clientName() const;
    [[nodiscard]] std::optional<std::string> portName() const;
    [[nodiscard]] std::optional<EndpointRef> selectedDestination() const;
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

    SetupChangedRelay setupChanged_;
};

}  // namespace tarnwell
