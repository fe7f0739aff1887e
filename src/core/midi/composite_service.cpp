#include "core/midi/composite_service.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tarnwell {

namespace {
constexpr EndpointRef kInnerMask = 0xFFFFFF;
constexpr unsigned kBackendShift = 24;
}  // namespace

CompositeMidiService::CompositeMidiService(std::vector<std::shared_ptr<MidiService>> backends) {
    for (auto& service : backends) {
        if (service && backends_.size() < kMaxBackends) {
            backends_.push_back(Backend{std::move(service)});
        }
    }
    for (auto& backend : backends_) {
        backend.service->setSetupChangedHandler([this] { setupChanged_.notify(); });
    }
}

CompositeMidiService::~CompositeMidiService() {
    // Once this returns for every backend, no forwarding call is in flight.
    for (auto& backend : backends_) {
        backend.service->setSetupChangedHandler({});
    }
}

void CompositeMidiService::drain(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (auto& backend : backends_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        backend.service->drain(std::max(left, std::chrono::milliseconds(0)));
    }
}

EndpointRef CompositeMidiService::compose(std::size_t backend, EndpointRef inner) {
    return (static_cast<EndpointRef>(backend + 1) << kBackendShift) | (inner & kInnerMask);
}

std::optional<CompositeMidiService::Owner> CompositeMidiService::owner(EndpointRef endpoint) const {
    const std::size_t tag = endpoint >> kBackendShift;
    const EndpointRef inner = endpoint & kInnerMask;
    if (tag == 0 || tag > backends_.size() || inner == 0) {
        return std::nullopt;
    }
    return Owner{tag - 1, inner};
}

std::uint32_t CompositeMidiService::createClient(const std::string& name) {
    bool any = false;
    for (auto& backend : backends_) {
        backend.client = backend.service->createClient(name);
        any = any || backend.client != 0;
    }
    return any ? kHandle : 0;
}

std::uint32_t CompositeMidiService::createOutputPort(std::uint32_t client,
                                                     const std::string& name) {
    if (client != kHandle) {
        return 0;
    }
    bool any = false;
    for (auto& backend : backends_) {
        if (backend.client != 0) {
            backend.port = backend.service->createOutputPort(backend.client, name);
            any = any || backend.port != 0;
        }
    }
    return any ? kHandle : 0;
}

std::vector<DestinationInfo> CompositeMidiService::listAll(Lister list) {
    std::vector<DestinationInfo> all;
    for (std::size_t i = 0; i < backends_.size(); ++i) {
        for (auto& d : (*backends_[i].service.*list)()) {
            if (d.endpoint != 0 && d.endpoint <= kInnerMask) {
                all.push_back(DestinationInfo{compose(i, d.endpoint), std::move(d.name)});
            }
        }
    }
    return all;
}

std::vector<DestinationInfo> CompositeMidiService::listDestinations() {
    return listAll(&MidiService::listDestinations);
}

void CompositeMidiService::selectDestination(EndpointRef endpoint) {
    if (const auto o = owner(endpoint)) {
        backends_[o->backend].service->selectDestination(o->inner);
    }
}

void CompositeMidiService::forward(Sender sendTo, std::uint32_t port, EndpointRef destination,
                                   std::span<const std::uint8_t> messages) {
    const auto o = owner(destination);
    if (port != kHandle || !o) {
        return;
    }
    const Backend& backend = backends_[o->backend];
    if (backend.port != 0) {
        (*backend.service.*sendTo)(backend.port, o->inner, messages);
    }
}

void CompositeMidiService::send(std::uint32_t port, EndpointRef destination,
                                std::span<const std::uint8_t> messages) {
    forward(&MidiService::send, port, destination, messages);
}

void CompositeMidiService::sendRaw(std::uint32_t port, EndpointRef destination,
                                   std::span<const std::uint8_t> messages) {
    forward(&MidiService::sendRaw, port, destination, messages);
}

std::vector<DestinationInfo> CompositeMidiService::listSources() {
    return listAll(&MidiService::listSources);
}

std::uint32_t CompositeMidiService::createInputPort(std::uint32_t client, const std::string& name,
                                                    std::shared_ptr<WakeSignal> wake) {
    if (client != kHandle) {
        return 0;
    }
    bool any = false;
    for (auto& backend : backends_) {
        if (backend.client != 0 && backend.inPort == 0) {
            backend.inPort = backend.service->createInputPort(backend.client, name, wake);
        }
        any = any || backend.inPort != 0;
    }
    return any ? kHandle : 0;
}

void CompositeMidiService::selectSource(EndpointRef source, std::uint8_t stream) {
    const auto o = owner(source);
    for (std::size_t i = 0; i < backends_.size(); ++i) {
        if (backends_[i].inPort != 0) {
            backends_[i].service->selectSource(o && o->backend == i ? o->inner : 0, stream);
        }
    }
}

std::size_t CompositeMidiService::takeInput(MidiInputConsumer& consumer) {
    std::size_t taken = 0;
    for (auto& backend : backends_) {
        if (backend.inPort != 0) {
            taken += backend.service->takeInput(consumer);
        }
    }
    return taken;
}

std::uint64_t CompositeMidiService::droppedInput() const {
    std::uint64_t dropped = 0;
    for (const auto& backend : backends_) {
        dropped += backend.service->droppedInput();
    }
    return dropped;
}

void CompositeMidiService::setSetupChangedHandler(SetupChangedHandler handler) {
    setupChanged_.set(std::move(handler));
}

}  // namespace tarnwell
