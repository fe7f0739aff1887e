#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/midi/midi_service.hpp"
#include "core/midi/setup_changed_relay.hpp"

namespace tarnwell {

// Several MIDI services shown as one: their destinations and sources in one
// list each (each backend's in its own order, backends in the order given),
// sends and selection routed to the backend that owns the endpoint, and every
// backend's setup change forwarded. Input: every backend gets an input port
// and the one wake signal; a source selected on one backend deselects the
// others', and input is taken from all of them (each backend keeps its own
// queue, so each has one producer).
//
// Endpoint handles are namespaced: the top 8 bits hold the backend's position
// plus one, the low 24 bits the backend's own handle. A backend handle that
// does not fit in 24 bits (or is 0) is not listed. Names pass through
// unchanged.
//
// Threading: as MidiService. The forwarded setup-changed handler runs on
// whatever thread the backend calls it.
class CompositeMidiService final : public MidiService {
public:
    static constexpr std::size_t kMaxBackends = 255;

    // Null entries and backends beyond kMaxBackends are ignored.
    explicit CompositeMidiService(std::vector<std::shared_ptr<MidiService>> backends);
    ~CompositeMidiService() override;
    CompositeMidiService(const CompositeMidiService&) = delete;
    CompositeMidiService& operator=(const CompositeMidiService&) = delete;

    // Succeeds when at least one backend succeeds.
    std::uint32_t createClient(const std::string& name) override;
    std::uint32_t createOutputPort(std::uint32_t client, const std::string& name) override;
    std::vector<DestinationInfo> listDestinations() override;
    void selectDestination(EndpointRef endpoint) override;
    void send(std::uint32_t port, EndpointRef destination,
              std::span<const std::uint8_t> messages) override;
    // Drains the backends in turn within one shared bound.
    void drain(std::chrono::milliseconds bound) override;
    void setSetupChangedHandler(SetupChangedHandler handler) override;
    void sendRaw(std::uint32_t port, EndpointRef destination,
                 std::span<const std::uint8_t> messages) override;
    std::vector<DestinationInfo> listSources() override;
    // Succeeds when at least one backend succeeds.
    std::uint32_t createInputPort(std::uint32_t client, const std::string& name,
                                  std::shared_ptr<WakeSignal> wake) override;
    void selectSource(EndpointRef source, std::uint8_t stream) override;
    std::size_t takeInput(MidiInputConsumer& consumer) override;
    [[nodiscard]] std::uint64_t droppedInput() const override;

    // The namespacing, exposed for tests and diagnostics.
    [[nodiscard]] static EndpointRef compose(std::size_t backend, EndpointRef inner);
    struct Owner {
        std::size_t backend;
        EndpointRef inner;
    };
    [[nodiscard]] std::optional<Owner> owner(EndpointRef endpoint) const;

private:
    struct Backend {
        std::shared_ptr<MidiService> service;
        std::uint32_t client = 0;
        std::uint32_t port = 0;
        std::uint32_t inPort = 0;
    };
    static constexpr std::uint32_t kHandle = 1;
    using Lister = std::vector<DestinationInfo> (MidiService::*)();
    using Sender = void (MidiService::*)(std::uint32_t, EndpointRef, std::span<const std::uint8_t>);

    // Every backend's list, endpoints composed with the backend's index.
    std::vector<DestinationInfo> listAll(Lister list);
    // Hands `messages` to the backend owning `destination` through `sendTo`.
    void forward(Sender sendTo, std::uint32_t port, EndpointRef destination,
                 std::span<const std::uint8_t> messages);

    std::vector<Backend> backends_;
    SetupChangedRelay setupChanged_;
};

}  // namespace tarnwell
