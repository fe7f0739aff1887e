#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace tarnwell::test {

// What the start-up helper printed: its own lines ("helper: key=value") and
// the environment its child inherited, one variable a line.
struct HelperRun {
    bool finished = false;
    int status = -1;
    std::map<std::string, std::string> said;
    std::map<std::string, std::string> childEnv;
    std::string output;
};

// Runs `args` in this environment changed by `env` (no value: removed) until
// it ends; one still running after `deadline` (a restart loop) is killed.
inline HelperRun runHelper(const std::vector<std::string>& args,
                           const std::map<std::string, std::optional<std::string>>& env,
                           std::chrono::seconds deadline = std::chrono::seconds(60)) {
    const auto quoted = [](const std::string& word) {
        std::string out = "'";
        for (const char c : word) {
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return out + "'";
    };
    std::string command = "timeout -s KILL " + std::to_string(deadline.count()) + " env";
    for (const auto& [name, value] : env) {
        command += value ? "" : " -u " + quoted(name);
    }
    for (const auto& [name, value] : env) {
        command += value ? " " + quoted(name + "=" + *value) : "";
    }
    for (const std::string& arg : args) {
        command += " " + quoted(arg);
    }
    HelperRun run;
    FILE* pipe = popen((command + " </dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.output.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.finished = run.status != 124 && run.status != 128 + SIGKILL;  // `timeout` killed it
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        const bool own = line.starts_with("helper: ");
        const std::string entry = own ? line.substr(8) : line;
        if (const auto eq = entry.find('='); eq != std::string::npos) {
            (own ? run.said : run.childEnv)[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    }
    return run;
}

}  // namespace tarnwell::test
