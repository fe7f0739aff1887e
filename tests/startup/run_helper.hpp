#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// Runs the helper with `args` in this process's environment changed by
// `env` (no value: removed), and reads what it prints until it ends. A helper
// still running after `deadline` (a restart loop) is killed: finished stays
// false.
inline HelperRun runHelper(const std::vector<std::string>& args,
                           const std::map<std::string, std::optional<std::string>>& env,
                           std::chrono::seconds deadline = std::chrono::seconds(60)) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!env.contains(entry.substr(0, entry.find('=')))) {
            entries.push_back(entry);
        }
    }
    for (const auto& [name, value] : env) {
        if (value) {
            entries.push_back(name + "=" + *value);
        }
    }
    std::vector<char*> envp;
    for (auto& entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argv(args);
    std::vector<char*> argp;
    for (auto& arg : argv) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);

    HelperRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return run;
    }
    const auto end = std::chrono::steady_clock::now() + deadline;
    bool open = true;
    while (open) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got > 0) {
            run.output.append(buffer, static_cast<std::size_t>(got));
        } else {
            open = false;
        }
    }
    close(fds[0]);
    if (open) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.finished = !open;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::size_t start = 0;
    while (start < run.output.size()) {
        auto stop = run.output.find('\n', start);
        if (stop == std::string::npos) {
            stop = run.output.size();
        }
        std::string line = run.output.substr(start, stop - start);
        start = stop + 1;
        auto& into = line.starts_with("helper: ") ? run.said : run.childEnv;
        if (line.starts_with("helper: ")) {
            line.erase(0, 8);
        }
        if (const auto eq = line.find('='); eq != std::string::npos) {
            into[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return run;
}

}  // namespace tarnwell::test
