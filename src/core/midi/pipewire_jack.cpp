#include "core/midi/pipewire_jack.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <jack/jack.h>

namespace tarnwell {

namespace {

constexpr const char* kOptOut = "TARNWELL_NO_PIPEWIRE_JACK";

void discardJackText(const char*) {}

// PipeWire's socket is PIPEWIRE_REMOTE (default "pipewire-0"), relative to
// PIPEWIRE_RUNTIME_DIR or else XDG_RUNTIME_DIR. It runs when that socket
// accepts a connection; a socket left behind by a PipeWire that died does not.
bool pipeWireRuns() {
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    std::string path = remote != nullptr && *remote != '\0' ? remote : "pipewire-0";
    if (path.front() != '/') {
        const char* dir = std::getenv("PIPEWIRE_RUNTIME_DIR");
        if (dir == nullptr || *dir == '\0') {
            dir = std::getenv("XDG_RUNTIME_DIR");
        }
        if (dir == nullptr || *dir == '\0') {
            return false;
        }
        path = std::string(dir) + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool accepted =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

bool jackServerAnswers() {
    jack_set_error_function(discardJackText);
    jack_set_info_function(discardJackText);
    jack_client_t* client = jack_client_open("tarnwell-probe", JackNoStartServer, nullptr);
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}

}  // namespace

void useJackOfRunningPipeWire(char** argv) {
    if (std::getenv(kOptOut) != nullptr) {
        return;
    }
    const std::string library = std::string(TARNWELL_PIPEWIRE_JACK_DIR) + "/libjack.so.0";
    if (access(library.c_str(), R_OK) != 0 || !pipeWireRuns() || jackServerAnswers()) {
        return;
    }
    std::string path = TARNWELL_PIPEWIRE_JACK_DIR;
    if (const char* old = std::getenv("LD_LIBRARY_PATH"); old != nullptr && *old != '\0') {
        path += ":";
        path += old;
    }
    setenv("LD_LIBRARY_PATH", path.c_str(), 1);
    setenv(kOptOut, "1", 1);
    execv("/proc/self/exe", argv);
    // The restart failed: go on with the JACK library already loaded.
    unsetenv(kOptOut);
}

}  // namespace tarnwell
