#include "testing/loopback_service.hpp"

#include <algorithm>
#include <utility>

namespace tarnwell {

std::uint32_t LoopbackMidiService::createClient(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (failClient_) {
        return 0;
    }
    clientName_ = name;
    return 1;
}

std::uint32_t LoopbackMidiService::createOutputPort(std::uint32_t client, const std::string& name) {
    std::lock_guard lock(mutex_);
    if (failPort_ || client == 0) {
        return 0;
    }
    portName_ = name;
    port_ = 2;
    return port_;
}

std::vector<DestinationInfo> LoopbackMidiService::listDestinations() {
    std::lock_guard lock(mutex_);
    return destinations_;
}

void LoopbackMidiService::selectDestination(EndpointRef endpoint) {
    std::lock_guard lock(mutex_);
    selected_ = endpoint;
}

void LoopbackMidiService::send(std::uint32_t port, EndpointRef destination,
                               std::span<const std::uint8_t> messages) {
    std::lock_guard lock(mutex_);
    if (failSends_ || port == 0 || port != port_) {
        return;
    }
    const bool exists = std::ranges::any_of(
        destinations_, [&](const DestinationInfo& d) { return d.endpoint == destination; });
    if (!exists) {
        return;
    }
    auto& bytes = received_[destination];
    bytes.insert(bytes.end(), messages.begin(), messages.end());
    log_.push_back(Delivery{destination, {messages.begin(), messages.end()}});
}

void LoopbackMidiService::setSetupChangedHandler(SetupChangedHandler handler) {
    setupChanged_.set(std::move(handler));
}

EndpointRef LoopbackMidiService::addDestination(std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    const EndpointRef endpoint = nextEndpoint_++;
    destinations_.push_back(DestinationInfo{endpoint, std::move(name)});
    return endpoint;
}

void LoopbackMidiService::renameDestination(EndpointRef endpoint, std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    for (auto& d : destinations_) {
        if (d.endpoint == endpoint) {
            d.name = std::move(name);
        }
    }
}

void LoopbackMidiService::removeDestination(EndpointRef endpoint) {
    std::lock_guard lock(mutex_);
    std::erase_if(destinations_, [&](const DestinationInfo& d) { return d.endpoint == endpoint; });
}

void LoopbackMidiService::notifySetupChanged() {
    setupChanged_.notify();
}

void LoopbackMidiService::setFailClientCreation(bool fail) {
    std::lock_guard lock(mutex_);
    failClient_ = fail;
}

void LoopbackMidiService::setFailPortCreation(bool fail) {
    std::lock_guard lock(mutex_);
    failPort_ = fail;
}

void LoopbackMidiService::setFailSends(bool fail) {
    std::lock_guard lock(mutex_);
    failSends_ = fail;
}

std::vector<std::uint8_t> LoopbackMidiService::bytesFor(EndpointRef endpoint) const {
    std::lock_guard lock(mutex_);
    const auto it = received_.find(endpoint);
    return it == received_.end() ? std::vector<std::uint8_t>{} : it->second;
}

std::vector<LoopbackMidiService::Delivery> LoopbackMidiService::deliveries() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::size_t LoopbackMidiService::deliveryCount() const {
    std::lock_guard lock(mutex_);
    return log_.size();
}

std::optional<std::string> LoopbackMidiService::clientName() const {
    std::lock_guard lock(mutex_);
    return clientName_;
}

std::optional<std::string> LoopbackMidiService::portName() const {
    std::lock_guard lock(mutex_);
    return portName_;
}

std::optional<EndpointRef> LoopbackMidiService::selectedDestination() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

void LoopbackMidiService::clearRecorded() {
    std::lock_guard lock(mutex_);
    received_.clear();
    log_.clear();
}

}  // namespace tarnwell
