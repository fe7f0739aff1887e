#include "core/midi/midi_manager.hpp"

#include <algorithm>
#include <utility>

#include "core/base/main_queue.hpp"
#include "core/midi/nrpn.hpp"

namespace tarnwell {

std::shared_ptr<MidiManager> MidiManager::create(std::shared_ptr<MidiService> service,
                                                 MainQueue& queue, const TimeSource& clock) {
    if (!service) {
        service = std::make_shared<NullMidiService>();
    }
    std::shared_ptr<MidiManager> manager(new MidiManager(std::move(service), queue, clock));
    manager->setupMIDI();
    manager->refreshDestinations();
    return manager;
}

MidiManager::MidiManager(std::shared_ptr<MidiService> service, MainQueue& queue,
                         const TimeSource& clock)
    : service_(std::move(service)), queue_(queue), clock_(clock) {}

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
    refreshSources();
}

void MidiManager::refreshSources() {
    std::vector<DestinationInfo> sources;
    for (auto& s : service_->listSources()) {
        if (s.name) {
            sources.push_back(std::move(s));
        }
    }
    if (sources != sources_) {
        sources_ = std::move(sources);
        sourcesChanged.emit();
    }
}

bool MidiManager::openInput(const std::shared_ptr<WakeSignal>& wake) {
    if (inPort_ == 0 && midiClient_ != 0) {
        inPort_ = service_->createInputPort(midiClient_, kInPortName, wake);
    }
    return inPort_ != 0;
}

void MidiManager::selectSource(EndpointRef source, std::uint8_t stream) {
    if (inPort_ != 0) {
        service_->selectSource(source, stream);
    }
}

std::size_t MidiManager::takeInput(MidiInputConsumer& consumer) {
    return inPort_ != 0 ? service_->takeInput(consumer) : 0;
}

void MidiManager::sendRawToConnected(std::span<const std::uint8_t> messages) {
    if (outPort_ != 0 && connectedEndpoint_) {
        service_->sendRaw(outPort_, *connectedEndpoint_, messages);
    }
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
            updatePacing();
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

std::optional<std::string> MidiManager::destinationName(EndpointRef endpoint) const {
    const auto it = std::ranges::find_if(
        entries_, [&](const DestinationInfo& d) { return d.endpoint == endpoint; });
    if (it != entries_.end()) {
        return it->name;
    }
    if (connectedEndpoint_ == endpoint) {
        return connectedDeviceName_;
    }
    return std::nullopt;
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
    // What was held back for the previous destination goes there first, in
    // stream order, before the service is told of the new one.
    if (pacer_ && pacedEndpoint_ != endpoint) {
        flushPaced();
    }
    connectedDeviceName_ = name;
    connectedEndpoint_ = endpoint;
    connectedAvailable_ = std::ranges::any_of(
        entries_, [&](const DestinationInfo& d) { return d.endpoint == endpoint; });
    service_->selectDestination(endpoint);
    updatePacing();
    changed.emit(MidiManagerChange::connection);
}

void MidiManager::sendNRPN(std::int64_t value, std::int64_t parameter, int channel,
                           EndpointRef destination, SendOrigin origin) {
    if (outPort_ == 0) {
        return;
    }
    if (hooked_) [[unlikely]] {
        sendObserved(SentSequence{clock_.now(), destination, parameter, value, origin}, channel);
        return;
    }
    const NrpnBytes bytes = encodeNRPN(value, parameter, channel);
    service_->send(outPort_, destination, bytes);
    ++sentSequences_;
}

void MidiManager::sendToConnected(std::int64_t value, std::int64_t parameter, SendOrigin origin) {
    if (origin == SendOrigin::hand) {
        origin = handOrigin_;
    }
    if (const auto endpoint = connectedEndpoint_) {
        sendNRPN(value, parameter, 0, *endpoint, origin);
    }
}

void MidiManager::sendObserved(const SentSequence& sequence, int channel) {
    // The pacer holds channel-0 sequences to the paced destination only; the
    // panel sends nothing else.
    if (pacer_ && sequence.destination == pacedEndpoint_ && channel == 0) {
        pacer_->offer(sequence);
        releasePaced();
        return;
    }
    deliver(sequence, channel);
}

void MidiManager::deliver(const SentSequence& sequence, int channel) {
    const NrpnBytes bytes = encodeNRPN(sequence.value, sequence.number, channel);
    service_->send(outPort_, sequence.destination, bytes);
    ++sentSequences_;
    // An observer may remove itself while being told; the next one then
    // moves into its place and is told too.
    for (std::size_t i = 0; i < observers_.size();) {
        SendObserver* observer = observers_[i];
        observer->sequenceSent(sequence);
        if (i < observers_.size() && observers_[i] == observer) {
            ++i;
        }
    }
}

void MidiManager::releasePaced() {
    if (!pacer_) {
        return;
    }
    const auto now = clock_.now();
    while (auto next = pacer_->release(now)) {
        next->time = now;
        deliver(*next, 0);
    }
    const auto due = pacer_->nextRelease();
    if (!due || releaseArmed_) {
        return;
    }
    releaseArmed_ = true;
    const auto delay = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
    std::weak_ptr<MidiManager> weak = weak_from_this();
    queue_.postAfter(std::max(delay, std::chrono::milliseconds(0)), [weak] {
        if (auto manager = weak.lock()) {
            manager->releaseArmed_ = false;
            manager->releasePaced();
        }
    });
}

void MidiManager::flushPaced() {
    if (!pacer_) {
        return;
    }
    const auto now = clock_.now();
    for (SentSequence& sequence : pacer_->takeAll()) {
        sequence.time = now;
        deliver(sequence, 0);
    }
}

void MidiManager::addSendObserver(SendObserver* observer) {
    if (observer != nullptr && std::ranges::find(observers_, observer) == observers_.end()) {
        observers_.push_back(observer);
    }
    updateHooked();
}

void MidiManager::removeSendObserver(SendObserver* observer) {
    std::erase(observers_, observer);
    updateHooked();
}

void MidiManager::setLinkChoices(LinkChoices choices) {
    if (choices == linkChoices_) {
        return;
    }
    linkChoices_ = std::move(choices);
    updatePacing();
    changed.emit(MidiManagerChange::link);
}

LinkSpeed MidiManager::connectedLinkSpeed() const {
    return connectedDeviceName_ ? linkChoices_.speedOf(*connectedDeviceName_)
                                : LinkSpeed::softwareUsb;
}

void MidiManager::updatePacing() {
    const bool wanted =
        linkChoices_.dinPacing && connectedEndpoint_ && connectedLinkSpeed() == LinkSpeed::din;
    if (pacer_ && (!wanted || pacedEndpoint_ != *connectedEndpoint_)) {
        flushPaced();
        pacer_.reset();
    }
    if (wanted && !pacer_) {
        pacer_.emplace(kDinPacedBytesPerSecond, controlOf_);
        pacedEndpoint_ = *connectedEndpoint_;
    }
    updateHooked();
}

}  // namespace tarnwell
