#include "core/midi/jack_input.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <jack/jack.h>
#include <jack/midiport.h>

#include "core/base/wake_signal.hpp"

namespace tarnwell {

void JackMidiInput::setWake(std::shared_ptr<WakeSignal> wake) {
    wake_ = std::move(wake);
    queue_.setWake(wake_.get());
}

std::vector<DestinationInfo> JackMidiInput::sources() const {
    std::lock_guard lock(mutex_);
    return sources_;
}

bool JackMidiInput::selectSource(EndpointRef source, std::uint8_t stream) {
    queue_.setStream(stream);
    std::lock_guard lock(mutex_);
    std::string name;
    for (const DestinationInfo& s : sources_) {
        if (s.endpoint == source && source != 0) {
            name = s.name.value_or(std::string());
        }
    }
    const bool changed = name != selected_;
    selected_ = std::move(name);
    return changed;
}

void JackMidiInput::registerPort(jack_client_t* client, const std::string& name) {
    jack_port_t* port =
        jack_port_register(client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    wired_.clear();
    client_.store(client, std::memory_order_release);
    port_.store(port, std::memory_order_release);
}

bool JackMidiInput::listSources(jack_client_t* client, const std::string& ownPrefix,
                                const std::function<EndpointRef(const std::string&)>& handleFor) {
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    std::vector<DestinationInfo> list;
    presentSources_.clear();
    if (ports != nullptr) {
        for (const char** p = ports; *p != nullptr; ++p) {
            const std::string name(*p);
            if (name.starts_with(ownPrefix)) {
                continue;
            }
            if (const EndpointRef handle = handleFor(name); handle != 0) {
                list.push_back(DestinationInfo{handle, name});
                presentSources_.insert(name);
            }
        }
        jack_free(static_cast<void*>(ports));
    }
    // The wiring is checked again after every listing: a source that quit
    // and came back within one burst of notifications is listed all along
    // but has lost its connection.
    recheck_ = true;
    std::lock_guard lock(mutex_);
    const bool changed = list != sources_;
    sources_ = std::move(list);
    return changed;
}

void JackMidiInput::reconcile(jack_client_t* client) {
    jack_port_t* port = port_.load(std::memory_order_acquire);
    if (port == nullptr) {
        return;
    }
    std::string wanted;
    {
        std::lock_guard lock(mutex_);
        wanted = selected_;
    }
    if (!wanted.empty() && wanted == wired_ && !recheck_) {
        return;
    }
    recheck_ = false;
    const char* ourName = jack_port_name(port);
    if (!wired_.empty() && wired_ != wanted) {
        jack_disconnect(client, wired_.c_str(), ourName);
        wired_.clear();
    }
    if (wanted.empty() || !presentSources_.contains(wanted)) {
        return;
    }
    if (jack_port_connected_to(port, wanted.c_str()) == 0) {
        const int rc = jack_connect(client, wanted.c_str(), ourName);
        if (rc != 0 && rc != EEXIST) {
            return;
        }
    }
    wired_ = wanted;
}

void JackMidiInput::clientClosed() {
    port_.store(nullptr, std::memory_order_release);
    client_.store(nullptr, std::memory_order_release);
    presentSources_.clear();
    wired_.clear();
    std::lock_guard lock(mutex_);
    sources_.clear();
}

// Real-time thread. JACK stamps an event with its frame within the cycle;
// the engine works on the steady clock, so each stamp is moved there through
// the offset between JACK's clock and the steady clock, read together now.
void JackMidiInput::process(std::uint32_t frames) {
    jack_port_t* port = port_.load(std::memory_order_acquire);
    jack_client_t* client = client_.load(std::memory_order_acquire);
    if (port == nullptr || client == nullptr) {
        return;
    }
    void* buffer = jack_port_get_buffer(port, frames);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    if (count == 0) {
        return;
    }
    const auto steadyNow = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
    const auto jackNow = static_cast<std::int64_t>(jack_get_time());
    const jack_nframes_t cycleStart = jack_last_frame_time(client);
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) {
            continue;
        }
        const auto at =
            static_cast<std::int64_t>(jack_frames_to_time(client, cycleStart + event.time));
        const std::int64_t time = steadyNow - std::max<std::int64_t>(0, jackNow - at) * 1000;
        queue_.received(time, std::span<const std::uint8_t>(event.buffer, event.size));
    }
}

}  // namespace tarnwell
