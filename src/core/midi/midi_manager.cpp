#include "core/midi/midi_manager.hpp"

#include <algorithm>
#include <utility>

#include "core/base/main_queue.hpp"
#include "core/midi/nrpn.hpp"

namespace tarnwell {

std::shared_ptr<MidiManager> MidiManager::create(std::shared_ptr<MidiService> service,
                                                 MainQueue& queue) {
    if (!service) {
        service = std::make_shared<NullMidiService>();
    }
    std::shared_ptr<MidiManager> manager(new MidiManager(std::move(service), queue));
    manager->setupMIDI();
    manager->refreshDestinations();
    return manager;
}

MidiManager::MidiManager(std::shared_ptr<MidiService> service, MainQueue& queue)
    : service_(std::move(service)), queue_(queue) {}

MidiManager::~MidiManager() {
    service_->setSetupChangedHandler({});
}

void MidiManager::setupMIDI() {
    midiClient_ = service_->createClient(kClientName);
    if (midiClient_ == 0) {
        return;
    }
    outPort_ = service_->createOutputPort(midiClient_, kOutPortName);

    // Runs on the service's notification thread: only posts.
    std::weak_ptr<MidiManager> weak = weak_from_this();
    MainQueue* queue = &queue_;
    auto pending = refreshPending_;
    service_->setSetupChangedHandler([weak, queue, pending] {
        if (pending->exchange(true)) {
            return;
        }
        queue->post([weak, pending] {
            pending->store(false);
            if (auto manager = weak.lock()) {
                manager->refreshDestinations();
            }
        });
    });
}

void MidiManager::refreshDestinations() {
    std::vector<DestinationInfo> entries;
    for (auto& d : service_->listDestinations()) {
        if (d.name) {
            entries.push_back(std::move(d));
        }
    }
    const bool listChanged = entries != entries_;
    const std::vector<DestinationInfo> previous = std::exchange(entries_, std::move(entries));
    if (listChanged) {
        names_.clear();
        names_.reserve(entries_.size());
        for (const auto& d : entries_) {
            names_.push_back(*d.name);
        }
        changed.emit(MidiManagerChange::destinations);
    }
    followConnectedDestination(previous);
}

void MidiManager::followConnectedDestination(const std::vector<DestinationInfo>& previous) {
    if (!connectedEndpoint_) {
        return;
    }
    const auto byEndpoint = std::ranges::find_if(
        entries_, [&](const DestinationInfo& d) { return d.endpoint == *connectedEndpoint_; });
    if (byEndpoint != entries_.end()) {
        if (!connectedAvailable_ || byEndpoint->name != connectedDeviceName_) {
            connectedDeviceName_ = byEndpoint->name;
            connectedAvailable_ = true;
            changed.emit(MidiManagerChange::connection);
        }
        return;
    }
    // Only a destination that has just appeared can be the vanished one come
    // back; another of the same name that was there all along is not taken.
    const auto cameBack = [&](const DestinationInfo& d) {
        return d.name == connectedDeviceName_ &&
               std::ranges::none_of(
                   previous, [&](const DestinationInfo& p) { return p.endpoint == d.endpoint; });
    };
    if (std::ranges::count_if(entries_, cameBack) == 1) {
        const auto byName = std::ranges::find_if(entries_, cameBack);
        connect(*byName->name, byName->endpoint);
        return;
    }
    if (connectedAvailable_) {
        connectedAvailable_ = false;
        changed.emit(MidiManagerChange::connection);
    }
}

std::optional<EndpointRef> MidiManager::endpointAt(std::int64_t index) const {
    if (index < 0 || static_cast<std::uint64_t>(index) >= entries_.size()) {
        return std::nullopt;
    }
    return entries_[static_cast<std::size_t>(index)].endpoint;
}

void MidiManager::connectToDestination(std::int64_t index) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= entries_.size()) {
        return;
    }
    const DestinationInfo& entry = entries_[static_cast<std::size_t>(index)];
    std::weak_ptr<MidiManager> weak = weak_from_this();
    queue_.post([weak, name = *entry.name, endpoint = entry.endpoint] {
        if (auto manager = weak.lock()) {
            manager->connect(name, endpoint);
        }
    });
}

void MidiManager::connect(const std::string& name, EndpointRef endpoint) {
    connectedDeviceName_ = name;
    connectedEndpoint_ = endpoint;
    connectedAvailable_ = std::ranges::any_of(
        entries_, [&](const DestinationInfo& d) { return d.endpoint == endpoint; });
    service_->selectDestination(endpoint);
    changed.emit(MidiManagerChange::connection);
}

void MidiManager::sendNRPN(std::int64_t value, std::int64_t parameter, int channel,
                           EndpointRef destination) {
    if (outPort_ == 0) {
        return;
    }
    const NrpnBytes bytes = encodeNRPN(value, parameter, channel);
    service_->send(outPort_, destination, bytes);
}

void MidiManager::sendToConnected(std::int64_t value, std::int64_t parameter) {
    if (const auto endpoint = connectedEndpoint_) {
        sendNRPN(value, parameter, 0, *endpoint);
    }
}

}  // namespace tarnwell
