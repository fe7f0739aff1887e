#include "core/midi/jack_service.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include <pthread.h>

#include <jack/jack.h>
#include <jack/midiport.h>

#include "core/base/hold_off_cancellation.hpp"
#include "core/midi/midi_bytes.hpp"

namespace tarnwell {

namespace {

// A route marker carries its endpoint in the three message bytes, so endpoint
// handles of this service stay below 2^24.
constexpr std::uint8_t kRouteMarker = 1;
// Messages shorter than three bytes (passed on from a controller) carry
// their length in the marker; a 3-byte message has none.
constexpr std::uint8_t kOneByteMessage = 2;
constexpr std::uint8_t kTwoByteMessage = 3;
constexpr EndpointRef kMaxHandle = 0xFFFFFF;

std::size_t messageLength(const RingEvent& e) {
    switch (e.marker) {
        case kOneByteMessage:
            return 1;
        case kTwoByteMessage:
            return 2;
        default:
            return 3;
    }
}

RingEvent routeMarker(EndpointRef endpoint) {
    RingEvent e;
    e.bytes = {static_cast<std::uint8_t>(endpoint & 0xFF),
               static_cast<std::uint8_t>((endpoint >> 8) & 0xFF),
               static_cast<std::uint8_t>((endpoint >> 16) & 0xFF)};
    e.marker = kRouteMarker;
    return e;
}

EndpointRef markerEndpoint(const RingEvent& e) {
    return static_cast<EndpointRef>(e.bytes[0]) | (static_cast<EndpointRef>(e.bytes[1]) << 8) |
           (static_cast<EndpointRef>(e.bytes[2]) << 16);
}

std::uint64_t packWiring(EndpointRef endpoint, std::uint32_t generation) {
    return (static_cast<std::uint64_t>(generation) << 32) | endpoint;
}

EndpointRef wiredEndpoint(std::uint64_t wiring) {
    return static_cast<EndpointRef>(wiring & 0xFFFFFFFFu);
}

// libjack reports every failed attempt to reach a server on stderr. The
// service retries about once a second while no server runs, and a dead server
// is an expected state it reports through its list, so these texts carry
// nothing the user could act on.
void discardJackText(const char*) {}

// Names the calling thread as tools such as top -H and the measurement
// programs show it (at most 15 characters).
void nameThisThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

// libjack's notification thread starts as a copy of the worker that opened the
// client, name included; it takes its own name at its first callback.
void nameNotificationThread() {
    thread_local bool named = false;
    if (!named) {
        named = true;
        nameThisThread("jack-notify");
    }
}

std::vector<std::string> takePortNames(const char** ports) {
    std::vector<std::string> names;
    if (ports == nullptr) {
        return names;
    }
    for (const char** p = ports; *p != nullptr; ++p) {
        names.emplace_back(*p);
    }
    jack_free(static_cast<void*>(ports));
    return names;
}

}  // namespace

struct JackMidiService::ClientState {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    std::string ownPrefix;      // "<our client name>:"
    std::string wiredPortName;  // destination our port was last connected to by us
    bool portRequested = false;
    bool inPortRequested = false;
};

// libjack's C callbacks. The registration ones run on libjack's notification
// thread and only wake the worker; the shutdown one stores atomics and wakes
// it, nothing else (it must be as safe as a signal handler); the process one
// runs on the real-time thread, which the thread-init one names first.
struct JackCallbacks {
    static void threadInit(void*) { nameThisThread("jack-process"); }
    static int process(jack_nframes_t frames, void* arg) {
        const HoldOffCancellation held;
        return static_cast<JackMidiService*>(arg)->process(frames);
    }
    static void shutdown(jack_status_t, const char*, void* arg) {
        const HoldOffCancellation held;
        static_cast<JackMidiService*>(arg)->onShutdown();
    }
    static void portRegistration(jack_port_id_t, int, void* arg) { graphChanged(arg); }
    static void clientRegistration(const char*, int, void* arg) { graphChanged(arg); }
    static void portRename(jack_port_id_t, const char*, const char*, void* arg) {
        graphChanged(arg);
    }
    static void graphChanged(void* arg) {
        const HoldOffCancellation held;
        nameNotificationThread();
        static_cast<JackMidiService*>(arg)->waker_.wake(JackMidiService::kGraph);
    }
};

JackMidiService::JackMidiService() : JackMidiService(Options{}) {}

JackMidiService::JackMidiService(Options options)
    : options_(std::move(options)), ring_(options_.ringCapacity) {
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        jack_set_error_function(discardJackText);
        jack_set_info_function(discardJackText);
    });
    worker_ = std::thread([this] { run(); });
}

JackMidiService::~JackMidiService() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    waker_.wake(kStop);
    worker_.join();
}

std::uint32_t JackMidiService::createClient(const std::string& name) {
    {
        std::lock_guard lock(mutex_);
        clientName_ = name;
    }
    waker_.wake(kCommand);
    return 1;
}

std::uint32_t JackMidiService::createOutputPort(std::uint32_t client, const std::string& name) {
    if (client == 0) {
        return 0;
    }
    {
        std::lock_guard lock(mutex_);
        portName_ = name;
    }
    // The client opens and lists its destinations on the worker; the list
    // arrives through the setup-changed handler, so nothing waits here.
    waker_.wake(kCommand);
    return kPortHandle;
}

std::vector<DestinationInfo> JackMidiService::listDestinations() {
    std::lock_guard lock(cacheMutex_);
    return destinations_;
}

void JackMidiService::selectDestination(EndpointRef endpoint) {
    {
        std::lock_guard lock(cacheMutex_);
        selected_ = endpoint;
        selectedAtomic_.store(endpoint);
        updateAdmissionLocked();
    }
    // Chosen again: worth waiting for once more.
    EndpointRef abandoned = endpoint;
    abandonedRoute_.compare_exchange_strong(abandoned, 0);
    if (endpoint != markedRoute_ || markerOwed_) {
        markedRoute_ = endpoint;
        // While no server runs nothing is queued; a new client starts out
        // routed to the selected destination.
        markerOwed_ = alive_.load() && !ring_.pushAll(std::array{routeMarker(endpoint)});
    }
    waker_.wake(kRoute);
}

void JackMidiService::send(std::uint32_t port, EndpointRef destination,
                           std::span<const std::uint8_t> messages) {
    const std::size_t count = messages.size() / 3;
    if (count == 0 || messages.size() % 3 != 0) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    constexpr std::size_t kInline = 16;
    std::array<RingEvent, kInline> inlineEvents;
    std::vector<RingEvent> heapEvents;
    std::span<RingEvent> events;
    if (count <= kInline) {
        events = std::span(inlineEvents).first(count);
    } else {
        heapEvents.resize(count);
        events = heapEvents;
    }
    for (std::size_t i = 0; i < count; ++i) {
        events[i].bytes = {messages[3 * i], messages[3 * i + 1], messages[3 * i + 2]};
    }
    queueEvents(port, destination, events);
}

void JackMidiService::sendRaw(std::uint32_t port, EndpointRef destination,
                              std::span<const std::uint8_t> messages) {
    constexpr std::size_t kMost = 12;  // what one pass of thru carries
    std::array<RingEvent, kMost> events{};
    std::size_t count = 0;
    const bool whole = forEachMidiMessage(messages, [&](std::span<const std::uint8_t> message) {
        if (count == kMost) {
            return;
        }
        RingEvent& e = events[count++];
        std::copy(message.begin(), message.end(), e.bytes.begin());
        e.marker = message.size() == 1   ? kOneByteMessage
                   : message.size() == 2 ? kTwoByteMessage
                                         : 0;
    });
    if (!whole || count == 0 || count == kMost) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    queueEvents(port, destination, std::span(events).first(count));
}

void JackMidiService::queueEvents(std::uint32_t port, EndpointRef destination,
                                  std::span<RingEvent> events) {
    if (port != kPortHandle || destination == 0 ||
        destination != admitted_.load(std::memory_order_acquire)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (markerOwed_) {
        if (!ring_.pushAll(std::array{routeMarker(markedRoute_)})) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        markerOwed_ = false;
    }
    if (ring_.pushAll(events)) {
        accepted_.fetch_add(1, std::memory_order_relaxed);
    } else {
        dropped_.fetch_add(1, std::memory_order_relaxed);
    }
}

std::vector<DestinationInfo> JackMidiService::listSources() {
    return input_.sources();
}

std::uint32_t JackMidiService::createInputPort(std::uint32_t client, const std::string& name,
                                               std::shared_ptr<WakeSignal> wake) {
    if (client == 0 || !wake) {
        return 0;
    }
    {
        std::lock_guard lock(mutex_);
        if (inPortName_) {
            return 0;
        }
        input_.setWake(std::move(wake));
        inPortName_ = name;
    }
    waker_.wake(kCommand);
    return kInPortHandle;
}

void JackMidiService::selectSource(EndpointRef source, std::uint8_t stream) {
    if (input_.selectSource(source, stream)) {
        waker_.wake(kRoute);
    }
}

std::size_t JackMidiService::takeInput(MidiInputConsumer& consumer) {
    return input_.take(consumer);
}

std::uint64_t JackMidiService::droppedInput() const {
    return input_.dropped();
}

void JackMidiService::drain(std::chrono::milliseconds bound) {
    // Long cycles need longer than `bound`: the cycles that take what is
    // queued, at most eventsPerCycle each, two for the peer to have read the
    // last, and one to spare; never more than two seconds, so a quit never
    // seems to hang.
    const std::uint64_t rate = sampleRate_.load(std::memory_order_relaxed);
    if (rate != 0 && options_.eventsPerCycle != 0) {
        const auto cycle = std::chrono::microseconds(
            std::uint64_t{cycleFrames_.load(std::memory_order_relaxed)} * 1000000 / rate);
        const std::size_t cycles =
            (ring_.readable() + options_.eventsPerCycle - 1) / options_.eventsPerCycle + 3;
        const auto needed = std::min(
            std::chrono::ceil<std::chrono::milliseconds>(cycle * static_cast<std::int64_t>(cycles)),
            std::chrono::milliseconds(2000));
        bound = std::max(bound, needed);
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const auto waiting = [&] {
        return alive_.load() && std::chrono::steady_clock::now() < deadline;
    };
    while (waiting() && ring_.readable() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Peers read our port buffer after us in the cycle that wrote it. Once
    // two more cycles have begun, that cycle has ended for them too, also
    // with a server that runs its clients asynchronously.
    const std::uint64_t emptiedIn = cycles_.load();
    while (waiting() && cycles_.load() < emptiedIn + 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void JackMidiService::setSetupChangedHandler(SetupChangedHandler handler) {
    setupChanged_.set(std::move(handler));
}

JackMidiService::Counters JackMidiService::counters() const {
    return Counters{accepted_.load(), dropped_.load(), written_.load(), discarded_.load()};
}

void JackMidiService::onShutdown() {
    // Sends stop at once; the worker closes the client, empties the list and
    // reports the change.
    alive_.store(false);
    admitted_.store(0, std::memory_order_release);
    waker_.wake(kServerGone);
}

void JackMidiService::updateAdmissionLocked() {
    const bool present = std::ranges::any_of(
        destinations_, [&](const DestinationInfo& d) { return d.endpoint == selected_; });
    admitted_.store(alive_.load() && selected_ != 0 && present ? selected_ : 0,
                    std::memory_order_release);
}

// The worker. libjack is never called with `mutex_` or `cacheMutex_` held:
// closing a client waits for libjack's notification thread, which must never
// wait for this one. It sleeps in `waker_` without a timeout whenever a client
// is open and nothing is asked of it.
void JackMidiService::run() {
    using Clock = Waker::Clock;
    constexpr auto kBurstWindow = std::chrono::milliseconds(20);
    nameThisThread("jack-worker");

    Waker::Reasons pending = 0;
    auto nextAttempt = Clock::now();
    while (true) {
        pending |= waker_.take();
        std::optional<std::string> clientName;
        std::optional<std::string> portName;
        std::optional<std::string> inPortName;
        {
            std::lock_guard lock(mutex_);
            if (stop_) {
                break;
            }
            clientName = clientName_;
            portName = portName_;
            inPortName = inPortName_;
        }
        if ((pending & kServerGone) != 0) {
            // Every other reason concerned the dead client.
            pending = 0;
            closeClient();
            setupChanged_.notify();
            nextAttempt = Clock::now() + options_.reconnectInterval;
            continue;
        }
        if (!client_) {
            pending = 0;
            if (!clientName) {
                pending = waker_.wait();
            } else if (Clock::now() < nextAttempt) {
                pending = waker_.wait(nextAttempt);
            } else {
                const bool opened = openClient(*clientName, portName);
                nextAttempt = Clock::now() + options_.reconnectInterval;
                pending = opened ? kGraph : 0;
            }
            continue;
        }
        if (!client_->portRequested && portName) {
            registerPort(*portName);
        }
        if (!client_->inPortRequested && inPortName) {
            client_->inPortRequested = true;
            input_.registerPort(client_->client, *inPortName);
            // Listed and wired once it is there.
            pending |= kGraph;
        }
        if ((pending & kGraph) != 0) {
            // Registration callbacks come in bursts (a client with several
            // ports, a client leaving): gather them into one listing.
            const auto until = Clock::now() + kBurstWindow;
            while ((pending & (kStop | kServerGone)) == 0 && Clock::now() < until) {
                pending |= waker_.wait(until);
            }
            if ((pending & (kStop | kServerGone)) != 0) {
                continue;
            }
            pending &= ~(kGraph | kRoute | kCommand);
            refreshPorts();
            reconcileWiring();
            continue;
        }
        if ((pending & kRoute) != 0) {
            reconcileWiring();
        }
        // A command is read at the top of the loop; a stop is seen there too.
        pending = waker_.wait();
    }
    closeClient();
}

bool JackMidiService::openClient(const std::string& name,
                                 const std::optional<std::string>& portName) {
    jack_status_t status{};
    int flags = JackNoStartServer;
    if (!options_.serverName.empty()) {
        flags |= JackServerName;
    }
    jack_client_t* client =
        options_.serverName.empty()
            ? jack_client_open(name.c_str(), static_cast<jack_options_t>(flags), &status)
            : jack_client_open(name.c_str(), static_cast<jack_options_t>(flags), &status,
                               options_.serverName.c_str());
    if (client == nullptr) {
        return false;
    }
    sampleRate_.store(jack_get_sample_rate(client), std::memory_order_relaxed);
    // The period, until the first cycle reports it: a drain before that cycle
    // (connect, send, quit at once on a long period) must still wait for it.
    cycleFrames_.store(jack_get_buffer_size(client), std::memory_order_relaxed);
    auto state = std::make_unique<ClientState>();
    state->client = client;
    state->ownPrefix = std::string(jack_get_client_name(client)) + ":";

    jack_set_thread_init_callback(client, JackCallbacks::threadInit, this);
    jack_set_process_callback(client, JackCallbacks::process, this);
    jack_on_info_shutdown(client, JackCallbacks::shutdown, this);
    jack_set_port_registration_callback(client, JackCallbacks::portRegistration, this);
    jack_set_client_registration_callback(client, JackCallbacks::clientRegistration, this);
    jack_set_port_rename_callback(client, JackCallbacks::portRename, this);

    // No process callback runs yet, so this thread may act as the ring's
    // consumer: whatever was queued for the previous server is stale.
    discarded_.fetch_add(ring_.discardAll(), std::memory_order_relaxed);
    outPort_.store(nullptr);
    wantedRoute_.store(0);
    seenWiring_ = 0;
    askedRoute_ = 0;
    askedWiring_ = 0;
    wiring_.store(packWiring(0, ++wiringGeneration_));

    // Sends are admitted only from here on; a selection made concurrently
    // either is seen below or queues its own route marker.
    alive_.store(true);
    target_ = selectedAtomic_.load();
    processRoute_.store(target_);

    client_ = std::move(state);
    if (portName) {
        registerPort(*portName);
    }
    if (jack_activate(client) != 0) {
        closeClient();
        return false;
    }
    return true;
}

void JackMidiService::registerPort(const std::string& name) {
    client_->portRequested = true;
    jack_port_t* port = jack_port_register(client_->client, name.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                           JackPortIsOutput, 0);
    client_->port = port;
    outPort_.store(port, std::memory_order_release);
}

void JackMidiService::closeClient() {
    alive_.store(false);
    {
        std::lock_guard lock(cacheMutex_);
        destinations_.clear();
        updateAdmissionLocked();
    }
    presentNames_.clear();
    if (client_) {
        outPort_.store(nullptr);
        input_.clientClosed();
        jack_client_close(client_->client);
        client_.reset();
    }
}

void JackMidiService::refreshPorts() {
    const auto names = takePortNames(
        jack_get_ports(client_->client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput));
    std::vector<DestinationInfo> list;
    presentNames_.clear();
    for (const auto& name : names) {
        if (name.starts_with(client_->ownPrefix)) {
            continue;
        }
        const EndpointRef handle = handleFor(name);
        if (handle == 0) {
            continue;
        }
        list.push_back(DestinationInfo{handle, name});
        presentNames_.insert(name);
    }
    bool changed = false;
    {
        std::lock_guard lock(cacheMutex_);
        changed = list != destinations_;
        destinations_ = std::move(list);
        updateAdmissionLocked();
    }
    changed = input_.listSources(client_->client, client_->ownPrefix,
                                 [this](const std::string& name) { return handleFor(name); }) ||
              changed;
    if (changed) {
        setupChanged_.notify();
    }
}

EndpointRef JackMidiService::handleFor(const std::string& portName) {
    const auto it = handles_.find(portName);
    if (it != handles_.end()) {
        return it->second;
    }
    if (nextHandle_ > kMaxHandle) {
        return 0;
    }
    const EndpointRef handle = nextHandle_++;
    handles_.emplace(portName, handle);
    namesByHandle_.emplace(handle, portName);
    return handle;
}

// Wires the output port to the destination the stream currently needs: the
// one named by a route marker the process callback is waiting at, otherwise
// the current route. Connections made by others are left alone.
void JackMidiService::reconcileWiring() {
    if (client_ && alive_.load()) {
        input_.reconcile(client_->client);
    }
    if (!client_ || client_->port == nullptr || !alive_.load()) {
        return;
    }
    const EndpointRef wanted = wantedRoute_.load();
    if (wanted != 0) {
        target_ = wanted;
    }
    std::string targetName;
    if (const auto it = namesByHandle_.find(target_); it != namesByHandle_.end()) {
        targetName = it->second;
    }
    const bool present = !targetName.empty() && presentNames_.contains(targetName);
    const char* ourName = jack_port_name(client_->port);

    if (!client_->wiredPortName.empty() && client_->wiredPortName != targetName) {
        jack_disconnect(client_->client, ourName, client_->wiredPortName.c_str());
        client_->wiredPortName.clear();
    }
    bool connected = present && jack_port_connected_to(client_->port, targetName.c_str()) != 0;
    bool fresh = false;
    if (present && !connected) {
        const int rc = jack_connect(client_->client, ourName, targetName.c_str());
        connected = rc == 0 || rc == EEXIST;
        fresh = connected;
    }
    if (connected) {
        client_->wiredPortName = targetName;
    }
    const EndpointRef wiredTo = connected ? target_ : 0;
    if (!connected && target_ != 0 && target_ != selectedAtomic_.load()) {
        abandonedRoute_.store(target_, std::memory_order_release);
    }
    if (fresh || wiredTo != wiredEndpoint(wiring_.load())) {
        wiring_.store(packWiring(wiredTo, ++wiringGeneration_), std::memory_order_release);
    }
}

// Real-time thread: no locks, no allocation, no libjack calls other than the
// port buffer functions.
int JackMidiService::process(std::uint32_t frames) {
    cycles_.fetch_add(1, std::memory_order_relaxed);
    cycleFrames_.store(frames, std::memory_order_relaxed);
    input_.process(frames);
    auto* port = static_cast<jack_port_t*>(outPort_.load(std::memory_order_acquire));
    if (port == nullptr) {
        return 0;
    }
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);

    // A connection made during this cycle carries data only from the next
    // cycle on, so after any change of wiring wait one cycle before writing.
    const std::uint64_t wiring = wiring_.load(std::memory_order_acquire);
    if (wiring != seenWiring_) {
        seenWiring_ = wiring;
        return 0;
    }
    const EndpointRef wiredTo = wiredEndpoint(wiring);
    EndpointRef route = processRoute_.load(std::memory_order_relaxed);
    const EndpointRef selected = selectedAtomic_.load(std::memory_order_relaxed);

    const std::size_t available = ring_.readable();
    std::size_t consumed = 0;
    std::size_t written = 0;
    std::size_t discarded = 0;
    while (consumed < available) {
        const RingEvent& event = ring_.peek(consumed);
        if (event.marker == kRouteMarker) {
            const EndpointRef next = markerEndpoint(event);
            if (next != route && next != wiredTo) {
                if (next != abandonedRoute_.load(std::memory_order_acquire)) {
                    askForRoute(next, wiring);
                    break;
                }
                // Gone and deselected: what follows this marker is stale and
                // is dropped below.
            } else {
                wantedRoute_.store(next, std::memory_order_relaxed);
            }
            route = next;
            ++consumed;
            continue;
        }
        if (route == 0 || wiredTo != route) {
            // The route's destination is missing. Hold its messages while it
            // is still selected (it may come back, and the worker is asked
            // to wire it); otherwise they are stale.
            if (selected == route) {
                askForRoute(route, wiring);
                break;
            }
            ++discarded;
            ++consumed;
            continue;
        }
        if (written == options_.eventsPerCycle ||
            jack_midi_event_write(buffer, 0, event.bytes.data(), messageLength(event)) != 0) {
            break;
        }
        ++written;
        ++consumed;
    }
    ring_.commit(consumed);
    processRoute_.store(route, std::memory_order_relaxed);
    written_.fetch_add(written, std::memory_order_relaxed);
    discarded_.fetch_add(discarded, std::memory_order_relaxed);
    return 0;
}

// Real-time thread. The worker learns what to wire from `wantedRoute_`; it is
// woken only when the route or the wiring differs from the last time, so a
// stream held for a missing destination costs no wake-up per cycle: the
// destination's return wakes the worker through the registration callbacks.
void JackMidiService::askForRoute(EndpointRef route, std::uint64_t wiring) {
    wantedRoute_.store(route, std::memory_order_relaxed);
    if (route != askedRoute_ || wiring != askedWiring_) {
        askedRoute_ = route;
        askedWiring_ = wiring;
        waker_.wake(kRoute);
    }
}

}  // namespace tarnwell
