// kwd2sim: a serial line with simulated KWD2 devices behind a pseudo-terminal.
//   kwd2sim [--link PATH] [--pace] [--trace FILE] [--device ADDR[:ID]] [--foreign ADDR:ID]
//           [--fault ADDR:NAME] [--load ADDR:OHMS] [--slow SECONDS] [--replug-after SECONDS]
// Prints the terminal's path (or the link) on one line, then serves until SIGTERM or SIGINT.
// With --replug-after, SIGUSR1 pulls the line (the terminal and its link vanish) and puts it
// back at the same link that many seconds later.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "sim/kwd2sim.h"

namespace {

struct DeviceArg {
    int address;
    std::string id;
    bool kwd2;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr
        << "kwd2sim: " << problem << "\n"
        << "usage: kwd2sim [--link PATH] [--pace] [--trace FILE] [--device ADDR[:ID]] [--foreign ADDR:ID]\n"
        << "               [--fault ADDR:NAME] [--load ADDR:OHMS] [--slow SECONDS] [--replug-after SECONDS]\n"
        << "faults: none silent nak can garbage wrongaddress wrongecho missingcr overlong slow hangup\n";
    std::exit(2);
}

int ParseAddress(const std::string& text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '8') Usage("bus address must be 0 to 8: " + text);
    return text[0] - '0';
}

double ParseNumber(const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') Usage("not a number: " + text);
    return v;
}

// Splits "ADDR:REST"; REST may be absent when `restOptional`.
std::pair<int, std::string> SplitAddress(const std::string& arg, bool restOptional) {
    const auto colon = arg.find(':');
    if (colon == std::string::npos) {
        if (!restOptional) Usage("expected ADDR:VALUE, got " + arg);
        return {ParseAddress(arg), {}};
    }
    return {ParseAddress(arg.substr(0, colon)), arg.substr(colon + 1)};
}

}  // namespace

int main(int argc, char** argv) {
    kwd2sim::Options options;
    std::vector<DeviceArg> devices;
    std::vector<std::pair<int, kwd2sim::Fault>> faults;
    std::vector<std::pair<int, double>> loads;
    double slow = -1.0;
    double replugAfter = -1.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--link") {
            options.linkPath = value();
        } else if (arg == "--trace") {
            options.tracePath = value();
        } else if (arg == "--device") {
            auto [address, id] = SplitAddress(value(), true);
            devices.push_back({address, id.empty() ? "ZEL-KWD2-V1.5" : id, true});
        } else if (arg == "--foreign") {
            auto [address, id] = SplitAddress(value(), false);
            devices.push_back({address, id, false});
        } else if (arg == "--fault") {
            auto [address, name] = SplitAddress(value(), false);
            kwd2sim::Fault fault;
            if (!kwd2sim::FaultFromName(name, fault)) Usage("unknown fault " + name);
            faults.emplace_back(address, fault);
        } else if (arg == "--load") {
            auto [address, ohms] = SplitAddress(value(), false);
            loads.emplace_back(address, ParseNumber(ohms));
        } else if (arg == "--slow") {
            slow = ParseNumber(value());
        } else if (arg == "--replug-after") {
            replugAfter = ParseNumber(value());
            if (replugAfter < 0.0) Usage("--replug-after needs a time of 0 seconds or more");
        } else {
            Usage("unknown argument " + arg);
        }
    }
    if (devices.empty()) devices.push_back({0, "ZEL-KWD2-V1.5", true});
    if (replugAfter >= 0.0 && options.linkPath.empty()) Usage("--replug-after needs --link");

    // Block the stop signals before the serving thread exists, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigset_t waited = stopSignals;
    if (replugAfter >= 0.0) sigaddset(&waited, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &waited, nullptr);

    try {
        kwd2sim::Simulator sim(options);
        for (const auto& d : devices) {
            double ohms = 100.0;
            for (const auto& [address, value] : loads) {
                if (address == d.address) ohms = value;
            }
            d.kwd2 ? sim.AddKwd2(d.address, d.id, ohms) : sim.AddForeign(d.address, d.id);
        }
        for (const auto& [address, fault] : faults) sim.SetFault(address, fault);
        if (slow >= 0.0) sim.SetSlowDelay(slow);
        std::printf("%s\n", sim.Path().c_str());
        std::fflush(stdout);
        sim.Start();
        for (;;) {
            int signal = 0;
            sigwait(&waited, &signal);
            if (signal != SIGUSR1) break;
            sim.Unplug();
            // The line stays away for the given time unless a stop signal comes first.
            const timespec away{
                static_cast<time_t>(replugAfter),
                static_cast<long>((replugAfter - static_cast<double>(static_cast<time_t>(replugAfter))) *
                                  1e9)};
            if (sigtimedwait(&stopSignals, nullptr, &away) >= 0) break;
            sim.Replug();
        }
        sim.Stop();
    } catch (const std::exception& e) {
        std::cerr << "kwd2sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
