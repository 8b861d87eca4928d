#pragma once

// Finds the script workers this process started, so that tests can watch them come and make
// them crash.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform::testing {

// The children of this process that run the script worker program.
inline std::vector<pid_t> scriptWorkers() {
    std::vector<pid_t> workers;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) {
            continue;
        }
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // The parent's id is the second field after the program name, which may hold spaces.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) != 2 ||
            parent != ::getpid() || state == 'Z') {
            continue;
        }
        std::error_code linkError;
        const std::filesystem::path exe =
            std::filesystem::read_symlink(entry.path() / "exe", linkError);
        if (!linkError && exe.filename() == "script-worker") {
            workers.push_back(static_cast<pid_t>(std::stoi(name)));
        }
    }
    return workers;
}

// Waits (a minute at most, to catch a hang) for a worker that is not among `known`; 0 when none
// came.
inline pid_t newWorker(const std::vector<pid_t>& known) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < giveUp) {
        for (const pid_t worker : scriptWorkers()) {
            if (std::find(known.begin(), known.end(), worker) == known.end()) {
                return worker;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

// Waits (a minute at most, to catch a hang) until `done` holds; its last value.
template <class Predicate>
bool waitUntil(Predicate done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// Kills a worker as a crash would.
inline void crash(pid_t worker) {
    ::kill(worker, SIGKILL);
}

} // namespace platform::testing
