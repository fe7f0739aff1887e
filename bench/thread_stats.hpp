#pragma once

// Per-thread wake-ups and CPU time of a process, read from /proc: a wake-up is
// a context switch (voluntary: the thread slept and was woken; nonvoluntary:
// it was preempted and resumed), CPU time is the scheduler's run time. Depends
// on nothing but the standard library, so the probe that is loaded into other
// builds of the program can use it too.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sched.h>
#include <sys/types.h>

namespace tarnwell::bench {

struct ThreadSample {
    std::string name;
    int policy = SCHED_OTHER;
    std::uint64_t switches = 0;  // voluntary + nonvoluntary
    std::uint64_t runNs = 0;
};

// `process` is "self" or a process id.
inline std::map<pid_t, ThreadSample> sampleThreads(const std::string& process = "self") {
    std::map<pid_t, ThreadSample> threads;
    const std::string dir = "/proc/" + process + "/task";
    DIR* tasks = opendir(dir.c_str());
    if (tasks == nullptr) {
        return threads;
    }
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') {
            continue;
        }
        const std::string task = dir + "/" + entry->d_name;
        ThreadSample sample;
        std::getline(std::ifstream(task + "/comm"), sample.name);
        std::ifstream status(task + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                sample.switches += std::stoull(line.substr(line.find(':') + 1));
            }
        }
        std::ifstream(task + "/schedstat") >> sample.runNs;
        // Field 41 of stat, counted after the parenthesised name.
        std::ifstream statFile(task + "/stat");
        const std::string stat((std::istreambuf_iterator<char>(statFile)),
                               std::istreambuf_iterator<char>());
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 41 && fields >> field; ++i) {
            if (i == 41) {
                sample.policy = std::stoi(field);
            }
        }
        threads[static_cast<pid_t>(std::stol(entry->d_name))] = sample;
    }
    closedir(tasks);
    return threads;
}

// One thread's figures over a period.
struct ThreadFigures {
    pid_t tid = 0;
    std::string name;
    bool realTime = false;  // JACK's process thread when the server runs real-time
    double wakeupsPerSecond = 0;
    double cpuPercent = 0;
};

struct ProcessFigures {
    std::vector<ThreadFigures> threads;
    // Every thread but JACK's process thread (the real-time ones, or when
    // none is real-time the busiest thread named "jack-process").
    double ownWakeupsPerSecond = 0;
    double ownCpuPercent = 0;
    double jackWakeupsPerSecond = 0;
    double jackCpuPercent = 0;
};

// Threads present at both samples; `seconds` apart.
inline ProcessFigures compare(const std::map<pid_t, ThreadSample>& before,
                              const std::map<pid_t, ThreadSample>& after, double seconds) {
    ProcessFigures figures;
    bool anyRealTime = false;
    for (const auto& [tid, end] : after) {
        const auto start = before.find(tid);
        if (start == before.end()) {
            continue;
        }
        ThreadFigures t;
        t.tid = tid;
        t.name = end.name;
        t.realTime = end.policy == SCHED_FIFO || end.policy == SCHED_RR;
        anyRealTime = anyRealTime || t.realTime;
        t.wakeupsPerSecond = static_cast<double>(end.switches - start->second.switches) / seconds;
        t.cpuPercent = static_cast<double>(end.runNs - start->second.runNs) / seconds / 1e7;
        figures.threads.push_back(t);
    }
    const ThreadFigures* busiestProcess = nullptr;
    if (!anyRealTime) {
        for (const ThreadFigures& t : figures.threads) {
            if (t.name == "jack-process" &&
                (busiestProcess == nullptr ||
                 t.wakeupsPerSecond > busiestProcess->wakeupsPerSecond)) {
                busiestProcess = &t;
            }
        }
    }
    for (ThreadFigures& t : figures.threads) {
        t.realTime = t.realTime || &t == busiestProcess;
        (t.realTime ? figures.jackWakeupsPerSecond : figures.ownWakeupsPerSecond) +=
            t.wakeupsPerSecond;
        (t.realTime ? figures.jackCpuPercent : figures.ownCpuPercent) += t.cpuPercent;
    }
    return figures;
}

// A table, one thread a line, then the two sums.
inline void print(std::FILE* out, const ProcessFigures& figures) {
    std::fprintf(out, "  %-8s %-18s %12s %8s\n", "thread", "name", "wake-ups/s", "CPU %");
    for (const ThreadFigures& t : figures.threads) {
        std::fprintf(out, "  %-8d %-18s %12.1f %8.2f%s\n", static_cast<int>(t.tid), t.name.c_str(),
                     t.wakeupsPerSecond, t.cpuPercent, t.realTime ? "  (JACK process thread)" : "");
    }
    std::fprintf(out, "  own threads: %.1f wake-ups/s, %.2f%% CPU\n", figures.ownWakeupsPerSecond,
                 figures.ownCpuPercent);
    std::fprintf(out, "  JACK process thread: %.1f wake-ups/s, %.2f%% CPU\n",
                 figures.jackWakeupsPerSecond, figures.jackCpuPercent);
}

// A field of /proc/<process>/status in KiB ("VmRSS", "RssAnon", ...).
inline long statusKiB(const std::string& field, const std::string& process = "self") {
    std::ifstream in("/proc/" + process + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return 0;
}

}  // namespace tarnwell::bench
