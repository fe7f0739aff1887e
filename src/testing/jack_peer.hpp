#pragma once

// Helpers for tests and measurements over a real JACK transport: child
// processes (a JACK server, a receiving peer) and pumping a manual main queue.
// Every wait has a deadline.

#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jack/jack.h>
#include <jack/midiport.h>

#include "testing/manual_queue.hpp"
#include "testing/test_time.hpp"

extern char** environ;

namespace tarnwell::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Runs `queue` until `done` holds or `timeout` (scaled) passes. Returns `done()`.
inline bool pumpUntil(ManualQueue& queue, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    while (true) {
        queue.runPending();
        if (done()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
}

inline bool commandExists(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// True when a JACK server named `server` (empty: the default one) answers.
inline bool jackServerAnswers(const std::string& server = {}) {
    const auto options = server.empty()
                             ? JackNoStartServer
                             : static_cast<jack_options_t>(JackNoStartServer | JackServerName);
    jack_client_t* client = jack_client_open("tarnwell-probe", options, nullptr, server.c_str());
    const bool answers = client != nullptr;
    if (answers) {
        jack_client_close(client);
    }
    return answers;
}

// A child process whose standard output and error are read line by line.
class ChildProcess {
public:
    using LineHandler = std::function<void(const std::string&)>;

    // Runs `argv` in the environment of this process (prefix it with "env"
    // and assignments to add to that). With `feedInput`, its standard input
    // is a pipe `writeLine` writes to; otherwise /dev/null.
    ChildProcess(std::vector<std::string> argv, LineHandler onLine, bool feedInput = false)
        : onLine_(std::move(onLine)) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        int input[2] = {-1, -1};
        if (feedInput && pipe2(input, O_CLOEXEC) != 0) {
            close(fds[0]);
            close(fds[1]);
            return;
        }
        // Room for a long burst of lines while the reading thread is not
        // scheduled, so the child never waits on us.
        fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        if (feedInput) {
            posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        }

        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);

        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (feedInput) {
            close(input[0]);
            writeFd_ = input[1];
        }
        readFd_ = fds[0];
        reader_ = std::thread([this] { readLines(); });
    }

    ~ChildProcess() {
        if (writeFd_ >= 0) {
            close(writeFd_);
        }
        stop(SIGTERM);
        if (reader_.joinable()) {
            reader_.join();
        }
        if (readFd_ >= 0) {
            close(readFd_);
        }
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes `line` and a newline to the child's standard input (when it was
    // made with `feedInput`). Returns whether all of it was written.
    bool writeLine(const std::string& line) {
        if (writeFd_ < 0) {
            return false;
        }
        const std::string text = line + "\n";
        return ::write(writeFd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // Sends `signal` and reaps the child (SIGKILL after 5 s if it lingers).
    void stop(int signal) {
        if (pid_ <= 0) {
            return;
        }
        kill(pid_, signal);
        const auto deadline = Clock::now() + 5s;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(5ms);
        }
        pid_ = -1;
    }

private:
    void readLines() {
        std::string pending;
        char buffer[65536];
        while (true) {
            const ssize_t n = read(readFd_, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                break;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t nl = pending.find('\n'); nl != std::string::npos;
                 nl = pending.find('\n', start)) {
                onLine_(pending.substr(start, nl - start));
                start = nl + 1;
            }
            pending.erase(0, start);
        }
    }

    LineHandler onLine_;
    pid_t pid_ = -1;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::thread reader_;
};

// A JACK server of its own, with the dummy driver at 48 kHz, period 256.
class PrivateJackServer {
public:
    // `period`: frames per cycle at 48 kHz (256 is about 5 ms).
    explicit PrivateJackServer(std::string name, int period = 256)
        : name_(std::move(name)),
          process_(
              {"jackd", "-n", name_, "-d", "dummy", "-r", "48000", "-p", std::to_string(period)},
              [this](const std::string& line) {
                  const std::lock_guard lock(mutex_);
                  said_ += line + "\n";
              }) {}

    [[nodiscard]] const std::string& name() const { return name_; }
    // What the server has printed so far, on either stream.
    [[nodiscard]] std::string said() const {
        const std::lock_guard lock(mutex_);
        return said_;
    }

    bool waitReady(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = Clock::now() + scaled(timeout);
        while (Clock::now() < deadline) {
            if (jackServerAnswers(name_)) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    void kill(int signal = SIGKILL) { process_.stop(signal); }

private:
    std::string name_;
    mutable std::mutex mutex_;
    std::string said_;
    ChildProcess process_;  // last: its reader thread writes `said_`
};

// A receiving JACK MIDI peer in a process of its own. Collects the bytes of
// the events it prints, one "frame: b0 63 00" line per event.
// - `jackMidiDump`: jack_midi_dump, nobody here wrote it; port
//   "midi-monitor:input". Its printing thread is not real-time and its buffer
//   is small, so a long fast stream may overflow it on a busy machine (it then
//   says "ringbuffer was full").
// - `pythonRtMidi`: tests/support/midi_peer.py on python3-rtmidi; port
//   "<client>:input", "midi-peer:input" by default. Takes events on the JACK thread, loses none to
//   a slow printer.
class MidiPeer {
public:
    enum class Kind { jackMidiDump, pythonRtMidi };
    static constexpr const char* kDumpPort = "midi-monitor:input";

    // `server` empty: the default server. `pythonClient` names the python
    // peer's client, so that several can run at once.
    explicit MidiPeer(Kind kind, const std::string& server = {},
                      const std::string& pythonClient = "midi-peer")
        : port_(kind == Kind::jackMidiDump ? kDumpPort : pythonClient + ":input"),
          process_({"env", "JACK_NO_START_SERVER=1",
                    server.empty() ? "JACK_NO_START_SERVER=1" : "JACK_DEFAULT_SERVER=" + server,
                    kind == Kind::jackMidiDump ? "stdbuf" : "/usr/bin/python3",
                    kind == Kind::jackMidiDump ? "-oL" : TARNWELL_MIDI_PEER_SCRIPT,
                    kind == Kind::jackMidiDump ? "jack_midi_dump" : pythonClient},
                   [this](const std::string& line) { onLine(line); }) {}

    [[nodiscard]] const std::string& port() const { return port_; }

    std::vector<std::uint8_t> bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    // Lines that are not events, such as the monitor's overflow reports.
    std::vector<std::string> otherLines() const {
        std::lock_guard lock(mutex_);
        return other_;
    }

    // Waits until at least `count` bytes arrived; returns whether they did.
    bool waitForBytes(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, scaled(timeout), [&] { return bytes_.size() >= count; });
    }

    // Waits until no byte arrived for `quiet`, for about `timeout` at most.
    void waitQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) const {
        const auto deadline = Clock::now() + scaled(timeout);
        std::unique_lock lock(mutex_);
        for (std::size_t seen = SIZE_MAX; seen != bytes_.size() && Clock::now() < deadline;) {
            seen = bytes_.size();
            arrived_.wait_for(lock, quiet, [&] { return bytes_.size() != seen; });
        }
    }

    void stop() { process_.stop(SIGTERM); }

private:
    // Events are "<frame>: b0 63 00"; anything else is kept as it is.
    void onLine(const std::string& line) {
        const auto colon = line.find(':');
        std::vector<std::uint8_t> parsed;
        if (colon != std::string::npos && colon > 0 &&
            line.find_first_not_of(" 0123456789") == colon) {
            std::istringstream in(line.substr(colon + 1));
            std::string hex;
            while (in >> hex && hex.size() == 2 &&
                   std::isxdigit(static_cast<unsigned char>(hex[0])) &&
                   std::isxdigit(static_cast<unsigned char>(hex[1]))) {
                parsed.push_back(static_cast<std::uint8_t>(std::stoi(hex, nullptr, 16)));
            }
        }
        std::lock_guard lock(mutex_);
        if (!parsed.empty()) {
            bytes_.insert(bytes_.end(), parsed.begin(), parsed.end());
            arrived_.notify_all();
        } else if (!line.empty()) {
            other_.push_back(line);
        }
    }

    const std::string port_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::string> other_;
    ChildProcess process_;  // last: its reader thread uses the members above
};

// A sending JACK MIDI peer in a process of its own: a hardware controller for
// tests, tests/support/midi_sender.py on python3-rtmidi, with the output port
// "<client>:output". Each `send` is one message, sent when the script reads
// it; pace them well under a hundred a JACK period.
class MidiSender {
public:
    explicit MidiSender(const std::string& server = {}, const std::string& client = "midi-sender")
        : port_(client + ":output"),
          process_(
              {"env", "JACK_NO_START_SERVER=1",
               server.empty() ? "JACK_NO_START_SERVER=1" : "JACK_DEFAULT_SERVER=" + server,
               "/usr/bin/python3", scriptPath(), client},
              [this](const std::string& line) { onLine(line); }, true) {}

    [[nodiscard]] const std::string& port() const { return port_; }

    bool waitReady(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, scaled(timeout), [this] { return ready_; });
    }
    // Sends one message (or waits `ms` for a "wait ms" line).
    bool send(const std::vector<std::uint8_t>& message) {
        std::string line;
        for (const std::uint8_t b : message) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x ", b);
            line += hex;
        }
        return process_.writeLine(line);
    }
    // Waits until `count` messages have been sent in all.
    bool waitSent(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, scaled(timeout), [&] { return sent_ >= count; });
    }
    void stop() { process_.stop(SIGTERM); }

private:
    static std::string scriptPath() {
        std::string path = TARNWELL_MIDI_PEER_SCRIPT;
        path.replace(path.rfind("midi_peer.py"), std::string("midi_peer.py").size(),
                     "midi_sender.py");
        return path;
    }
    void onLine(const std::string& line) {
        std::lock_guard lock(mutex_);
        if (line == "ready") {
            ready_ = true;
        } else if (line.starts_with("sent ")) {
            sent_ = std::stoul(line.substr(5));
        }
        changed_.notify_all();
    }

    const std::string port_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;
    std::size_t sent_ = 0;
    ChildProcess process_;  // last: its reader thread uses the members above
};

// An in-process JACK client with one MIDI input port, "tarnwell-sink:in", on
// the default server. Stamps each event with jack_get_time() when its process
// callback sees it, keeps its first three bytes, and keeps the largest number
// of events seen in one cycle.
class JackSink {
public:
    static constexpr const char* kPort = "tarnwell-sink:in";

    // On the default server, as client `name` with the port `name`:in.
    explicit JackSink(const std::string& name = "tarnwell-sink")
        : portName_(name + ":in"), stamps_(1 << 20), events_(1 << 20) {
        client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
        if (client_ == nullptr) {
            return;
        }
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &JackSink::process, this);
        jack_activate(client_);
    }
    ~JackSink() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }
    JackSink(const JackSink&) = delete;
    JackSink& operator=(const JackSink&) = delete;

    [[nodiscard]] bool ok() const { return client_ != nullptr && port_ != nullptr; }
    [[nodiscard]] const std::string& portName() const { return portName_; }
    // Events received so far; each has a running number from 0.
    [[nodiscard]] std::size_t count() const { return count_.load(std::memory_order_acquire); }
    // Arrival time of the event with this running number.
    [[nodiscard]] jack_time_t stamp(std::size_t i) const { return stamps_[i]; }
    // The first three bytes of the event with this running number.
    [[nodiscard]] const std::array<std::uint8_t, 3>& event(std::size_t i) const {
        return events_[i];
    }
    [[nodiscard]] std::size_t maxPerCycle() const { return maxPerCycle_.load(); }

    bool waitFor(std::size_t n, std::chrono::milliseconds timeout) const {
        const auto deadline = Clock::now() + scaled(timeout);
        while (count() < n && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        return count() >= n;
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackSink*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        const jack_time_t now = jack_get_time();
        const std::uint32_t n = jack_midi_get_event_count(buffer);
        std::size_t index = self->count_.load(std::memory_order_relaxed);
        for (std::uint32_t i = 0; i < n && index < self->stamps_.size(); ++i, ++index) {
            self->stamps_[index] = now;
            jack_midi_event_t event;
            self->events_[index] = {};
            if (jack_midi_event_get(&event, buffer, i) == 0) {
                for (std::size_t b = 0; b < event.size && b < 3; ++b) {
                    self->events_[index][b] = event.buffer[b];
                }
            }
        }
        if (n > self->maxPerCycle_.load(std::memory_order_relaxed)) {
            self->maxPerCycle_.store(n, std::memory_order_relaxed);
        }
        self->count_.store(index, std::memory_order_release);
        return 0;
    }

    std::string portName_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::vector<jack_time_t> stamps_;
    std::vector<std::array<std::uint8_t, 3>> events_;
    std::atomic<std::size_t> count_{0};
    std::atomic<std::size_t> maxPerCycle_{0};
};

// An in-process JACK client with one MIDI output port, "tarnwell-source:out",
// on the default server: a controller whose sends are timed in its process
// callback. `send` puts one message out in the next cycle and stamps it with
// jack_get_time(); `stream` sends CC 74 on channel 1 at a steady rate, its
// values running 0-127, spread over each cycle.
class JackSource {
public:
    static constexpr const char* kPort = "tarnwell-source:out";

    JackSource() {
        client_ = jack_client_open("tarnwell-source", JackNoStartServer, nullptr);
        if (client_ == nullptr) {
            return;
        }
        sampleRate_ = jack_get_sample_rate(client_);
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &JackSource::process, this);
        jack_activate(client_);
    }
    ~JackSource() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }
    JackSource(const JackSource&) = delete;
    JackSource& operator=(const JackSource&) = delete;

    [[nodiscard]] bool ok() const { return client_ != nullptr && port_ != nullptr; }

    // Sends `message` in the next cycle. Returns at once; `sent` tells when.
    void send(std::array<std::uint8_t, 3> message) {
        pending_ = message;
        requested_.fetch_add(1, std::memory_order_release);
    }
    // How many `send`s have gone out, and when the last one did.
    [[nodiscard]] std::uint64_t sent() const { return done_.load(std::memory_order_acquire); }
    [[nodiscard]] jack_time_t sentAt() const { return sentAt_.load(std::memory_order_acquire); }
    bool waitSent(std::uint64_t count, std::chrono::milliseconds timeout) const {
        const auto deadline = Clock::now() + scaled(timeout);
        while (sent() < count && Clock::now() < deadline) {
            std::this_thread::sleep_for(100us);
        }
        return sent() >= count;
    }

    // Messages a second of the stream; 0 stops it.
    void stream(double perSecond) { rate_.store(perSecond, std::memory_order_release); }
    [[nodiscard]] std::uint64_t streamed() const {
        return streamed_.load(std::memory_order_acquire);
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackSource*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        jack_midi_clear_buffer(buffer);
        const std::uint64_t requested = self->requested_.load(std::memory_order_acquire);
        if (requested != self->done_.load(std::memory_order_relaxed)) {
            jack_midi_event_write(buffer, 0, self->pending_.data(), self->pending_.size());
            self->sentAt_.store(jack_get_time(), std::memory_order_release);
            self->done_.store(requested, std::memory_order_release);
        }
        const double rate = self->rate_.load(std::memory_order_acquire);
        if (rate <= 0) {
            self->owed_ = 0;
            return 0;
        }
        self->owed_ += rate * frames / self->sampleRate_;
        const auto count = static_cast<std::uint32_t>(self->owed_);
        self->owed_ -= count;
        std::uint64_t streamed = self->streamed_.load(std::memory_order_relaxed);
        for (std::uint32_t i = 0; i < count; ++i, ++streamed) {
            const std::array<std::uint8_t, 3> cc{0xB0, 74,
                                                 static_cast<std::uint8_t>(streamed & 127)};
            jack_midi_event_write(buffer, i * frames / count, cc.data(), cc.size());
        }
        self->streamed_.store(streamed, std::memory_order_release);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    double sampleRate_ = 48000;
    std::array<std::uint8_t, 3> pending_{};
    std::atomic<std::uint64_t> requested_{0};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<jack_time_t> sentAt_{0};
    std::atomic<double> rate_{0};
    double owed_ = 0;  // process callback only
    std::atomic<std::uint64_t> streamed_{0};
};

}  // namespace tarnwell::test
