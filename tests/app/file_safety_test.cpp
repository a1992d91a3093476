// The settings file and a calibration file under adverse conditions. A writer killed at random
// moments: the file is always the complete old or the complete new content, a kill leaves at
// most one temporary file, and the next save does not trip over it (the writer's first save
// after each kill must succeed). A save refused by file modes: its code, the old file intact,
// nothing left behind; run as an ordinary user, since root ignores file modes. A recording
// killed at random moments: its log holds only complete lines, except perhaps the last.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/kwd2TestFunc.h"
#include "ini/ini_store.h"
#include "platform/safefile_testing.h"
#include "tests/support/temp_dir.h"
#include "tests/unprivileged.h"
#include "trend/recording.h"

namespace {

namespace fs = std::filesystem;

constexpr int kKills = 250;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct Writer {
    const char* name;
    const char* file;
    std::function<int(const fs::path&, int)> write;  // writes version 0 or 1, returns its code
};

// Keeps CTest's listing readable: the writer's name instead of a byte dump.
void PrintTo(const Writer& w, std::ostream* os) {
    *os << w.name;
}

int WriteSettings(const fs::path& path, int version) {
    IniDocument* doc = Ini_New(0);
    // Versions of clearly different length, so a mix of the two cannot pass for either.
    const int sections = version == 0 ? 40 : 90;
    for (int s = 0; s < sections; ++s) {
        const std::string section = "Abschnitt" + std::to_string(s);
        for (int i = 0; i < 8; ++i) {
            Ini_PutInt(doc, section.c_str(), ("wert" + std::to_string(i)).c_str(),
                       version * 1000 + s * 8 + i);
        }
    }
    const int rc = Ini_WriteToFile(doc, path.c_str());
    Ini_Dispose(doc);
    return rc;
}

int WriteCalibration(const fs::path& path, int version) {
    Kalibrierdatensatz satz{};
    for (std::size_t i = 0; i < satz.faktoren.size(); ++i) satz.faktoren[i] = version + 0.125 * i;
    return KalibrierdateiSchreiben(path.c_str(), &satz);
}

const Writer kSettings{"Settings", "kwd2steuerung.ini", WriteSettings};
const Writer kCalibration{"Calibration", "kal.kwd", WriteCalibration};

class CrashConsistency : public ::testing::TestWithParam<Writer> {};

TEST_P(CrashConsistency, KilledWriterLeavesOldOrNewFile) {
    const Writer& w = GetParam();
    const testsupport::TempDir tmp("kwd2_crash");
    const fs::path& dir = tmp.path();
    const fs::path target = dir / w.file;
    // What each version looks like on disk, written by the same code.
    std::string versions[2];
    for (int v : {1, 0}) {
        ASSERT_EQ(w.write(target, v), 0);
        versions[v] = Slurp(target);
    }
    ASSERT_NE(versions[0], versions[1]);

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> moment(0, 4000);  // microseconds
    int torn = 0;
    int temporaries = 0;
    int mostLeftByOneKill = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                if (w.write(target, i & 1) != 0) _exit(3);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed a save before kill " << kill;

        const std::string now = Slurp(target);
        torn += now != versions[0] && now != versions[1];
        const int before = temporaries;
        temporaries = 0;
        for (const auto& e : fs::directory_iterator(dir)) temporaries += e.path() != target;
        mostLeftByOneKill = std::max(mostLeftByOneKill, temporaries - before);
    }
    EXPECT_EQ(torn, 0) << "files neither old nor new after " << kKills << " kills";
    EXPECT_LE(mostLeftByOneKill, 1);
    std::cout << kKills << " kills, " << temporaries << " temporary files left in all\n";
    EXPECT_EQ(w.write(target, 1), 0);
    EXPECT_EQ(Slurp(target), versions[1]);
}

INSTANTIATE_TEST_SUITE_P(Files, CrashConsistency, ::testing::Values(kSettings, kCalibration),
                         [](const auto& info) { return std::string(info.param.name); });

// A comment, the column header, or a whole row as the killed recording below writes them.
bool CompleteLine(const std::string& line) {
    return line.rfind("# ", 0) == 0 || line == "time,elapsed_s,address,voltage_V,current_mA,status1,error" ||
           (line.size() > 24 && line[23] == 'Z' && std::count(line.begin(), line.end(), ',') == 6 &&
            line.find(",1,") != std::string::npos && line.ends_with(",0"));
}

TEST(CrashConsistency, KilledRecordingLeavesOnlyCompleteRows) {
    const testsupport::TempDir tmp("kwd2_crash");
    const fs::path log = tmp / "log.csv";
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> moment(0, 4000);  // microseconds
    std::size_t checked = 0;                             // everything before is whole
    bool tornBefore = false;  // a torn last line, ended by the next session's line break
    int broken = 0;
    int torn = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            trend::Recording recording("test");
            if (recording.Start(log.string()) != 0) _exit(3);
            for (int i = 0;; ++i) {
                if (recording.Reading(1, i * 0.25, 1000.0 + i, i & 7) != 0) _exit(3);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the recording failed before kill " << kill;

        const std::string text = Slurp(log).substr(checked);
        std::size_t begin = 0;
        for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
            broken += !CompleteLine(text.substr(begin, end - begin)) && !(begin == 0 && tornBefore);
        }
        tornBefore = begin < text.size();
        torn += tornBefore;
        checked += begin;
    }
    EXPECT_EQ(broken, 0) << "lines neither whole nor the last one written";
    std::cout << kKills << " kills, " << torn << " ended in a torn last line\n";
}

enum class Lock { ProtectedFile, LockedDirectory, LockedDirectoryNoFile };

struct Refusal {
    const char* name;
    const Writer* writer;
    Lock lock;
    int code;
};

TEST(RefusedSave, KeepsTheOldFileAndLeavesNothingBehind) {
    const Refusal refusals[] = {
        {"settings, write-protected file", &kSettings, Lock::ProtectedFile, -95},
        {"settings, locked directory", &kSettings, Lock::LockedDirectory, -5004},
        {"settings, locked directory, new file", &kSettings, Lock::LockedDirectoryNoFile, -95},
        {"calibration, write-protected file", &kCalibration, Lock::ProtectedFile, -308206},
        {"calibration, locked directory", &kCalibration, Lock::LockedDirectory, -308206},
        {"calibration, locked directory, new file", &kCalibration, Lock::LockedDirectoryNoFile, -308206},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        const testsupport::TempDir tmp("kwd2_refusal");
        const fs::path& dir = tmp.path();
        const fs::path target = dir / r.writer->file;
        std::string old;
        std::vector<fs::path> handedOver{dir};
        if (r.lock != Lock::LockedDirectoryNoFile) {
            ASSERT_EQ(r.writer->write(target, 0), 0);
            old = Slurp(target);
            handedOver.push_back(target);
        }
        testutil::RunAsNormalUser(handedOver, [&] {
            if (r.lock == Lock::ProtectedFile)
                fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
            if (r.lock != Lock::ProtectedFile)
                fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
            EXPECT_EQ(r.writer->write(target, 1), r.code);
            if (r.lock == Lock::LockedDirectoryNoFile) {
                EXPECT_FALSE(fs::exists(target));
            } else {
                EXPECT_EQ(Slurp(target), old);
            }
            EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()),
                      r.lock == Lock::LockedDirectoryNoFile ? 0 : 1);
            fs::permissions(dir, fs::perms::owner_all);
        });
    }
}

}  // namespace

namespace platform {
// Steps show as their number in a failed comparison, as in the trace.
void PrintTo(SafeFileStep step, std::ostream* os) {
    *os << static_cast<int>(step);
}
}  // namespace platform

namespace {

// A failure injected at each step of the replacement: the caller's code for that kind of failure,
// the old file intact, nothing left behind. A failed directory sync comes after the rename and
// leaves the complete new file. The steps a good save tries, in order, catch one skipped or moved.
TEST(InjectedFault, EachStepGivesItsCodeAndKeepsTheOldFile) {
    using S = platform::SafeFileStep;
    struct Row {
        S step;
        int error;
        int settingsCode;
        int calibrationCode;
    };
    const Row rows[] = {
        {S::kInspect, ENOTDIR, -91, -308206},
        {S::kCheckTarget, EACCES, -95, -308206},
        {S::kCreateTemp, EACCES, -5004, -308206},
        {S::kCreateTemp, EEXIST, -5003, -308206},
        {S::kWrite, ENOSPC, -97, -301207},
        {S::kFlush, EIO, -93, -301207},
        {S::kSync, EIO, -93, -301207},
        {S::kNameTemp, EEXIST, -5003, -301207},
        {S::kClose, ENOSPC, -97, -301207},
        {S::kRename, EXDEV, -100, -301207},
        {S::kRename, ENOENT, -94, -301207},
        {S::kSyncDirectory, EIO, 0, 0},
    };
    const std::vector<S> kOrder{S::kInspect, S::kCheckTarget, S::kCreateTemp, S::kWrite,  S::kFlush,
                                S::kSync,    S::kNameTemp,    S::kClose,      S::kRename, S::kSyncDirectory};
    const auto tried = [] {
        std::vector<S> steps = platform::SafeFile_StepsTried();
        steps.erase(std::unique(steps.begin(), steps.end()), steps.end());  // one entry per write
        return steps;
    };
    const testsupport::TempDir tmp("kwd2_fault");
    const fs::path& dir = tmp.path();
    for (const Writer* writer : {&kSettings, &kCalibration}) {
        const fs::path target = dir / writer->file;
        ASSERT_EQ(writer->write(target, 0), 0);
        const std::string old = Slurp(target);
        ASSERT_EQ(writer->write(target, 1), 0);
        const std::string neu = Slurp(target);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(writer->name) + ", step " + std::to_string(static_cast<int>(row.step)));
            platform::SafeFile_ClearFaults();
            ASSERT_EQ(writer->write(target, 0), 0);
            platform::SafeFile_InjectFault(row.step, row.error);
            EXPECT_EQ(writer->write(target, 1),
                      writer == &kSettings ? row.settingsCode : row.calibrationCode);
            const auto stop = std::find(kOrder.begin(), kOrder.end(), row.step) + 1;
            EXPECT_EQ(tried(), std::vector<S>(kOrder.begin(), stop));
            EXPECT_EQ(Slurp(target), row.step == S::kSyncDirectory ? neu : old);
            EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
        }
        platform::SafeFile_ClearFaults();
        ASSERT_EQ(writer->write(target, 0), 0);
        EXPECT_EQ(tried(), kOrder);
        EXPECT_EQ(Slurp(target), old);
        fs::remove(target);
    }
    platform::SafeFile_ClearFaults();
}

}  // namespace
