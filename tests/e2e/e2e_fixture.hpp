#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/midi/midi_manager.hpp"
#include "testing/jack_peer.hpp"
#include "testing/manual_queue.hpp"
#include "testing/wire.hpp"

namespace tarnwell::test {

inline constexpr const char* kNoJackd =
    "jackd is not installed (package jackd2): the end-to-end MIDI tests need a JACK server";

// The file the JACK API was loaded from, as the dynamic loader resolved it.
inline std::string loadedJackLibrary() {
    Dl_info info{};
    void* symbol = dlsym(RTLD_DEFAULT, "jack_client_open");
    return symbol != nullptr && dladdr(symbol, &info) != 0 && info.dli_fname != nullptr
               ? info.dli_fname
               : std::string{};
}

inline bool jackdInstalled() {
    return commandExists("jackd") && commandExists("jack_midi_dump") && commandExists("stdbuf");
}

// Starts a private JACK server into `server`; leaves it empty and skips the test
// when jackd is missing or the machine refuses another server, fails it otherwise.
inline void startPrivateServer(const std::string& name, std::unique_ptr<PrivateJackServer>& server,
                               int period = 256) {
    if (!jackdInstalled()) {
        GTEST_SKIP() << kNoJackd;
    }
    server = std::make_unique<PrivateJackServer>(name, period);
    if (server->waitReady()) {
        return;
    }
    const std::string said = server->said();
    server.reset();
    if (said.find("Too many servers already active") != std::string::npos) {
        GTEST_SKIP() << "the machine refuses another JACK server (Too many servers already active)";
    }
    ADD_FAILURE() << "could not start the JACK server " << name << ": " << said;
}

// Uses the JACK server that runs, else starts a private one for the test.
// TARNWELL_E2E_JACK_LIBRARY, when set, is a part of the loaded JACK library's
// path that must be there, and a server must answer: a run meant for
// PipeWire's JACK API must not pass on a JACK server.
class JackE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!jackdInstalled()) {
            GTEST_SKIP() << kNoJackd;
        }
        setenv("JACK_NO_START_SERVER", "1", 1);
        if (const char* required = std::getenv("TARNWELL_E2E_JACK_LIBRARY")) {
            const std::string loaded = loadedJackLibrary();
            ASSERT_NE(loaded.find(required), std::string::npos)
                << "the JACK API came from " << loaded << ", not from a library whose path has "
                << required;
            ASSERT_TRUE(jackServerAnswers())
                << "the server behind " << loaded << " does not answer";
            return;
        }
        if (jackServerAnswers()) {
            return;
        }
        startPrivateServer("tarnwell-e2e-" + std::to_string(getpid()), privateServer_);
        if (privateServer_) {
            setenv("JACK_DEFAULT_SERVER", privateServer_->name().c_str(), 1);
        }
    }

    void TearDown() override {
        if (privateServer_) {
            unsetenv("JACK_DEFAULT_SERVER");
        }
    }

    // Empty when the default server is used.
    [[nodiscard]] std::string serverName() const {
        return privateServer_ ? privateServer_->name() : std::string{};
    }

private:
    std::unique_ptr<PrivateJackServer> privateServer_;
};

// Whether JACK lets a port of the default server connect to `port`: it
// refuses while the client owning `port` has registered it but is not active.
inline bool acceptsConnections(const std::string& port) {
    jack_client_t* probe = jack_client_open("tarnwell-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) {
        return false;
    }
    jack_port_t* out =
        jack_port_register(probe, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    const bool accepts = out != nullptr && jack_activate(probe) == 0 &&
                         jack_connect(probe, jack_port_name(out), port.c_str()) == 0;
    jack_client_close(probe);
    return accepts;
}

inline bool listed(const MidiManager& manager, const std::string& name) {
    const auto& names = manager.destinations();
    return std::ranges::find(names, name) != names.end();
}

// Waits until `name` is listed, then connects to it by its index, as the picker does.
inline bool connectByIndex(ManualQueue& queue, MidiManager& manager, const std::string& name,
                           std::chrono::milliseconds timeout = 10s) {
    if (!pumpUntil(
            queue, [&] { return listed(manager, name); }, timeout)) {
        return false;
    }
    const auto& names = manager.destinations();
    manager.connectToDestination(std::ranges::find(names, name) - names.begin());
    queue.runPending();
    return manager.connectedDeviceName() == name;
}

inline void sendAll(MidiManager& manager, const std::vector<Sent>& sequences) {
    for (const Sent& s : sequences) {
        manager.sendToConnected(s.value, s.parameter);
    }
}

// `count` sequences with pairwise distinct (parameter, value).
inline std::vector<Sent> distinctSequences(int count) {
    std::vector<Sent> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        out.push_back({1 + (i % 200), (static_cast<std::int64_t>(i) * 7919) % 16384});
    }
    return out;
}

// Sends `sequences` at `perSecond`, pumping the queue between sends; returns
// the slowest send in µs.
inline double sendPaced(ManualQueue& queue, MidiManager& manager,
                        const std::vector<Sent>& sequences, int perSecond) {
    double slowest = 0;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < sequences.size(); ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000 / perSecond));
        queue.runPending();
        const auto before = Clock::now();
        manager.sendToConnected(sequences[i].value, sequences[i].parameter);
        slowest = std::max(
            slowest, std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    return slowest;
}

// Waits for `expected` at `peer`, and a little longer for anything more. Empty
// when that is what arrived; otherwise where it first departs.
inline std::string receivedDifference(const MidiPeer& peer, const std::vector<Sent>& expected,
                                      std::chrono::milliseconds timeout = 60s) {
    peer.waitForBytes(expected.size() * 12, timeout);
    peer.waitQuiet(300ms, 2s);
    const auto actual = decodeSequences(peer.bytes());
    const auto [got, want] = std::ranges::mismatch(actual, expected);
    if (got == actual.end() && want == expected.end()) {
        return {};
    }
    std::ostringstream out;
    out << "sizes " << actual.size() << " and " << expected.size() << "; first difference at "
        << got - actual.begin();
    return out.str();
}

}  // namespace tarnwell::test
