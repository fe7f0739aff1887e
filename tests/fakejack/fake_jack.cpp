#include "fake_jack.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <pthread.h>

#include <jack/jack.h>
#include <jack/midiport.h>

namespace {

struct Event {
    jack_nframes_t time = 0;
    std::vector<jack_midi_data_t> bytes;
};

struct Buffer {
    std::vector<Event> events;
    std::size_t used = 0;  // bytes
    std::size_t capacity = 0;
};

struct Callbacks {
    JackProcessCallback process = nullptr;
    void* processArg = nullptr;
    JackThreadInitCallback threadInit = nullptr;
    void* threadInitArg = nullptr;
    JackInfoShutdownCallback shutdown = nullptr;
    void* shutdownArg = nullptr;
    JackPortRegistrationCallback portRegistration = nullptr;
    void* portRegistrationArg = nullptr;
    JackClientRegistrationCallback clientRegistration = nullptr;
    void* clientRegistrationArg = nullptr;
};

using Note = std::function<void(const Callbacks&)>;

}  // namespace

// Everything but `buffer` is guarded by the server's mutex; `buffer` belongs
// to the owner's process thread (and to the server only between cycles).
struct _jack_port {
    std::string name;
    std::string type;
    unsigned long flags = 0;
    jack_client_t* owner = nullptr;
    jack_port_id_t id = 0;
    Buffer buffer;
    std::vector<Event> inbox;  // input ports: what arrives for the next cycle
};

struct _jack_client {
    std::string name;
    jack_nframes_t rate = 0;
    jack_nframes_t period = 0;
    // Guarded by the server's mutex; the process thread reads its callbacks
    // without it, as they are set before it starts.
    Callbacks callbacks;
    std::vector<std::unique_ptr<_jack_port>> ports;
    bool dead = false;
    bool stopCycles = false;
    bool stopNotes = false;
    std::deque<Note> notes;
    std::thread cycles;
    std::thread notifier;
    // Process thread only.
    jack_nframes_t cycleFrame = 0;
    jack_time_t cycleTime = 0;
};

namespace {

struct Server {
    std::mutex mutex;
    std::condition_variable changed;
    bool running = false;
    fakejack::ServerOptions options;
    std::vector<jack_client_t*> clients;                    // live ones
    std::set<std::pair<jack_port_t*, jack_port_t*>> links;  // output, input
    jack_port_id_t nextPortId = 1;
};

Server& server() {
    static Server s;
    return s;
}

jack_time_t now() {
    return static_cast<jack_time_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// Server mutex held: the live port `match` picks.
jack_port_t* findPort(const std::function<bool(const jack_port_t&)>& match) {
    for (jack_client_t* c : server().clients) {
        for (auto& p : c->ports) {
            if (match(*p)) {
                return p.get();
            }
        }
    }
    return nullptr;
}

jack_port_t* findPort(const char* name) {
    return findPort([name](const jack_port_t& p) { return p.name == name; });
}

// Server mutex held: queues `note` for every live client's notification thread.
void notifyAll(const Note& note) {
    for (jack_client_t* c : server().clients) {
        c->notes.push_back(note);
    }
    server().changed.notify_all();
}

void portNote(jack_port_id_t id, int registered) {
    notifyAll([id, registered](const Callbacks& cb) {
        if (cb.portRegistration != nullptr) {
            cb.portRegistration(id, registered, cb.portRegistrationArg);
        }
    });
}

void clientNote(const std::string& name, int registered) {
    notifyAll([name, registered](const Callbacks& cb) {
        if (cb.clientRegistration != nullptr) {
            cb.clientRegistration(name.c_str(), registered, cb.clientRegistrationArg);
        }
    });
}

struct CancelledNote {
    const Note* note;
    const Callbacks* callbacks;
    bool returned = false;
};

void* runCancelled(void* arg) {
    auto* job = static_cast<CancelledNote*>(arg);
    pthread_cancel(pthread_self());
    (*job->note)(*job->callbacks);
    job->returned = true;
    pthread_testcancel();
    return nullptr;
}

void runNote(const Note& note, const Callbacks& callbacks, bool cancelled) {
    if (!cancelled) {
        note(callbacks);
        return;
    }
    CancelledNote job{&note, &callbacks};
    pthread_t thread;
    void* result = nullptr;
    if (pthread_create(&thread, nullptr, runCancelled, &job) != 0 ||
        pthread_join(thread, &result) != 0 || result != PTHREAD_CANCELED || !job.returned) {
        std::fputs("fake_jack: a callback took its thread's cancellation\n", stderr);
        std::abort();
    }
}

void runNotes(jack_client_t* c) {
    std::unique_lock lock(server().mutex);
    while (true) {
        server().changed.wait(lock, [c] { return c->stopNotes || !c->notes.empty(); });
        if (c->stopNotes) {
            return;
        }
        const Note note = std::move(c->notes.front());
        c->notes.pop_front();
        const Callbacks callbacks = c->callbacks;
        const bool cancelled = server().options.cancelledCallbacks;
        lock.unlock();
        runNote(note, callbacks, cancelled);
        lock.lock();
    }
}

void runCycles(jack_client_t* c) {
    const Callbacks& cb = c->callbacks;
    if (cb.threadInit != nullptr) {
        cb.threadInit(cb.threadInitArg);
    }
    Server& s = server();
    std::unique_lock lock(s.mutex);
    const jack_nframes_t frames = s.options.period;
    const auto period = std::chrono::microseconds(std::uint64_t{frames} * 1000000 / c->rate);
    auto next = std::chrono::steady_clock::now();
    while (!c->stopCycles) {
        for (auto& p : c->ports) {
            p->buffer.events.clear();
            p->buffer.used = 0;
            p->buffer.capacity = s.options.bufferBytes;
            if ((p->flags & JackPortIsInput) != 0) {
                std::swap(p->buffer.events, p->inbox);
                std::ranges::stable_sort(p->buffer.events, {}, &Event::time);
            }
        }
        // Connections changed during a cycle take effect from the next one.
        std::vector<std::pair<jack_port_t*, jack_port_id_t>> routes;
        for (auto [out, in] : s.links) {
            if (out->owner == c) {
                routes.emplace_back(out, in->id);
            }
        }
        c->cycleTime = now();
        lock.unlock();
        if (cb.process != nullptr) {
            cb.process(frames, cb.processArg);
        }
        lock.lock();
        for (auto [out, id] : routes) {
            if (jack_port_t* in = findPort([id](const jack_port_t& p) { return p.id == id; });
                in != nullptr) {
                in->inbox.insert(in->inbox.end(), out->buffer.events.begin(),
                                 out->buffer.events.end());
            }
        }
        c->cycleFrame += frames;
        next += period;
        s.changed.wait_until(lock, next, [c] { return c->stopCycles; });
    }
}

// Server mutex held: the client leaves the graph (closed, or the server died).
void detach(jack_client_t* c) {
    Server& s = server();
    std::erase(s.clients, c);
    std::erase_if(s.links,
                  [c](const auto& l) { return l.first->owner == c || l.second->owner == c; });
    c->dead = true;
    c->stopCycles = true;
    s.changed.notify_all();
}

}  // namespace

namespace fakejack {

void startServer(ServerOptions options) {
    std::lock_guard lock(server().mutex);
    server().running = true;
    server().options = options;
}

void stopServer() {
    Server& s = server();
    std::lock_guard lock(s.mutex);
    s.running = false;
    for (jack_client_t* c : std::vector(s.clients)) {
        detach(c);
        c->notes.emplace_back([](const Callbacks& cb) {
            if (cb.shutdown != nullptr) {
                cb.shutdown(JackServerError, "server stopped", cb.shutdownArg);
            }
        });
    }
}

}  // namespace fakejack

jack_client_t* jack_client_open(const char* name, jack_options_t options, jack_status_t* status,
                                ...) {
    if ((options & JackServerName) != 0) {
        va_list args;
        va_start(args, status);
        (void)va_arg(args, const char*);  // one server only
        va_end(args);
    }
    jack_status_t ignored{};
    status = status != nullptr ? status : &ignored;
    Server& s = server();
    std::lock_guard lock(s.mutex);
    if (!s.running) {
        *status = static_cast<jack_status_t>(JackFailure | JackServerFailed);
        return nullptr;
    }
    std::string unique = name;
    const auto taken = [&] {
        return std::ranges::any_of(s.clients, [&](jack_client_t* c) { return c->name == unique; });
    };
    for (int n = 2; taken(); ++n) {
        unique = std::string(name) + "-" + std::to_string(n);
    }
    *status = unique == name ? jack_status_t{} : JackNameNotUnique;
    auto* c = new _jack_client;
    c->name = unique;
    c->rate = s.options.sampleRate;
    c->period = s.options.period;
    clientNote(unique, 1);
    s.clients.push_back(c);
    c->notifier = std::thread(runNotes, c);
    return c;
}

int jack_client_close(jack_client_t* c) {
    Server& s = server();
    {
        std::lock_guard lock(s.mutex);
        if (!c->dead) {
            for (auto& p : c->ports) {
                portNote(p->id, 0);
            }
            detach(c);
            clientNote(c->name, 0);
        }
        c->stopNotes = true;
        s.changed.notify_all();
    }
    if (c->cycles.joinable()) {
        c->cycles.join();
    }
    c->notifier.join();
    delete c;
    return 0;
}

int jack_activate(jack_client_t* c) {
    std::lock_guard lock(server().mutex);
    if (c->dead || c->cycles.joinable()) {
        return -1;
    }
    c->cycles = std::thread(runCycles, c);
    return 0;
}

char* jack_get_client_name(jack_client_t* c) {
    return c->name.data();
}

// Callbacks are set before activation; the notification thread reads them
// under the server's mutex.
namespace {

template <typename Fn>
int setCallback(jack_client_t* c, Fn Callbacks::*fn, void* Callbacks::*arg, Fn value, void* a) {
    std::lock_guard lock(server().mutex);
    c->callbacks.*fn = value;
    c->callbacks.*arg = a;
    return 0;
}

}  // namespace

int jack_set_thread_init_callback(jack_client_t* c, JackThreadInitCallback cb, void* arg) {
    return setCallback(c, &Callbacks::threadInit, &Callbacks::threadInitArg, cb, arg);
}

int jack_set_process_callback(jack_client_t* c, JackProcessCallback cb, void* arg) {
    return setCallback(c, &Callbacks::process, &Callbacks::processArg, cb, arg);
}

void jack_on_info_shutdown(jack_client_t* c, JackInfoShutdownCallback cb, void* arg) {
    setCallback(c, &Callbacks::shutdown, &Callbacks::shutdownArg, cb, arg);
}

int jack_set_port_registration_callback(jack_client_t* c, JackPortRegistrationCallback cb,
                                        void* arg) {
    return setCallback(c, &Callbacks::portRegistration, &Callbacks::portRegistrationArg, cb, arg);
}

int jack_set_client_registration_callback(jack_client_t* c, JackClientRegistrationCallback cb,
                                          void* arg) {
    return setCallback(c, &Callbacks::clientRegistration, &Callbacks::clientRegistrationArg, cb,
                       arg);
}

int jack_set_port_rename_callback(jack_client_t*, JackPortRenameCallback, void*) {
    return 0;  // ports are never renamed here
}

void jack_set_error_function(void (*)(const char*)) {}
void jack_set_info_function(void (*)(const char*)) {}

jack_port_t* jack_port_register(jack_client_t* c, const char* name, const char* type,
                                unsigned long flags, unsigned long) {
    Server& s = server();
    std::lock_guard lock(s.mutex);
    const std::string full = c->name + ":" + name;
    if (c->dead || findPort(full.c_str()) != nullptr) {
        return nullptr;
    }
    auto port = std::make_unique<_jack_port>();
    port->name = full;
    port->type = type;
    port->flags = flags;
    port->owner = c;
    port->id = s.nextPortId++;
    portNote(port->id, 1);
    c->ports.push_back(std::move(port));
    return c->ports.back().get();
}

const char* jack_port_name(const jack_port_t* port) {
    return port->name.c_str();
}

int jack_port_connected_to(const jack_port_t* port, const char* name) {
    std::lock_guard lock(server().mutex);
    auto* self = const_cast<jack_port_t*>(port);
    jack_port_t* other = findPort(name);
    return server().links.contains({self, other}) || server().links.contains({other, self}) ? 1 : 0;
}

const char** jack_get_ports(jack_client_t* c, const char* pattern, const char* type,
                            unsigned long flags) {
    std::lock_guard lock(server().mutex);
    std::vector<std::string> names;
    for (jack_client_t* owner : server().clients) {
        for (auto& p : owner->ports) {
            if ((p->flags & flags) == flags && (type == nullptr || p->type == type) &&
                (pattern == nullptr || p->name.find(pattern) != std::string::npos)) {
                names.push_back(p->name);
            }
        }
    }
    if (c->dead || names.empty()) {
        return nullptr;
    }
    // One block, freed by jack_free: the pointers, a null, then the texts.
    std::size_t size = (names.size() + 1) * sizeof(char*);
    for (const auto& n : names) {
        size += n.size() + 1;
    }
    auto** list = static_cast<char**>(std::malloc(size));
    char* text = reinterpret_cast<char*>(list + names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        list[i] = text;
        text = std::copy(names[i].begin(), names[i].end(), text);
        *text++ = '\0';
    }
    list[names.size()] = nullptr;
    return const_cast<const char**>(list);
}

void jack_free(void* ptr) {
    std::free(ptr);
}

int jack_connect(jack_client_t* c, const char* source, const char* destination) {
    std::lock_guard lock(server().mutex);
    jack_port_t* out = findPort(source);
    jack_port_t* in = findPort(destination);
    if (c->dead || out == nullptr || in == nullptr || (out->flags & JackPortIsOutput) == 0 ||
        (in->flags & JackPortIsInput) == 0 || out->type != in->type) {
        return -1;
    }
    return server().links.insert({out, in}).second ? 0 : EEXIST;
}

int jack_disconnect(jack_client_t* c, const char* source, const char* destination) {
    std::lock_guard lock(server().mutex);
    const std::pair link{findPort(source), findPort(destination)};
    return !c->dead && server().links.erase(link) == 1 ? 0 : -1;
}

void* jack_port_get_buffer(jack_port_t* port, jack_nframes_t) {
    return &port->buffer;
}

jack_nframes_t jack_get_sample_rate(jack_client_t* c) {
    return c->rate;
}

jack_nframes_t jack_get_buffer_size(jack_client_t* c) {
    return c->period;
}

jack_time_t jack_get_time() {
    return now();
}

jack_nframes_t jack_last_frame_time(const jack_client_t* c) {
    return c->cycleFrame;
}

jack_time_t jack_frames_to_time(const jack_client_t* c, jack_nframes_t frames) {
    const auto offset =
        static_cast<std::int64_t>(static_cast<std::int32_t>(frames - c->cycleFrame));
    return c->cycleTime + offset * 1000000 / c->rate;
}

void jack_midi_clear_buffer(void* buffer) {
    auto* b = static_cast<Buffer*>(buffer);
    b->events.clear();
    b->used = 0;
}

int jack_midi_event_write(void* buffer, jack_nframes_t time, const jack_midi_data_t* data,
                          size_t size) {
    auto* b = static_cast<Buffer*>(buffer);
    if (!b->events.empty() && time < b->events.back().time) {
        return EINVAL;
    }
    if (b->used + size > b->capacity) {
        return ENOBUFS;
    }
    b->events.push_back(Event{time, std::vector(data, data + size)});
    b->used += size;
    return 0;
}

uint32_t jack_midi_get_event_count(void* buffer) {
    return static_cast<uint32_t>(static_cast<Buffer*>(buffer)->events.size());
}

int jack_midi_event_get(jack_midi_event_t* event, void* buffer, uint32_t index) {
    auto& events = static_cast<Buffer*>(buffer)->events;
    if (index >= events.size()) {
        return ENODATA;
    }
    event->time = events[index].time;
    event->size = events[index].bytes.size();
    event->buffer = events[index].bytes.data();
    return 0;
}
