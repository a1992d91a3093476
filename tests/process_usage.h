// What the soaks share: what they watch of their own process (resident memory, open
// descriptors), their tally per fault with its table, and the wait for an abandoned answer.
#pragma once

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "sim/kwd2sim.h"

namespace testutil {

// Resident set size in KiB, -1 when /proc cannot tell.
inline long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Descriptors open in this process.
inline int OpenDescriptors() {
    int n = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(dir)) n += e->d_name[0] != '.';
        ::closedir(dir);
    }
    return n - 1;  // the listing's own
}

struct Tally {
    long count = 0;
    long wrong = 0;
    double worst = 0.0;
};

// Prints one row per fault under a header naming what was counted; returns the worst of all.
inline double PrintTallies(const std::map<std::string, Tally>& tallies, const char* counted) {
    std::printf("\n%-14s %10s %8s %12s\n", "fault", counted, "wrong", "worst [ms]");
    double worst = 0.0;
    for (const auto& [name, t] : tallies) {
        std::printf("%-14s %10ld %8ld %12.1f\n", name.c_str(), t.count, t.wrong, t.worst * 1000);
        worst = std::max(worst, t.worst);
    }
    return worst;
}

// A drain failure abandons a request that is already on its way; its answer must be in before
// the next fault is switched on, or that fault falls on the abandoned request (a hang-up there
// would meet the next exchange as a line already gone). Bounded by a second.
inline void AwaitAbandonedAnswer(const kwd2sim::Simulator& sim) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    const auto answered = [&] {
        for (const auto& e : sim.Trace()) {
            if (!e.fromHost) return true;
        }
        return false;
    };
    while (!answered() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace testutil
