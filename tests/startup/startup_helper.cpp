// A stand-in for the program's main, for the start-up tests: decides the JACK
// library as main does, then says what it did and which libjack the loader
// gave it, and becomes `env`, which prints the environment it inherited.
// Usage: tarnwell_startup_helper system
//        tarnwell_startup_helper PIPEWIRE_RUNS JACK_ANSWERS [LIBRARY_DIR...]
// (PIPEWIRE_RUNS and JACK_ANSWERS are 0 or 1: the probes' answers.)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#include "app/startup_jack.hpp"

int main(int argc, char** argv) {
    using namespace tarnwell::startup;
    if (argc < 2) {
        return 2;
    }
    Probes probes = systemProbes();
    if (std::strcmp(argv[1], "system") != 0) {
        if (argc < 3) {
            return 2;
        }
        const bool pipeWire = std::strcmp(argv[1], "1") == 0;
        const bool jack = std::strcmp(argv[2], "1") == 0;
        std::vector<std::string> dirs(argv + 3, argv + argc);
        probes = {[dirs] { return dirs; }, [pipeWire] { return pipeWire; },
                  [jack] { return jack; }};
    }
    const JackLibrary library = useJackOfRunningPipeWire(argv, probes);
    Dl_info info{};
    void* open = dlsym(RTLD_DEFAULT, "jack_client_open");
    std::printf("helper: library=%s\n",
                library == JackLibrary::pipeWire ? "pipeWire" : "asStarted");
    std::printf(
        "helper: libjack=%s\n",
        open != nullptr && dladdr(open, &info) != 0 && info.dli_fname ? info.dli_fname : "");
    std::fflush(stdout);
    execlp("env", "env", nullptr);  // what a child of the program inherits
    return 3;
}
