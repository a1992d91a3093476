// Processor time of the real program while its line is gone: the adapter is pulled once while
// the program waits for a reply (the device fell silent, the next request went out) and once
// between two exchanges, and the event loop then runs idle for a while.
//
//   cmake --preset bench && cmake --build --preset bench --target unplug_bench &&
//   QT_QPA_PLATFORM=offscreen build/bench/bench/app/unplug_bench [seconds]
//
// Goal: under 1 % of a core while the line is gone.
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "sim/kwd2sim.h"
#include "ui/kwd2Steuerung.h"

namespace {

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs the program's event loop for `seconds` and returns the share of one core it used.
double IdleLoad(double seconds) {
    const double cpu0 = CpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    return (CpuSeconds() - cpu0) / wall;
}

int Int(int control) {
    int value = 0;
    GetCtrlVal(gPanelHandle, control, &value);
    return value;
}

void Report(const char* moment, double load) {
    std::printf("  %-34s %6.2f %% of a core   code %7d   measuring %d   port ring %d\n", moment, load * 100.0,
                Int(PANEL_FEHLERNUMMER), Int(PANEL_MESSEN), Int(PANEL_PORT));
}

// Port 1 on the simulator, measuring on, one good tick.
void Connect(kwd2sim::Simulator& sim, int address) {
    sim.SetFault(address, kwd2sim::Fault::kNone);
    uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 0);
    uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
    if (Int(PANEL_MESSEN) == 0) uitest::Click(gPanelHandle, PANEL_MESSEN);
    uitest::FireTimer(gPanelHandle, PANEL_TIMER);
    if (Int(PANEL_FEHLERNUMMER) != 0) std::printf("  (first tick failed: %d)\n", Int(PANEL_FEHLERNUMMER));
}

}  // namespace

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char dir[] = "/tmp/kwd2_unplug_bench_XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    std::filesystem::current_path(dir);
    const std::string link = std::string(dir) + "/line";
    setenv("KWD2_COM1", link.c_str(), 1);

    kwd2sim::Options options;
    options.linkPath = link;
    kwd2sim::Simulator sim(options);
    char program[] = "kwd2steuerung";
    char* args[] = {program, nullptr};
    if (ProgrammStarten(1, args) != 0) return 1;
    uitest::EnablePopupTestMode();
    const int address = KwdTestFunc_Adresse();
    sim.AddKwd2(address);
    sim.Start();

    std::printf("event loop idle for %.0f s with the line gone:\n", seconds);
    Report("before any unplug (line healthy)", IdleLoad(seconds));

    Connect(sim, address);
    sim.SetFault(address, kwd2sim::Fault::kSilent);
    std::thread pull([&sim] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sim.Unplug();
    });
    uitest::FireTimer(gPanelHandle, PANEL_TIMER);
    pull.join();
    Report("pulled while waiting for a reply", IdleLoad(seconds));

    sim.Replug();
    Connect(sim, address);
    sim.Unplug();
    Report("pulled between two exchanges", IdleLoad(seconds));
    uitest::FireTimer(gPanelHandle, PANEL_TIMER);
    Report("  ... after the next tick", IdleLoad(seconds));

    DiscardPanel(gPanelHandle);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return 0;
}
