#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Process start-up, before Qt or any thread exists: which JACK library the
// program runs on. No Qt here; main calls it first.
namespace tarnwell::startup {

// Desktops that run PipeWire carry JACK clients through PipeWire's own JACK
// library, which `pw-jack` puts first on the library path. The program links
// the system's libjack, which on most such desktops only reaches a JACK server.
// When PipeWire runs, no JACK server answers and PipeWire's JACK library is
// installed, the program starts again (same argv, same process id) with that
// library first on the library path, so PipeWire's MIDI ports are listed
// without the user typing `pw-jack`. A JACK server that answers always wins:
// the program then stays on it, whether PipeWire runs or not.
//
// The restarted program gives the caller's LD_LIBRARY_PATH back (or unsets it)
// as its first act: the dynamic loader has read it by then, and processes the
// program starts inherit what the user's own environment had.

// What `useJackOfRunningPipeWire` did for this process.
enum class JackLibrary {
    asStarted,  // the library the program was started with; nothing changed
    pipeWire,   // this is the restarted program, on PipeWire's JACK library
};

// Looks up an environment variable: nullptr when it is not set.
using EnvLookup = std::function<const char*(const char*)>;
EnvLookup processEnvironment();

// One environment assignment; no value means the variable is removed.
struct EnvChange {
    std::string name;
    std::optional<std::string> value;
    bool operator==(const EnvChange&) const = default;
};
void apply(const std::vector<EnvChange>& changes);

// The folder of PipeWire's JACK library ("<dir>/pipewire-0.3/jack", where
// libjack.so.0 can be read) under the first of `libraryDirs` that has one.
std::optional<std::string> findPipeWireJackDir(const std::vector<std::string>& libraryDirs);

// The library folders of this system, as the dynamic loader resolved them for
// this process: the folder it loaded libjack from, then the one it loaded the
// C library from (both the multiarch folder on Debian), then /usr/lib64 and
// /usr/lib. This is the folder `pw-jack` names as /usr/${LIB}.
std::vector<std::string> loaderLibraryDirs();

// The path of PipeWire's socket: PIPEWIRE_REMOTE (default "pipewire-0"),
// relative to PIPEWIRE_RUNTIME_DIR or else XDG_RUNTIME_DIR. Empty when it
// cannot be named.
std::string pipeWireSocketPath(const EnvLookup& env);

// True when a Unix stream socket at `path` accepts a connection. A socket file
// left behind by a server that died does not.
bool socketAccepts(const std::string& path);

// True when a JACK server answers the system's libjack (never starts one).
bool jackServerAnswers();

// The changes that start the restarted program on `jackDir`'s library, the
// caller's LD_LIBRARY_PATH kept aside for `callerEnvironment`.
std::vector<EnvChange> restartEnvironment(const std::string& jackDir, const EnvLookup& env);

// In the restarted program, the changes that give back the caller's
// environment; empty in a program that was not restarted.
std::vector<EnvChange> callerEnvironment(const EnvLookup& env);

// What the decision asks of the system; tests give their own answers.
struct Probes {
    std::function<std::vector<std::string>()> libraryDirs;
    std::function<bool()> pipeWireRuns;
    std::function<bool()> jackServerAnswers;
};
Probes systemProbes();

// Call first in main, before any thread or window exists. Setting
// TARNWELL_NO_PIPEWIRE_JACK (to anything) keeps the library the program was
// started with. Returns in the program that goes on; prints nothing.
JackLibrary useJackOfRunningPipeWire(char** argv, const Probes& probes = systemProbes());

}  // namespace tarnwell::startup
