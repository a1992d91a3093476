#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/sim/pty_host.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using simtest::kAck;

namespace {

// Runs the kwd2sim program with its stdout on a pipe; SIGTERM ends it.
class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv;
            static std::string exe = KWD2SIM_EXECUTABLE;
            argv.push_back(exe.data());
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
    }
    ~Program() {
        if (pid_ > 0) terminate();
        if (out_) fclose(out_);
    }
    std::string line() {
        char buffer[512] = {};
        if (!fgets(buffer, sizeof buffer, out_)) return {};
        std::string s = buffer;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    void signal(int number) { kill(pid_, number); }
    int terminate() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

fs::path scratch(const std::string& name) {
    static const testsupport::TempDir dir("kwd2sim_test");
    return dir / name;
}

TEST(ProgramTest, PrintsThePathAndServesTheConfiguredDevices) {
    Program p({"--device", "4:ZEL-KWD2-TEST", "--foreign", "6:OTHER", "--fault", "4:nak"});
    const std::string path = p.line();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    simtest::Host host(path);
    EXPECT_REPLY(host, "#6IDR\r", kAck + "#6OTHER\r");
    EXPECT_REPLY(host, "#4IDR\r", simtest::kNak);
    EXPECT_EQ(p.terminate(), 0);
}

TEST(ProgramTest, WithoutDevicesOneKwd2AnswersAtAddressZero) {
    Program p({"--pace"});
    simtest::Host host(p.line());
    EXPECT_REPLY(host, "#0IDR\r", kAck + "#0ZEL-KWD2-V1.5\r");
}

TEST(ProgramTest, LinkNamesTheTerminalAndGoesAwayAtExit) {
    const fs::path link = scratch("com1");
    Program p({"--link", link.string(), "--device", "1"});
    EXPECT_EQ(p.line(), link.string());
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
    simtest::Host host(link.string());
    EXPECT_REPLY(host, "#1M1R\r", kAck + "#1M1R0\r");
    EXPECT_EQ(p.terminate(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(ProgramTest, Sigusr1PullsTheLineAndItComesBackAtTheSameLink) {
    const fs::path link = scratch("replug");
    Program p({"--link", link.string(), "--device", "2", "--replug-after", "0.3"});
    ASSERT_EQ(p.line(), link.string());
    {
        simtest::Host before(link.string());
        EXPECT_REPLY(before, "#2M1R\r", kAck + "#2M1R0\r");
        p.signal(SIGUSR1);
        for (int attempt = 0; attempt < 300 && fs::exists(fs::symlink_status(link)); ++attempt) usleep(1000);
        EXPECT_EQ(before.read(1), "");
        EXPECT_TRUE(before.hungUp());
    }
    // Polled, not slept: the link is back after the given time.
    std::string answer;
    for (int attempt = 0; attempt < 300 && answer.empty(); ++attempt) {
        usleep(10000);
        if (!fs::exists(link)) continue;
        simtest::Host after(link.string());
        answer = after.exchange("#2M1R\r", 8);
    }
    EXPECT_EQ(answer, kAck + "#2M1R0\r");
    EXPECT_EQ(p.terminate(), 0);
}

TEST(ProgramTest, TraceLogsEveryByteBothWays) {
    const fs::path log = scratch("trace.log");
    Program p({"--trace", log.string()});
    simtest::Host host(p.line());
    ASSERT_EQ(host.exchange("#0M1R\r", 8), kAck + "#0M1R0\r");
    EXPECT_EQ(p.terminate(), 0);
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_NE(lines[0].find("host->sim 23 '#'"), std::string::npos) << lines[0];
    EXPECT_NE(lines[5].find("host->sim 0D CR"), std::string::npos) << lines[5];
    EXPECT_NE(lines[6].find("sim->host 06 ACK"), std::string::npos) << lines[6];
    fs::remove_all(log.parent_path());
}

TEST(ProgramTest, RefusesUnknownArguments) {
    Program p({"--fault", "1:sometimes"});
    EXPECT_EQ(p.line(), "");
    EXPECT_EQ(p.terminate(), 2);
}

}  // namespace
