#include "app/startup_jack.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <jack/jack.h>

namespace tarnwell::startup {

namespace {

constexpr const char* kOptOut = "TARNWELL_NO_PIPEWIRE_JACK";
constexpr const char* kLibraryPath = "LD_LIBRARY_PATH";
// Set only in the restarted program, to the caller's LD_LIBRARY_PATH after an
// '=' ("=/opt/lib", "=" for set but empty), or empty when it was not set.
constexpr const char* kCallerLibraryPath = "TARNWELL_CALLER_LD_LIBRARY_PATH";

void discardJackText(const char*) {}

// The folder of the file the dynamic loader loaded `symbol` from.
std::optional<std::string> folderOf(const char* symbol) {
    Dl_info info{};
    void* address = dlsym(RTLD_DEFAULT, symbol);
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return std::nullopt;
    }
    const std::string file = info.dli_fname;
    const auto slash = file.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return std::nullopt;
    }
    return file.substr(0, slash);
}

bool nonEmpty(const char* value) {
    return value != nullptr && *value != '\0';
}

}  // namespace

EnvLookup processEnvironment() {
    return [](const char* name) { return static_cast<const char*>(std::getenv(name)); };
}

void apply(const std::vector<EnvChange>& changes) {
    for (const EnvChange& change : changes) {
        if (change.value) {
            setenv(change.name.c_str(), change.value->c_str(), 1);
        } else {
            unsetenv(change.name.c_str());
        }
    }
}

std::optional<std::string> findPipeWireJackDir(const std::vector<std::string>& libraryDirs) {
    for (const std::string& dir : libraryDirs) {
        const std::string jackDir = dir + "/pipewire-0.3/jack";
        if (access((jackDir + "/libjack.so.0").c_str(), R_OK) == 0) {
            return jackDir;
        }
    }
    return std::nullopt;
}

std::vector<std::string> loaderLibraryDirs() {
    std::vector<std::string> dirs;
    const auto add = [&dirs](const std::optional<std::string>& dir) {
        if (dir && std::find(dirs.begin(), dirs.end(), *dir) == dirs.end()) {
            dirs.push_back(*dir);
        }
    };
    // Looked up by name: the address of a function taken here could be a
    // stub of this executable rather than the library's own.
    add(folderOf("jack_client_open"));
    add(folderOf("gnu_get_libc_version"));
    add(std::string("/usr/lib64"));
    add(std::string("/usr/lib"));
    return dirs;
}

std::string pipeWireSocketPath(const EnvLookup& env) {
    const char* remote = env("PIPEWIRE_REMOTE");
    std::string path = nonEmpty(remote) ? remote : "pipewire-0";
    if (path.front() == '/') {
        return path;
    }
    const char* dir = env("PIPEWIRE_RUNTIME_DIR");
    if (!nonEmpty(dir)) {
        dir = env("XDG_RUNTIME_DIR");
    }
    if (!nonEmpty(dir)) {
        return {};
    }
    return std::string(dir) + "/" + path;
}

bool socketAccepts(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
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

std::vector<EnvChange> restartEnvironment(const std::string& jackDir, const EnvLookup& env) {
    const char* caller = env(kLibraryPath);
    std::string path = jackDir;
    if (nonEmpty(caller)) {
        path += ":";
        path += caller;
    }
    return {{kCallerLibraryPath, caller != nullptr ? "=" + std::string(caller) : std::string{}},
            {kLibraryPath, path}};
}

std::vector<EnvChange> callerEnvironment(const EnvLookup& env) {
    const char* kept = env(kCallerLibraryPath);
    if (kept == nullptr) {
        return {};
    }
    std::optional<std::string> caller;
    if (*kept == '=') {
        caller = kept + 1;
    }
    return {{kLibraryPath, caller}, {kCallerLibraryPath, std::nullopt}};
}

Probes systemProbes() {
    return {loaderLibraryDirs,
            [] { return socketAccepts(pipeWireSocketPath(processEnvironment())); },
            jackServerAnswers};
}

JackLibrary useJackOfRunningPipeWire(char** argv, const Probes& probes) {
    const EnvLookup env = processEnvironment();
    if (const auto restore = callerEnvironment(env); !restore.empty()) {
        apply(restore);
        return JackLibrary::pipeWire;
    }
    if (env(kOptOut) != nullptr || !probes.pipeWireRuns()) {
        return JackLibrary::asStarted;
    }
    const auto jackDir = findPipeWireJackDir(probes.libraryDirs());
    if (!jackDir || probes.jackServerAnswers()) {
        return JackLibrary::asStarted;
    }
    const auto change = restartEnvironment(*jackDir, env);
    const auto undo = callerEnvironment([&change](const char* name) -> const char* {
        return name == change.front().name ? change.front().value->c_str() : nullptr;
    });
    apply(change);
    execv("/proc/self/exe", argv);
    // The restart failed: go on with the JACK library already loaded.
    apply(undo);
    return JackLibrary::asStarted;
}

}  // namespace tarnwell::startup
