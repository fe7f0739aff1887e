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
    // The port is wired to one destination at a time, as a JACK port is:
    // bytes meant for another go nowhere.
    const bool exists = std::ranges::any_of(
        destinations_, [&](const DestinationInfo& d) { return d.endpoint == destination; });
    if (!exists || selected_ != destination) {
        return;
    }
    auto& bytes = received_[destination];
    bytes.insert(bytes.end(), messages.begin(), messages.end());
    log_.push_back(Delivery{destination, {messages.begin(), messages.end()}});
}

void LoopbackMidiService::sendRaw(std::uint32_t port, EndpointRef destination,
                                  std::span<const std::uint8_t> messages) {
    std::lock_guard lock(mutex_);
    if (failSends_ || port == 0 || port != port_) {
        return;
    }
    const bool exists = std::ranges::any_of(
        destinations_, [&](const DestinationInfo& d) { return d.endpoint == destination; });
    if (exists) {
        auto& bytes = raw_[destination];
        bytes.insert(bytes.end(), messages.begin(), messages.end());
    }
}

std::vector<DestinationInfo> LoopbackMidiService::listSources() {
    std::lock_guard lock(mutex_);
    return sources_;
}

std::uint32_t LoopbackMidiService::createInputPort(std::uint32_t client, const std::string& name,
                                                   std::shared_ptr<WakeSignal> wake) {
    std::lock_guard lock(mutex_);
    if (failPort_ || client == 0 || input_ || !wake) {
        return 0;
    }
    inputPortName_ = name;
    wake_ = std::move(wake);
    input_ = std::make_unique<MidiInputQueue>(inputCapacity_);
    input_->setWake(wake_.get());
    return 3;
}

void LoopbackMidiService::selectSource(EndpointRef source, std::uint8_t stream) {
    std::lock_guard lock(mutex_);
    selectedSource_ = source;
    if (input_) {
        input_->setStream(stream);
    }
}

std::size_t LoopbackMidiService::takeInput(MidiInputConsumer& consumer) {
    MidiInputQueue* input = nullptr;
    {
        std::lock_guard lock(mutex_);
        input = input_.get();
    }
    return input != nullptr ? input->take(consumer) : 0;
}

std::uint64_t LoopbackMidiService::droppedInput() const {
    std::lock_guard lock(mutex_);
    return input_ ? input_->dropped() : 0;
}

EndpointRef LoopbackMidiService::addSource(std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    const EndpointRef endpoint = nextEndpoint_++;
    sources_.push_back(DestinationInfo{endpoint, std::move(name)});
    return endpoint;
}

void LoopbackMidiService::removeSource(EndpointRef source) {
    std::lock_guard lock(mutex_);
    std::erase_if(sources_, [&](const DestinationInfo& d) { return d.endpoint == source; });
}

bool LoopbackMidiService::inject(EndpointRef source, std::span<const std::uint8_t> bytes,
                                 std::int64_t time) {
    std::lock_guard lock(mutex_);
    const bool present = std::ranges::any_of(
        sources_, [&](const DestinationInfo& d) { return d.endpoint == source; });
    if (!input_ || !present || source != selectedSource_) {
        return false;
    }
    const std::uint64_t before = input_->dropped();
    input_->received(time, bytes);
    return input_->dropped() == before;
}

std::optional<std::string> LoopbackMidiService::inputPortName() const {
    std::lock_guard lock(mutex_);
    return inputPortName_;
}

EndpointRef LoopbackMidiService::selectedSource() const {
    std::lock_guard lock(mutex_);
    return selectedSource_;
}

void LoopbackMidiService::setInputCapacity(std::size_t records) {
    std::lock_guard lock(mutex_);
    inputCapacity_ = records;
}

std::vector<std::uint8_t> LoopbackMidiService::rawBytesFor(EndpointRef endpoint) const {
    std::lock_guard lock(mutex_);
    const auto it = raw_.find(endpoint);
    return it == raw_.end() ? std::vector<std::uint8_t>{} : it->second;
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

void LoopbackMidiService::restoreDestination(EndpointRef endpoint,
                                             std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    std::erase_if(destinations_, [&](const DestinationInfo& d) { return d.endpoint == endpoint; });
    destinations_.push_back(DestinationInfo{endpoint, std::move(name)});
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
    raw_.clear();
    log_.clear();
}

}  // namespace tarnwell
