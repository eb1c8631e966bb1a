// What the whole-process benchmarks share: running a program quietly, and the
// median wall time of a few runs of a step.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace tesvano::bench {

// True when the program (found on PATH) ran and exited 0, or with `alsoOk`;
// its output goes nowhere.
inline bool Run(std::vector<std::string> argv, int alsoOk = 0) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    pid_t pid;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == alsoOk);
}

// Milliseconds from starting the program until it prints its first line on
// standard output (or -1: it failed to start, or printed nothing within 10 s).
// The program is then left to exit, and killed if it does not within 10 s.
inline double MsToFirstLine(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return -1;
    }
    double ms = -1;
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) == 1 && read(out[0], &c, 1) == 1) {
        if (c == '\n') {
            ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            break;
        }
    }
    close(out[0]);
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited == 1000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(10000);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

// The median of `runs` values of once(); -1 as soon as one is negative.
template <typename F>
double MedianOf(int runs, F&& once) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double v = once();
        if (v < 0) return -1;
        t.push_back(v);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Milliseconds, the median of `runs` calls of once(); -1 as soon as one fails.
template <typename F>
double MedianMs(int runs, F&& once) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!once()) return -1;
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace tesvano::bench
