#include "core/midi/rtmidi_service.hpp"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>
#include <utility>

#include <alsa/asoundlib.h>

#include <RtMidi.h>

#include "core/base/hold_off_cancellation.hpp"
#include "core/base/wake_signal.hpp"
#include "core/midi/midi_bytes.hpp"

namespace tarnwell {

namespace {

RtMidi::Api toRtMidi(RtMidiApi api) {
    switch (api) {
        case RtMidiApi::alsa:
            return RtMidi::LINUX_ALSA;
        case RtMidiApi::jack:
            return RtMidi::UNIX_JACK;
    }
    return RtMidi::RTMIDI_DUMMY;
}

// ALSA appends the sequencer address ("Synth:Synth MIDI 1 24:0"); the client
// number changes when a device is plugged in again, so it is not part of the
// name a destination is known by.
std::string displayName(RtMidiApi api, std::string name) {
    if (api != RtMidiApi::alsa) {
        return name;
    }
    const auto space = name.rfind(' ');
    if (space == std::string::npos) {
        return name;
    }
    const std::string_view address = std::string_view(name).substr(space + 1);
    const auto colon = address.find(':');
    const auto isDigits = [](std::string_view s) {
        return !s.empty() && std::ranges::all_of(s, [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    };
    if (colon != std::string_view::npos && isDigits(address.substr(0, colon)) &&
        isDigits(address.substr(colon + 1))) {
        name.resize(space);
    }
    return name;
}

void countError(RtMidiError::Type, const std::string&, void* userData) {
    static_cast<std::atomic<std::uint64_t>*>(userData)->fetch_add(1);
}

// RtMidi writes the text of a construction error to std::cerr before it
// throws, and no error callback can be installed before construction. While an
// output object is being built, std::cerr goes nowhere; the serialisation
// keeps the main thread and the polling worker from swapping it at once.
class CerrSilenced {
public:
    CerrSilenced() : lock_(mutex()), previous_(std::cerr.rdbuf(sink_.rdbuf())) {}
    ~CerrSilenced() { std::cerr.rdbuf(previous_); }
    CerrSilenced(const CerrSilenced&) = delete;
    CerrSilenced& operator=(const CerrSilenced&) = delete;

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> lock_;
    std::ostringstream sink_;
    std::streambuf* previous_;
};

// Creates a MIDI object of type `T` (RtMidiOut or RtMidiIn) for `api`, or
// nothing when the API cannot open.
template <typename T>
std::unique_ptr<T> openMidi(RtMidiApi api, const std::string& clientName,
                            std::atomic<std::uint64_t>& errors) {
    const CerrSilenced quiet;
    try {
        auto midi = std::make_unique<T>(toRtMidi(api), clientName);
        if (midi->getCurrentApi() != toRtMidi(api)) {
            return nullptr;
        }
        midi->setErrorCallback(countError, &errors);
        return midi;
    } catch (const RtMidiError&) {
        errors.fetch_add(1);
        return nullptr;
    }
}

std::unique_ptr<RtMidiOut> openOutput(RtMidiApi api, const std::string& clientName,
                                      std::atomic<std::uint64_t>& errors) {
    return openMidi<RtMidiOut>(api, clientName, errors);
}

// RtMidi's input thread (ALSA's own thread, JACK's process thread): copies
// the message into the queue and wakes the main thread. RtMidi hands over one
// whole message per call; its time stamp is a delta, so the arrival is read
// from the steady clock here.
void inputArrived(double, std::vector<unsigned char>* message, void* userData) {
    const HoldOffCancellation held;
    if (message == nullptr || message->empty()) {
        return;
    }
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    static_cast<MidiInputQueue*>(userData)->received(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
        std::span<const std::uint8_t>(message->data(), message->size()));
}

// libasound prints its own report of every failed open to stderr; the service
// retries once a second on a machine without a sequencer, and an absent
// sequencer is an expected state it reports through its empty list.
void discardAlsaText(const char*, int, const char*, int, const char*, ...) {}

void quietPlatformLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(discardAlsaText); });
}

}  // namespace

RtMidiService::RtMidiService(RtMidiApi api) : RtMidiService(api, Options{}) {}

RtMidiService::RtMidiService(RtMidiApi api, Options options)
    : api_(api), options_(std::move(options)) {
    quietPlatformLibraries();
    out_ = openOutput(api_, options_.clientName, errors_);
    if (out_) {
        worker_ = std::thread([this] { poll(); });
    }
}

RtMidiService::~RtMidiService() {
    {
        std::lock_guard lock(workerMutex_);
        stop_ = true;
    }
    wakeup_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
    closeInput();
    closePort();
}

std::uint32_t RtMidiService::createClient(const std::string&) {
    return out_ ? kHandle : 0;
}

std::uint32_t RtMidiService::createOutputPort(std::uint32_t client, const std::string& name) {
    if (client != kHandle || !out_) {
        return 0;
    }
    portName_ = name;
    return kHandle;
}

std::vector<DestinationInfo> RtMidiService::listDestinations() {
    reopenIfRestarted();
    std::lock_guard lock(cacheMutex_);
    return destinations_.entries;
}

void RtMidiService::selectDestination(EndpointRef endpoint) {
    if (!out_) {
        return;
    }
    selected_ = endpoint;
    {
        std::lock_guard lock(cacheMutex_);
        destinations_.watched = endpoint;
        destinations_.watchedMissing = false;
    }
    reopenNeeded_.store(false);
    openSelected();
}

void RtMidiService::send(std::uint32_t port, EndpointRef destination,
                         std::span<const std::uint8_t> messages) {
    reopenIfRestarted();
    if (port != kHandle || !out_ || destination == 0 || destination != open_ ||
        messages.size() % 3 != 0 || !out_->isPortOpen()) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    try {
        for (std::size_t i = 0; i < messages.size(); i += 3) {
            out_->sendMessage(messages.data() + i, 3);
        }
        sent_.fetch_add(1, std::memory_order_relaxed);
    } catch (const RtMidiError&) {
        // Only reached if the error callback was lost; the sequence is gone.
        errors_.fetch_add(1);
        dropped_.fetch_add(1, std::memory_order_relaxed);
    }
}

void RtMidiService::sendRaw(std::uint32_t port, EndpointRef destination,
                            std::span<const std::uint8_t> messages) {
    reopenIfRestarted();
    if (port != kHandle || !out_ || destination == 0 || destination != open_ ||
        !out_->isPortOpen()) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    try {
        forEachMidiMessage(messages, [this](std::span<const std::uint8_t> message) {
            out_->sendMessage(message.data(), message.size());
        });
    } catch (const RtMidiError&) {
        errors_.fetch_add(1);
        dropped_.fetch_add(1, std::memory_order_relaxed);
    }
}

std::vector<DestinationInfo> RtMidiService::listSources() {
    reopenIfRestarted();
    std::lock_guard lock(cacheMutex_);
    return sources_.entries;
}

std::uint32_t RtMidiService::createInputPort(std::uint32_t client, const std::string& name,
                                             std::shared_ptr<WakeSignal> wake) {
    if (client != kHandle || !out_ || in_ || !wake) {
        return 0;
    }
    in_ = openMidi<RtMidiIn>(api_, options_.clientName, errors_);
    if (!in_) {
        return 0;
    }
    inPortName_ = name;
    wake_ = std::move(wake);
    input_ = std::make_unique<MidiInputQueue>();
    input_->setWake(wake_.get());
    // System-exclusive is never passed on and no mapping takes it; clock
    // and active sensing are passed on by thru.
    in_->ignoreTypes(true, false, false);
    in_->setCallback(inputArrived, input_.get());
    return kHandle;
}

void RtMidiService::selectSource(EndpointRef source, std::uint8_t stream) {
    if (!in_) {
        return;
    }
    input_->setStream(stream);
    selectedSource_ = source;
    {
        std::lock_guard lock(cacheMutex_);
        sources_.watched = source;
        sources_.watchedMissing = false;
    }
    inputReopenNeeded_.store(false);
    openSelectedSource();
}

std::size_t RtMidiService::takeInput(MidiInputConsumer& consumer) {
    reopenIfRestarted();
    return input_ ? input_->take(consumer) : 0;
}

std::uint64_t RtMidiService::droppedInput() const {
    return input_ ? input_->dropped() : 0;
}

bool RtMidiService::inputOpen() const {
    return in_ && openSource_ != 0 && in_->isPortOpen();
}

void RtMidiService::openSelectedSource() {
    closeInput();
    std::string key;
    {
        std::lock_guard lock(cacheMutex_);
        if (const auto it = sources_.keys.find(selectedSource_); it != sources_.keys.end()) {
            key = it->second;
        }
    }
    if (key.empty()) {
        return;
    }
    try {
        for (const Port& p : readPorts(*in_)) {
            if (p.key == key) {
                in_->openPort(p.index, inPortName_);
                break;
            }
        }
    } catch (const RtMidiError&) {
        errors_.fetch_add(1);
    }
    if (in_->isPortOpen()) {
        openSource_ = selectedSource_;
    }
}

// Closing joins RtMidi's input thread (ALSA) or unregisters the port between
// JACK cycles, so the queue's producer has stopped when this returns.
void RtMidiService::closeInput() {
    openSource_ = 0;
    if (in_ && in_->isPortOpen()) {
        in_->closePort();
    }
}

void RtMidiService::setSetupChangedHandler(SetupChangedHandler handler) {
    setupChanged_.set(std::move(handler));
}

RtMidiService::Counters RtMidiService::counters() const {
    return Counters{sent_.load(), dropped_.load(), errors_.load(), reopens_.load()};
}

std::vector<RtMidiService::Port> RtMidiService::readPorts(RtMidi& midi) const {
    std::vector<Port> ports;
    std::map<std::string, int> seen;
    const unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = displayName(api_, midi.getPortName(i));
        if (name.empty()) {
            continue;
        }
        const int occurrence = seen[name]++;
        std::string key = name;
        if (occurrence > 0) {
            key += '\x1f' + std::to_string(occurrence);
        }
        ports.push_back(Port{std::move(key), std::move(name), i});
    }
    return ports;
}

EndpointRef RtMidiService::handleForLocked(Listing& listing, const std::string& key) {
    if (const auto it = listing.handles.find(key); it != listing.handles.end()) {
        return it->second;
    }
    const EndpointRef handle = listing.nextHandle++;
    listing.handles.emplace(key, handle);
    listing.keys.emplace(handle, key);
    return handle;
}

bool RtMidiService::updateListingLocked(Listing& listing, const std::vector<Port>& ports,
                                        bool& cameBack) {
    std::vector<DestinationInfo> list;
    for (const Port& p : ports) {
        list.push_back(DestinationInfo{handleForLocked(listing, p.key), p.name});
    }
    const bool changed = list != listing.entries;
    listing.entries = std::move(list);
    cameBack = false;
    if (listing.watched != 0) {
        const bool present = std::ranges::any_of(listing.entries, [&](const DestinationInfo& d) {
            return d.endpoint == listing.watched;
        });
        if (!present) {
            listing.watchedMissing = true;
        } else if (listing.watchedMissing) {
            listing.watchedMissing = false;
            cameBack = true;
        }
    }
    return changed;
}

void RtMidiService::openSelected() {
    closePort();
    std::string key;
    {
        std::lock_guard lock(cacheMutex_);
        if (const auto it = destinations_.keys.find(selected_); it != destinations_.keys.end()) {
            key = it->second;
        }
    }
    if (key.empty()) {
        return;
    }
    try {
        for (const Port& p : readPorts(*out_)) {
            if (p.key == key) {
                out_->openPort(p.index, portName_);
                break;
            }
        }
    } catch (const RtMidiError&) {
        errors_.fetch_add(1);
    }
    if (out_->isPortOpen()) {
        open_ = selected_;
    }
}

void RtMidiService::reopenIfRestarted() {
    if (reopenNeeded_.exchange(false) && selected_ != 0) {
        reopens_.fetch_add(1);
        openSelected();
    }
    if (inputReopenNeeded_.exchange(false) && in_ && selectedSource_ != 0) {
        reopens_.fetch_add(1);
        openSelectedSource();
    }
}

void RtMidiService::closePort() {
    open_ = 0;
    if (out_ && out_->isPortOpen()) {
        out_->closePort();
    }
}

// Worker: follows plug and unplug by polling, with its own output and input
// objects, since RtMidi objects are not shared between threads.
void RtMidiService::poll() {
    std::atomic<std::uint64_t> probeErrors{0};
    std::unique_ptr<RtMidiOut> probe;
    std::unique_ptr<RtMidiIn> inputProbe;
    std::unique_lock lock(workerMutex_);
    while (!stop_) {
        lock.unlock();
        if (!probe) {
            probe = openOutput(api_, options_.clientName, probeErrors);
        }
        if (!inputProbe) {
            inputProbe = openMidi<RtMidiIn>(api_, options_.clientName, probeErrors);
        }
        std::vector<Port> ports;
        std::vector<Port> sourcePorts;
        try {
            if (probe) {
                ports = readPorts(*probe);
            }
            if (inputProbe) {
                sourcePorts = readPorts(*inputProbe);
            }
        } catch (const RtMidiError&) {
            probeErrors.fetch_add(1);
        }
        bool changed = false;
        {
            std::lock_guard cache(cacheMutex_);
            bool cameBack = false;
            changed = updateListingLocked(destinations_, ports, cameBack);
            if (cameBack) {
                reopenNeeded_.store(true);
            }
            changed = updateListingLocked(sources_, sourcePorts, cameBack) || changed;
            if (cameBack) {
                inputReopenNeeded_.store(true);
            }
        }
        if (changed) {
            setupChanged_.notify();
        }
        lock.lock();
        wakeup_.wait_for(lock, options_.pollInterval, [this] { return stop_; });
    }
    errors_.fetch_add(probeErrors.load());
}

}  // namespace tarnwell
