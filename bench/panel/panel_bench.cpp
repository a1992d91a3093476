// Processor time of one live-readout tick of the real program (its panel, offscreen or under
// Xvfb) against an unpaced simulated device, with the trend window closed and open, and the
// resident size after many fast ticks.
//
//   cmake --preset bench && cmake --build --preset bench --target panel_bench &&
//   QT_QPA_PLATFORM=offscreen build/bench/bench/panel/panel_bench [--ticks N] [--spaced-ticks N]
//   [--timer-seconds N] [--memory-ticks N] [--trend-closed]
//
// The simulator runs on its own thread in this process; the program's work is the processor
// time of the process less that thread's (its schedstat run time): the tick, the three
// exchanges, every paint and Qt's own threads. A tick every 0.5 s: 0.5 ms per tick is 0.1 % of one core.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

#include "app/kwd2Test.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "sim/kwd2sim.h"
#include "trend/history.h"
#include "trend/trend.h"
#include "trend/trend_testing.h"
#include "ui/kwd2Steuerung.h"

namespace {

constexpr int kAddress = 2;
constexpr int kRuns = 5;
int g_ticksPerRun = 200;
constexpr double kTickSeconds = 0.5;

// The simulator's thread; its time is the device's, not the program's.
std::string g_simTask;

std::vector<std::string> Tasks() {
    std::vector<std::string> tasks;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        tasks.push_back(entry.path().filename().string());
    return tasks;
}

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A thread's run time so far, from its schedstat file.
double ThreadCpuMs(int fd) {
    char text[64] = {};
    if (fd < 0 || pread(fd, text, sizeof text - 1, 0) <= 0) return 0.0;
    return std::strtod(text, nullptr) / 1e6;
}

int OpenSchedstat(const std::string& task) {
    return open(("/proc/self/task/" + task + "/schedstat").c_str(), O_RDONLY | O_CLOEXEC);
}

// The simulator's, from a file kept open: opening it for every reading cost more than a tick and
// landed inside the measured span.
double SimCpuMs() {
    static const int fd = OpenSchedstat(g_simTask);
    return ThreadCpuMs(fd);
}

// Processor time of the whole process (every Qt thread too) less the simulator's thread, over a
// span. The process clock is read innermost, so the reading of the other clock stays outside.
class ProgramCpu {
  public:
    ProgramCpu() : sim_(SimCpuMs()), process_(ProcessCpuMs()) {}
    double Ms() const {
        const double process = ProcessCpuMs();
        return process - process_ - (SimCpuMs() - sim_);
    }

  private:
    double sim_;
    double process_;
};

long RssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// The device's readings: the same every tick, or a new voltage and current every tick (as a
// real output drifts and ripples).
void SetReadings(kwd2sim::Simulator& sim, int tick, bool changing) {
    sim.ClearTrace();  // the simulator records every byte; that is not the program's memory
    const double volts = changing ? 100.0 + (tick % 97) * 0.37 : 12.5;
    const double milliamps = changing ? 1000.0 + (tick % 89) * 3.1 : 42.25;
    sim.SetRegisterValue(kAddress, "uist_off", volts);
    for (const char* offset : {"iist1_off", "iist2_off", "iist3_off", "iist4_off"}) {
        sim.SetRegisterValue(kAddress, offset, milliamps);
    }
}

void Tick() {
    uitest::FireTimer(gPanelHandle, PANEL_TIMER);
    uitest::ProcessEvents();  // what the tick left for the event loop (deferred paints)
}

// Median over runs of the main thread's processor time per tick.
double MedianTickMs(kwd2sim::Simulator& sim, bool changing, int& tick) {
    std::vector<double> perTick;
    for (int run = 0; run < kRuns; ++run) {
        double ms = 0.0;
        for (int i = 0; i < g_ticksPerRun; ++i, ++tick) {
            SetReadings(sim, tick, changing);
            const ProgramCpu cpu;
            Tick();
            ms += cpu.Ms();
        }
        perTick.push_back(ms / g_ticksPerRun);
    }
    std::sort(perTick.begin(), perTick.end());
    return perTick[perTick.size() / 2];
}

// Ticks as the timer gives them, 0.5 s apart: caches go cold in between, as in real use.
double SpacedTickMs(kwd2sim::Simulator& sim, int ticks, int& tick, bool changing = true) {
    std::vector<double> ms;
    for (int i = 0; i < ticks; ++i, ++tick) {
        std::this_thread::sleep_for(std::chrono::duration<double>(kTickSeconds));
        SetReadings(sim, tick, changing);
        const ProgramCpu cpu;
        Tick();
        ms.push_back(cpu.Ms());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

double ThisThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Measuring as the operator does it: the panel's own 0.5 s timer and the event loop, for a number
// of seconds. A helper thread cuts the time into 0.5 s windows, each holding one tick, between
// ticks: it notes everything the program did in the window (the tick, paints, X events, timers)
// and gives the device new readings for the next one. The median window is the result.
double TimerDrivenTickMs(kwd2sim::Simulator& sim, int seconds, int& tick, bool changing = true) {
    std::atomic<bool> done{false};
    std::vector<double> windows;
    std::thread watcher([&] {
        const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(kTickSeconds));
        // Windows start a quarter period after the timer, well away from its ticks.
        auto next = std::chrono::steady_clock::now() + period / 4;
        double process = 0.0;
        double simulator = 0.0;
        double own = 0.0;
        for (int t = tick; !done; ++t) {
            std::this_thread::sleep_until(next);
            next += period;
            const double simNow = SimCpuMs();
            const double processNow = ProcessCpuMs();
            const double ownNow = ThisThreadCpuMs();
            if (t > tick) windows.push_back((processNow - process) - (simNow - simulator) - (ownNow - own));
            SetReadings(sim, t, changing);
            simulator = SimCpuMs();
            own = ThisThreadCpuMs();
            process = ProcessCpuMs();
        }
    });
    uitest::SetRealTimers(true);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    uitest::SetRealTimers(false);
    done = true;
    watcher.join();
    tick += static_cast<int>(windows.size()) + 1;
    if (windows.empty()) return 0.0;
    std::sort(windows.begin(), windows.end());
    return windows[windows.size() / 2];
}

void Row(const char* what, double ms) {
    std::printf("  %-44s %8.3f ms %8.3f %%\n", what, ms, ms / (kTickSeconds * 1e3) * 100.0);
}

}  // namespace

int main(int argc, char** argv) {
    long memoryTicks = 100'000;
    int spacedTicks = 20;
    int timerSeconds = 20;
    bool trendOpen = true;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--trend-closed") trendOpen = false;
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--memory-ticks") memoryTicks = std::atol(argv[i + 1]);
        if (std::string(argv[i]) == "--ticks") g_ticksPerRun = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--spaced-ticks") spacedTicks = std::max(0, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--timer-seconds") timerSeconds = std::max(0, std::atoi(argv[i + 1]));
    }
    std::string scratch = (std::filesystem::temp_directory_path() / "kwd2bench.XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) return 1;
    std::filesystem::current_path(scratch);

    kwd2sim::Simulator sim;  // unpaced
    sim.AddKwd2(kAddress);
    const std::vector<std::string> before = Tasks();
    sim.Start();
    for (const std::string& task : Tasks()) {
        if (std::find(before.begin(), before.end(), task) == before.end()) g_simTask = task;
    }
    if (g_simTask.empty()) return 1;
    setenv("KWD2_COM1", sim.Path().c_str(), 1);
    static std::array<char, 16> name{"kwd2steuerung"};
    static std::array<char*, 2> args{name.data(), nullptr};
    if (ProgrammStarten(1, args.data()) != 0) return 1;
    uitest::EnablePopupTestMode();  // ticks come only from this benchmark
    uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 1);
    uitest::ChooseRingValue(gPanelHandle, PANEL_KWDID, kAddress);
    uitest::Click(gPanelHandle, PANEL_MESSEN);
    uitest::ProcessEvents();
    int tick = 0;
    for (int i = 0; i < 50; ++i, ++tick) Tick();  // warm-up: fonts, caches, first paints

    std::printf(
        "Processor time per live-readout tick (process less simulator, median of %d x %d ticks; %% of one "
        "core at a tick every %.1f s), platform %s\n",
        kRuns, g_ticksPerRun, kTickSeconds, std::getenv("QT_QPA_PLATFORM"));
    Row("trend window closed, readings unchanged", MedianTickMs(sim, false, tick));
    Row("trend window closed, readings changing", MedianTickMs(sim, true, tick));
    if (spacedTicks > 0) {
        Row("trend window closed, unchanged, 0.5 s apart", SpacedTickMs(sim, spacedTicks, tick, false));
        Row("trend window closed, changing, 0.5 s apart", SpacedTickMs(sim, spacedTicks, tick));
    }
    if (timerSeconds > 0) {
        Row("trend window closed, unchanged, panel's timer",
            TimerDrivenTickMs(sim, timerSeconds, tick, false));
        Row("trend window closed, changing, panel's timer", TimerDrivenTickMs(sim, timerSeconds, tick));
    }
    if (trendOpen) {
        Trend_Anzeigen();
        uitest::ProcessEvents();
        for (int i = 0; i < 50; ++i, ++tick) Tick();
        Row("trend window open, readings unchanged", MedianTickMs(sim, false, tick));
        Row("trend window open, readings changing", MedianTickMs(sim, true, tick));
        if (spacedTicks > 0)
            Row("trend window open, changing, 0.5 s apart", SpacedTickMs(sim, spacedTicks, tick));
        if (timerSeconds > 0)
            Row("trend window open, changing, panel's timer", TimerDrivenTickMs(sim, timerSeconds, tick));
    }

    if (memoryTicks > 0) {
        // One minute of ticks, then the rest of the run; readings change every tick.
        constexpr int kMinute = 120;
        long done = 0;
        for (; done < kMinute; ++done, ++tick) {
            SetReadings(sim, tick, true);
            Tick();
        }
        const long minuteKb = RssKb();
        const long minuteHistoryKb = static_cast<long>(trendtest::History().MemoryBytes() / 1024);
        for (; done < memoryTicks; ++done, ++tick) {
            SetReadings(sim, tick, true);
            Tick();
        }
        // The trend history keeps every reading by design (up to its capacity): its share is told apart.
        const long endKb = RssKb();
        const long historyKb = static_cast<long>(trendtest::History().MemoryBytes() / 1024) - minuteHistoryKb;
        std::printf(
            "Resident size (trend window %s, readings changing): after %d ticks %ld kB, after %ld "
            "ticks %ld kB; grown %ld kB, of which the trend history %ld kB, the rest %ld kB\n",
            trendOpen ? "open" : "closed", kMinute, minuteKb, memoryTicks, endKb, endKb - minuteKb, historyKb,
            endKb - minuteKb - historyKb);
    }
    std::filesystem::current_path("/");
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    std::fflush(stdout);
    std::_Exit(0);  // the program's panels live until exit; skip tearing Qt down
}
