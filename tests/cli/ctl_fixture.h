// kwd2ctl against a simulated bus in this process: in-process runs of the command line for the
// bytes on the wire, and the real program as a child for signals, hang-ups and exclusive opens.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/kwd2ctl.h"
#include "platform/rs232_testing.h"
#include "platform/stopsignal.h"
#include "sim/kwd2sim.h"
#include "tests/support/temp_dir.h"

namespace ctltest {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out;
    std::string err;
};

// Waits (bounded) until `done` holds; the tests never sleep a fixed time for a result.
inline bool eventually(const std::function<bool()>& done, double seconds = 5.0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// CSV rows (comment lines and the column header left out), split into fields.
inline std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("time,", 0) == 0) continue;
        std::vector<std::string> fields;
        std::istringstream fs(line);
        std::string field;
        while (std::getline(fs, field, ',')) fields.push_back(field);
        if (!line.empty() && line.back() == ',') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

// The kwd2ctl program as a child process; its output goes to files.
class Child {
  public:
    Child(const std::vector<std::string>& args, const fs::path& dir)
        : out_(dir / "child.out"), err_(dir / "child.err") {
        pid_ = fork();
        if (pid_ == 0) {
            freopen(out_.c_str(), "w", stdout);
            freopen(err_.c_str(), "w", stderr);
            std::vector<std::string> all{KWD2CTL_EXECUTABLE};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(KWD2CTL_EXECUTABLE, argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void signal(int number) { kill(pid_, number); }
    // The exit status, or -1 when it did not end in time or ended by a signal.
    int wait(double seconds = 10.0) {
        int status = 0;
        const bool ended = eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, seconds);
        if (!ended) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string err() const { return contents(err_); }

  private:
    pid_t pid_ = -1;
    fs::path out_;
    fs::path err_;
};

class Ctl : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("KWD2_PORT");
        ::unsetenv("KWD2_ADDR");
        StopSignal_Reset();
        kwd2sim::Options options;
        options.linkPath = (dir_ / "line").string();
        sim_ = std::make_unique<kwd2sim::Simulator>(options);
        sim_->AddKwd2(0);
        sim_->AddKwd2(3, "ZEL-KWD2-V2");
        sim_->AddForeign(5, "OTHER-DEVICE");
        sim_->Start();
    }
    void TearDown() override {
        Rs232_ClearFaults();
        sim_.reset();
    }

    kwd2sim::Simulator& sim() { return *sim_; }
    fs::path file(const std::string& name) const { return dir_ / name; }
    const fs::path& dir() const { return dir_.path(); }
    std::string line() const { return sim_->Path(); }

    // What the host sent; waits (bounded) for a broadcast that nobody acknowledges to arrive.
    std::string sent(std::size_t expected) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (sim_->HostBytes().size() < expected && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return sim_->HostBytes();
    }

    // kwd2ctl in this process, on the simulated line with a short time-out.
    Result ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", line(), "--timeout", "0.2"});
        std::ostringstream out;
        std::ostringstream err;
        const int status = kwd2ctl::Run(args, out, err);
        return {status, out.str(), err.str()};
    }
    std::unique_ptr<Child> child(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", line(), "--timeout", "0.2"});
        return std::make_unique<Child>(args, dir_.path());
    }

  private:
    testsupport::TempDir dir_{"kwd2ctl_test"};
    std::unique_ptr<kwd2sim::Simulator> sim_;
};

}  // namespace ctltest
