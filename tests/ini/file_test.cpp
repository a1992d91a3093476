// Files: exact bytes written, round trips through a file, and what survives a failed write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "tests/ini/test_util.h"
#include "tests/unprivileged.h"

namespace {
namespace fs = std::filesystem;
using ini_test::ScratchDir;
using ini_test::Slurp;
using ini_test::Spit;

using ini_test::Doc;

const std::string kSettings =
    "[KWD2Steuerung]\r\nComPort = 3\r\nimax = 6000\r\nKwdId = 0\r\npath = \".\"\r\n"
    "Spannung = 0\r\nStrom = 0\r\numax = 250\r\n\r\n";

TEST(ExactFiles, SettingsFileOfAFirstRun) {
    ScratchDir dir;
    const std::string path = (dir.path() / "kwd2steuerung.ini").string();
    Doc d(Ini_New(1));
    EXPECT_EQ(Ini_ReadFromFile(d.get(), path.c_str()), -5001);  // no file on the first start
    const char* s = "KWD2Steuerung";
    Ini_PutInt(d.get(), s, "ComPort", 3);
    Ini_PutInt(d.get(), s, "KwdId", 0);
    Ini_PutDouble(d.get(), s, "Spannung", 0.0);
    Ini_PutDouble(d.get(), s, "Strom", 0.0);
    Ini_PutDouble(d.get(), s, "umax", 250.0);
    Ini_PutDouble(d.get(), s, "imax", 6000.0);
    Ini_PutRawString(d.get(), s, "path", ".");
    ASSERT_EQ(Ini_WriteToFile(d.get(), path.c_str()), 0);
    EXPECT_EQ(Slurp(path), kSettings);
    EXPECT_EQ(dir.CountOthers({"kwd2steuerung.ini"}), 0);

    // Read back: every value the program takes at start.
    Doc back(Ini_New(1));
    ASSERT_EQ(Ini_ReadFromFile(back.get(), path.c_str()), 0);
    int port = 0, id = 9;
    double umax = 0;
    char dirBuf[260];
    EXPECT_EQ(Ini_GetInt(back.get(), s, "ComPort", &port), 1);
    EXPECT_EQ(Ini_GetInt(back.get(), s, "KwdId", &id), 1);
    EXPECT_EQ(Ini_GetDouble(back.get(), s, "umax", &umax), 1);
    EXPECT_EQ(Ini_GetRawStringIntoBuffer(back.get(), s, "path", dirBuf, 260), 1);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(umax, 250.0);
    EXPECT_STREQ(dirBuf, ".");
}

TEST(ExactFiles, TwoSectionExampleInDocumentOrder) {
    ScratchDir dir;
    const std::string path = (dir.path() / "x.ini").string();
    Doc d(Ini_New(0));
    Ini_PutInt(d.get(), "Device", "Port", 3);
    Ini_PutDouble(d.get(), "Device", "Scale", 20.5);
    Ini_PutRawString(d.get(), "Files", "Dir", ".");
    ASSERT_EQ(Ini_WriteToFile(d.get(), path.c_str()), 0);
    EXPECT_EQ(Slurp(path), "[Device]\r\nPort = 3\r\nScale = 20.5\r\n\r\n[Files]\r\nDir = \".\"\r\n\r\n");
    Doc empty(Ini_New(0));
    ASSERT_EQ(Ini_WriteToFile(empty.get(), path.c_str()), 0);
    EXPECT_EQ(Slurp(path), "");
}

TEST(RoundTrip, ExtraSectionsKeptSortedAndCommentsDropped) {
    ScratchDir dir;
    const fs::path path = dir.path() / "kwd2steuerung.ini";
    Spit(path, "; mine\n[zeta]\nkeep = \"  blanks  \"\n[KWD2Steuerung]\nComPort = 9\nextra = 1\n");
    Doc d(Ini_New(1));
    ASSERT_EQ(Ini_ReadFromFile(d.get(), path.c_str()), 0);
    Ini_PutInt(d.get(), "KWD2Steuerung", "ComPort", 0);
    ASSERT_EQ(Ini_WriteToFile(d.get(), path.c_str()), 0);
    EXPECT_EQ(Slurp(path),
              "[KWD2Steuerung]\r\nComPort = 0\r\nextra = 1\r\n\r\n[zeta]\r\nkeep = \"  blanks  \"\r\n\r\n");
}

TEST(RoundTrip, EscapedStringsAndBinaryDataSurviveAFile) {
    ScratchDir dir;
    const std::string path = (dir.path() / "r.ini").string();
    const std::string text = "tab\there\nline\r\"quoted\" back\\slash \x01\x7f\xfc" + std::string(200, '-');
    std::string blob;
    for (int i = 0; i < 256; ++i) blob += static_cast<char>(i);
    Doc d(Ini_New(0));
    ASSERT_EQ(Ini_PutString(d.get(), "S", "text", text.c_str()), 0);
    ASSERT_EQ(Ini_PutData(d.get(), "S", "blob", blob.data(), static_cast<long>(blob.size())), 0);
    ASSERT_EQ(Ini_PutRawString(d.get(), "S", "raw", "one\ttwo"), 0);
    ASSERT_EQ(Ini_WriteToFile(d.get(), path.c_str()), 0);

    Doc back(Ini_New(1));
    ASSERT_EQ(Ini_ReadFromFile(back.get(), path.c_str()), 0);
    char* got = nullptr;
    ASSERT_EQ(Ini_GetStringCopy(back.get(), "S", "text", &got), 1);
    EXPECT_EQ(std::string(got), text);
    std::free(got);
    ASSERT_EQ(Ini_GetRawStringCopy(back.get(), "S", "raw", &got), 1);
    EXPECT_EQ(std::string(got), "one\ttwo");
    std::free(got);
    unsigned char* data = nullptr;
    long size = 0;
    ASSERT_EQ(Ini_GetData(back.get(), "S", "blob", &data, &size), 1);
    ASSERT_EQ(size, 256);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 256), blob);
    std::free(data);
}

TEST(RoundTrip, ReadingMergesIntoTheDocument) {
    ScratchDir dir;
    Spit(dir.path() / "a.ini", "[A]\nx = 1\r\n");
    Spit(dir.path() / "b.ini", "[A]\rx = 2\n\r[B]\ny = 3");
    Doc d(Ini_New(0));
    ASSERT_EQ(Ini_ReadFromFile(d.get(), (dir.path() / "a.ini").c_str()), 0);
    ASSERT_EQ(Ini_ReadFromFile(d.get(), (dir.path() / "b.ini").c_str()), 0);
    EXPECT_EQ(Ini_NumberOfSections(d.get()), 3);
    EXPECT_EQ(Ini_ReadFromFile(d.get(), (dir.path() / "missing.ini").c_str()), -5001);
    EXPECT_EQ(Ini_ReadFromFile(d.get(), dir.path().c_str()), -5002);  // a directory cannot be read
}

// --- Failed writes: the old file stays as it was and no temporary file is left -------------

class FailedWrite : public ::testing::Test {
  protected:
    ScratchDir dir;
    fs::path target = dir.path() / "settings.ini";
    const std::string old = "[Old]\r\nkept = 1\r\n\r\n";
    Doc doc{Ini_New(1)};
    void SetUp() override {
        Spit(target, old);
        Ini_PutRawString(doc.get(), "New", "value", std::string(5000, 'n').c_str());
    }
    void ExpectOldIntact() {
        EXPECT_EQ(Slurp(target), old);
        EXPECT_EQ(dir.CountOthers({"settings.ini", "sub", "ini$$0.TMP"}), 0);
    }
};

TEST_F(FailedWrite, TargetIsADirectory) {
    const fs::path sub = dir.path() / "sub";
    fs::create_directory(sub);
    EXPECT_EQ(Ini_WriteToFile(doc.get(), sub.c_str()), -95);
    EXPECT_TRUE(fs::is_directory(sub));
    EXPECT_TRUE(fs::is_empty(sub));
    ExpectOldIntact();
}

TEST_F(FailedWrite, MissingDirectory) {
    EXPECT_EQ(Ini_WriteToFile(doc.get(), (dir.path() / "nodir" / "x.ini").c_str()), -95);
    EXPECT_EQ(Ini_WriteToFile(doc.get(), (target / "x.ini").c_str()), -91);  // a file used as a folder
    ExpectOldIntact();
}

TEST_F(FailedWrite, FileSizeLimitMidWrite) {
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;  // the new document is about 5 kB
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int rc = Ini_WriteToFile(doc.get(), target.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(rc, -93);  // EFBIG is a general I/O error
    ExpectOldIntact();
    EXPECT_FALSE(fs::exists(dir.path() / "ini$$0.TMP"));
}

TEST_F(FailedWrite, AllTemporaryNamesTaken) {
    for (int n = 0; n < 1000; ++n) Spit(dir.path() / ("ini$$" + std::to_string(n) + ".TMP"), "x");
    EXPECT_EQ(Ini_WriteToFile(doc.get(), target.c_str()), -5003);
    EXPECT_EQ(Slurp(target), old);
    int temps = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) temps += e.path().extension() == ".TMP";
    EXPECT_EQ(temps, 1000);
    EXPECT_EQ(Slurp(dir.path() / "ini$$999.TMP"), "x");
}

TEST_F(FailedWrite, UnwritableProcFile) {
    testutil::RunAsNormalUser({}, [&] {
        FILE* probe = std::fopen("/proc/version", "r+b");
        if (probe) {
            std::fclose(probe);
            GTEST_SKIP() << "/proc/version is writable for an ordinary user here";
        }
        EXPECT_EQ(Ini_WriteToFile(doc.get(), "/proc/version"), -95);
    });
}

TEST_F(FailedWrite, LineTooLongLeavesTheOldFile) {
    Doc r(Ini_New(0));
    Spit(dir.path() / "in.ini", "[S]\n" + std::string(170, 'k') + "=" + std::string(84, 'v') + "\n");
    ASSERT_EQ(Ini_ReadFromFile(r.get(), (dir.path() / "in.ini").c_str()), 0);
    fs::remove(dir.path() / "in.ini");
    EXPECT_EQ(Ini_WriteToFile(r.get(), target.c_str()), kIniErrNameTooLong);
    ExpectOldIntact();
}

TEST_F(FailedWrite, SuccessReplacesAndKeepsTheMode) {
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(Ini_WriteToFile(doc.get(), target.c_str()), 0);
    EXPECT_EQ(Slurp(target).substr(0, 7), "[New]\r\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(dir.CountOthers({"settings.ini"}), 0);
    // A relative path writes into the working directory.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(Ini_WriteToFile(doc.get(), "relative.ini"), 0);
    fs::current_path(cwd);
    EXPECT_TRUE(fs::exists(dir.path() / "relative.ini"));
}
// A settings file reached through a link is replaced where it lives: the link stays a link, the
// file keeps its mode, and the temporary file goes beside the real file.
TEST_F(FailedWrite, LinkIsWrittenThrough) {
    const fs::path real = dir.path() / "sub" / "real.ini";
    fs::create_directory(dir.path() / "sub");
    Spit(real, old);
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::remove(target);
    fs::create_symlink(real, target);
    ASSERT_EQ(Ini_WriteToFile(doc.get(), target.c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(target));
    EXPECT_EQ(Slurp(real).substr(0, 7), "[New]\r\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(dir.CountOthers({"settings.ini", "sub"}), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "sub"), fs::directory_iterator()), 1);
}
}  // namespace
