// Cost of one register read, ZELKWD2_ParameterLesen(port, 0, "uist", &v), over a pseudo-terminal
// served by the kwd2sim program in its own process.
//
// Run (one command, on an otherwise idle machine):
//   cmake --preset bench && cmake --build build/bench --target driver_bench kwd2sim &&
//     nice -n 5 build/bench/bench/driver/driver_bench
//
// Prints a table: (a) paced at 9600 baud against the exchange's wire time, (b) unpaced against
// a minimal C++ loop writing the same request and reading the same reply on the same pty (they
// take turns; the ratio is the median of the turns' ratios), and the same loop with the two
// system calls the driver's steps add, (c) unpaced against the same exchange in Python with
// pyserial, and the processor time the driver spends per exchange (getrusage of this process;
// the simulator runs elsewhere).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/zelkwd2.h"
#include "platform/wiretime.h"
#include "tests/support/pty.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPort = 1;
constexpr char kRequest[] = "#0V0R\r";
constexpr double kByteSeconds = std::chrono::duration<double>(Rs232WireTime(1)).count();

// The simulator program; SIGTERM ends it.
class SimProcess {
  public:
    explicit SimProcess(bool pace) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            if (pace) {
                execl(KWD2SIM_EXECUTABLE, KWD2SIM_EXECUTABLE, "--pace", static_cast<char*>(nullptr));
            } else {
                execl(KWD2SIM_EXECUTABLE, KWD2SIM_EXECUTABLE, static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        close(fds[1]);
        FILE* out = fdopen(fds[0], "r");
        char line[256] = {};
        if (!fgets(line, sizeof line, out)) throw std::runtime_error("kwd2sim printed no path");
        fclose(out);
        path_ = line;
        path_.erase(path_.find_last_not_of("\r\n") + 1);
    }
    ~SimProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const std::string& path() const { return path_; }

  private:
    pid_t pid_ = -1;
    std::string path_;
};

struct Sample {
    double wall;  // seconds per exchange
    double cpu;   // processor seconds per exchange
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

Sample timeLoop(int count, const std::function<void()>& exchange) {
    for (int i = 0; i < std::max(10, count / 50); ++i) exchange();  // warm-up
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i) exchange();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    return {wall / count, (cpuSeconds() - cpu0) / count};
}

// The median run by wall time, so that one disturbed run does not decide the result.
Sample median(std::vector<Sample> samples) {
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.wall < b.wall; });
    return samples[samples.size() / 2];
}

// The median of the runs' wall-time ratios, run by run (the runs took turns).
double medianRatio(const std::vector<Sample>& measured, const std::vector<Sample>& reference) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < measured.size(); ++i) ratios.push_back(measured[i].wall / reference[i].wall);
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

Sample medianOf(int runs, int count, const std::function<void()>& exchange) {
    std::vector<Sample> samples;
    for (int r = 0; r < runs; ++r) samples.push_back(timeLoop(count, exchange));
    return median(samples);
}

void driverExchange() {
    double v = -1.0;
    const int rc = ZELKWD2_ParameterLesen(kPort, 0, "uist", &v);
    if (rc != 0) {
        std::fprintf(stderr, "ZELKWD2_ParameterLesen failed: %d\n", rc);
        std::exit(1);
    }
}

class DriverPort {
  public:
    explicit DriverPort(const std::string& path) {
        setenv("KWD2_COM1", path.c_str(), 1);
        if (ZELKWD2_Open(kPort) != 0 || ZELKWD2_Timeout(kPort, 1.0) != 0) {
            throw std::runtime_error("cannot open " + path + " through the driver");
        }
    }
    ~DriverPort() { ZELKWD2_Close(kPort); }
};

// The least a program can do for the same exchange: flush, write, read ACK and reply up to CR.
class RawPort {
  public:
    explicit RawPort(const std::string& path) : fd_(testsupport::OpenRaw(path)) {}
    ~RawPort() { close(fd_); }
    // Returns the number of bytes received.
    // With `driverCalls`, it also makes the two system calls the driver's steps add: the output
    // queue's length (the drain wait) and a wait for input with a time-out.
    std::size_t exchange(bool driverCalls = false) {
        tcflush(fd_, TCIOFLUSH);
        if (write(fd_, kRequest, sizeof kRequest - 1) != static_cast<ssize_t>(sizeof kRequest - 1))
            std::exit(1);
        int queued = 0;
        if (driverCalls && (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued != 0)) std::exit(1);
        char buffer[32];
        std::size_t got = 0;
        while (got < sizeof buffer) {
            pollfd ready{fd_, POLLIN, 0};
            if (driverCalls && poll(&ready, 1, 1000) != 1) std::exit(1);
            const ssize_t n = read(fd_, buffer + got, sizeof buffer - got);
            if (n <= 0) std::exit(1);
            got += static_cast<std::size_t>(n);
            if (got > 1 && buffer[got - 1] == '\r') break;
        }
        if (buffer[0] != '\x06') std::exit(1);
        return got;
    }

  private:
    int fd_;
};

Sample pyserial(const std::string& path, int count) {
    const std::string command = "/usr/bin/python3 " PYSERIAL_SCRIPT " " + path + " " + std::to_string(count);
    FILE* p = popen(command.c_str(), "r");
    Sample s{-1.0, -1.0};
    if (!p || std::fscanf(p, "%lf %lf", &s.wall, &s.cpu) != 2) s = {-1.0, -1.0};
    if (p) pclose(p);
    return s;
}

void row(const char* name, int count, double measured, double reference, const char* referenceName,
         const char* goal, double ratio = 0.0) {
    std::printf("%-34s %6d %12.1f %12.1f  %-22s %6.2f  %s\n", name, count, measured * 1e6, reference * 1e6,
                referenceName, ratio > 0.0 ? ratio : measured / reference, goal);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kRuns = 5;
    constexpr int kPacedCount = 60;
    constexpr int kFastCount = 2000;

    std::size_t wireBytes = 0;
    Sample paced{};
    Sample rawPaced{};
    {
        SimProcess sim(true);
        {
            RawPort rawPort(sim.path());
            wireBytes = (sizeof kRequest - 1) + rawPort.exchange();
            rawPaced = medianOf(kRuns, kPacedCount, [&] { rawPort.exchange(); });
        }
        DriverPort port(sim.path());
        paced = medianOf(kRuns, kPacedCount, driverExchange);
    }
    const double wire = static_cast<double>(wireBytes) * kByteSeconds;

    // Unpaced, the loop and the driver take turns run by run, so that the machine's load drifting
    // between runs falls on both alike; the ratio is the median of the turns' ratios.
    std::vector<Sample> drivers;
    std::vector<Sample> raws;
    std::vector<Sample> rawsWithCalls;
    Sample python{};
    {
        SimProcess sim(false);
        for (int r = 0; r < kRuns; ++r) {
            {
                RawPort rawPort(sim.path());
                raws.push_back(timeLoop(kFastCount, [&] { rawPort.exchange(); }));
                rawsWithCalls.push_back(timeLoop(kFastCount, [&] { rawPort.exchange(true); }));
            }
            DriverPort port(sim.path());
            drivers.push_back(timeLoop(kFastCount, driverExchange));
        }
        python = pyserial(sim.path(), kFastCount);
    }
    const Sample driver = median(drivers);
    const Sample raw = median(raws);
    const Sample rawWithCalls = median(rawsWithCalls);

    std::printf("ZELKWD2_ParameterLesen(port, 0, \"uist\", &v): %zu bytes on the wire, median of %d runs\n",
                wireBytes, kRuns);
    std::printf("%-34s %6s %12s %12s  %-22s %6s  %s\n", "case", "n", "driver [us]", "ref [us]", "reference",
                "ratio", "goal");
    row("(a) paced, 9600 baud", kPacedCount, paced.wall, wire, "wire time", "<= 1.05");
    row("    for comparison: raw loop, paced", kPacedCount, rawPaced.wall, wire, "wire time", "");
    row("(b) unpaced", kFastCount, driver.wall, raw.wall, "raw C++ pty loop", "<= 1.1",
        medianRatio(drivers, raws));
    row("    loop with TIOCOUTQ and poll", kFastCount, rawWithCalls.wall, raw.wall, "raw C++ pty loop", "",
        medianRatio(rawsWithCalls, raws));
    if (python.wall > 0) {
        row("(c) unpaced", kFastCount, driver.wall, python.wall, "Python pyserial", "(compare)");
    } else {
        std::printf("(c) pyserial run failed (is python3-serial installed?)\n");
    }
    std::printf("processor time per exchange: driver %.3f ms (goal < 0.2 ms), raw loop %.3f ms%s\n",
                driver.cpu * 1e3, raw.cpu * 1e3,
                python.cpu > 0
                    ? (", pyserial " + std::to_string(python.cpu * 1e3).substr(0, 5) + " ms").c_str()
                    : "");
    return 0;
}
