// MEAS:VOLT? through kwd2ctl serve against the bare driver exchange it stands for
// (ZELKWD2_ParameterLesen "uist"), on the unpaced kwd2sim program, and eight pyvisa clients
// polling at once against one.
//
// Run (one command, on an otherwise idle machine):
//   cmake --preset bench && cmake --build build/bench --target scpi_bench kwd2sim kwd2ctl &&
//     nice -n 5 build/bench/bench/scpi/scpi_bench
//
// Prints (a) the bare driver exchange, (b) the same query through the bridge from a C++ socket
// and (c) from pyvisa, each per query (mean and median), with the bridge's overhead over the
// bare exchange by the medians (goal: at most 0.3 ms with pyvisa), then
// (d) one pyvisa client polling alone against eight at once (goals: total at least 0.9 times
// one client's rate; each client's share within 20 % of the others').
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/zelkwd2.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kQueries = 2000;
constexpr double kPollSeconds = 5.0;

// A child process whose standard output (or error) is read line by line.
class Child {
  public:
    Child(std::vector<std::string> args, bool readStderr) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], readStderr ? STDERR_FILENO : STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
    }
    ~Child() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        fclose(out_);
    }
    std::string line() {
        char text[512] = {};
        if (!fgets(text, sizeof text, out_)) throw std::runtime_error("child ended early");
        std::string s(text);
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

struct Times {
    double mean;
    double median;
};

// Mean and median of `count` runs of `query`, in ms; the median holds up on a busy machine.
template <typename Query>
Times timeQueries(int count, Query query) {
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        query();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / count;
    std::nth_element(ms.begin(), ms.begin() + count / 2, ms.end());
    return {mean, ms[static_cast<std::size_t>(count / 2)]};
}

Times bareDriverMs(const std::string& line) {
    setenv("KWD2_COM1", line.c_str(), 1);
    if (ZELKWD2_Open(1) != 0 || ZELKWD2_Timeout(1, 1.0) != 0) throw std::runtime_error("open");
    double v = 0.0;
    for (int i = 0; i < 50; ++i) ZELKWD2_ParameterLesen(1, 0, "uist", &v);
    const Times t = timeQueries(kQueries, [&] {
        if (ZELKWD2_ParameterLesen(1, 0, "uist", &v) != 0) throw std::runtime_error("exchange failed");
    });
    ZELKWD2_Close(1);
    return t;
}

Times socketMs(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("connect");
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const auto query = [&] {
        const char request[] = "MEAS:VOLT?\n";
        if (send(fd, request, sizeof request - 1, 0) < 0) throw std::runtime_error("send");
        std::string answer;
        for (char c = 0; c != '\n';) {
            if (recv(fd, &c, 1, 0) != 1) throw std::runtime_error("recv");
            answer += c;
        }
        if (answer == "9.91E37\n") throw std::runtime_error("the bridge's exchange failed");
    };
    for (int i = 0; i < 50; ++i) query();
    const Times t = timeQueries(kQueries, query);
    close(fd);
    return t;
}

std::string python(const std::string& args) {
    const std::string command = "/usr/bin/python3 " PYVISA_SCRIPT " " + args;
    FILE* p = popen(command.c_str(), "r");
    if (!p) throw std::runtime_error("popen");
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p)) out += buffer;
    if (pclose(p) != 0) throw std::runtime_error("pyvisa script failed: " + command);
    return out;
}

double value(const std::string& out, const std::string& key) {
    const auto at = out.find(key + " ");
    if (at == std::string::npos) throw std::runtime_error("no " + key);
    return std::stod(out.substr(at + key.size() + 1));
}

std::vector<long> counts(const std::string& out) {
    std::istringstream in(out.substr(out.find("counts ") + 7));
    std::vector<long> n;
    for (long c = 0; in >> c;) n.push_back(c);
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / ("scpi_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "line").string();
    Child sim({KWD2SIM_EXECUTABLE, "--link", link, "--device", "0"}, false);
    sim.line();

    const Times bare = bareDriverMs(link);
    Child serve({KWD2CTL_EXECUTABLE, "-p", link, "serve", "--listen", "127.0.0.1:0"}, true);
    const std::string first = serve.line();
    const int port = std::stoi(first.substr(first.rfind(':') + 1));
    const Times raw = socketMs(port);
    const std::string single = python(std::to_string(port) + " single " + std::to_string(kQueries));

    const Times pyvisa{value(single, "mean_ms"), value(single, "median_ms")};
    std::printf("MEAS:VOLT? per query, %d each, unpaced kwd2sim: mean / median (overhead of the median)\n",
                kQueries);
    std::printf("  (a) bare driver exchange       %7.4f / %7.4f ms\n", bare.mean, bare.median);
    std::printf("  (b) bridge, C++ socket client  %7.4f / %7.4f ms (%+.4f ms)\n", raw.mean, raw.median,
                raw.median - bare.median);
    std::printf("  (c) bridge, pyvisa client      %7.4f / %7.4f ms (%+.4f ms)  goal <= 0.3 ms: %s\n",
                pyvisa.mean, pyvisa.median, pyvisa.median - bare.median,
                pyvisa.median - bare.median <= 0.3 ? "met" : "NOT met");

    const auto one = counts(python(std::to_string(port) + " polling 1 " + std::to_string(kPollSeconds)));
    const auto eight = counts(python(std::to_string(port) + " polling 8 " + std::to_string(kPollSeconds)));
    const double oneRate = static_cast<double>(one.at(0)) / kPollSeconds;
    const double total = static_cast<double>(std::accumulate(eight.begin(), eight.end(), 0L)) / kPollSeconds;
    const auto [lo, hi] = std::minmax_element(eight.begin(), eight.end());
    const double spread = static_cast<double>(*hi - *lo) / static_cast<double>(*lo);
    std::printf("(d) pyvisa clients polling MEAS:VOLT? for %.0f s\n", kPollSeconds);
    std::printf("  one client                      %8.1f queries/s\n", oneRate);
    std::printf("  eight clients, total            %8.1f queries/s = %.2f x one   goal >= 0.9: %s\n", total,
                total / oneRate, total >= 0.9 * oneRate ? "met" : "NOT met");
    std::printf("  per client:");
    for (long n : eight) std::printf(" %.1f", static_cast<double>(n) / kPollSeconds);
    std::printf("  (largest %.1f %% above smallest; goal <= 20 %%: %s)\n", spread * 100.0,
                spread <= 0.2 ? "met" : "NOT met");
    std::filesystem::remove_all(dir);
    return 0;
}
