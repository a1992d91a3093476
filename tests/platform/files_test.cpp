// Binary files and path splitting.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/formatio.h"
#include "platform/utility.h"

namespace {

std::string TempFile(const char* name) {
    const std::string path = testing::TempDir() + name;
    std::remove(path.c_str());
    return path;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(BinaryFile, RecordRoundTripsByteForByte) {
    const std::string path = TempFile("record.kwd");
    std::array<char, 200> record{};
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<char>(i * 7);  // includes 0 and 0x1A
    const int out = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    ASSERT_GE(out, 0);
    EXPECT_EQ(WriteFile(out, record.data(), 200), 200);
    EXPECT_EQ(CloseFile(out), 0);

    std::array<char, 300> back{};
    const int in = OpenFile(path.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    ASSERT_GE(in, 0);
    EXPECT_EQ(ReadFile(in, back.data(), 300), 200);  // a short file reports what it had
    EXPECT_EQ(std::string(back.data(), 200), std::string(record.data(), 200));
    EXPECT_EQ(ReadFile(in, back.data(), 10), 0);
    EXPECT_EQ(CloseFile(in), 0);
    EXPECT_EQ(CloseFile(in), -1);  // closed handles are gone
}

TEST(BinaryFile, ModesTruncateAppendAndKeep) {
    const std::string path = TempFile("modes.bin");
    int h = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    WriteFile(h, "abcdef", 6);
    CloseFile(h);
    h = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_APPEND, VAL_BINARY);
    WriteFile(h, "gh", 2);
    CloseFile(h);
    EXPECT_EQ(Contents(path), "abcdefgh");
    h = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    WriteFile(h, "XY", 2);
    CloseFile(h);
    EXPECT_EQ(Contents(path), "XYcdefgh");
    h = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    CloseFile(h);
    EXPECT_EQ(Contents(path), "");
}

TEST(BinaryFile, FailuresReportMinusOne) {
    EXPECT_EQ(OpenFile((testing::TempDir() + "no/such/dir/x.kwd").c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE,
                       VAL_BINARY),
              -1);
    EXPECT_EQ(OpenFile(TempFile("missing.kwd").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY), -1);
    EXPECT_EQ(OpenFile("", VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY), -1);
    char buffer[4];
    EXPECT_EQ(ReadFile(12345, buffer, 4), -1);
    EXPECT_EQ(WriteFile(-1, buffer, 4), -1);

    const std::string path = TempFile("readonly.bin");
    std::ofstream(path) << "data";
    const int h = OpenFile(path.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    ASSERT_GE(h, 0);
    EXPECT_EQ(WriteFile(h, "zz", 2), -1);
    CloseFile(h);
    EXPECT_EQ(Contents(path), "data");
}

TEST(SplitPathTest, SplitsIntoDriveDirectoryAndName) {
    struct Case {
        const char* path;
        const char* directory;
        const char* file;
    };
    const Case cases[] = {
        {"/home/op/kal/geraet1.kwd", "/home/op/kal/", "geraet1.kwd"},
        {"geraet1.kwd", "", "geraet1.kwd"},
        {"/geraet1.kwd", "/", "geraet1.kwd"},
        {"/home/op/kal/", "/home/op/kal/", ""},
        {"", "", ""},
        {"rel/dir/f\xe4.kwd", "rel/dir/", "f\xe4.kwd"},
    };
    for (const Case& c : cases) {
        char drive[8] = "x";
        char directory[260] = "x";
        char file[260] = "x";
        EXPECT_EQ(SplitPath(c.path, drive, directory, file), 0);
        EXPECT_STREQ(drive, "") << c.path;
        EXPECT_STREQ(directory, c.directory) << c.path;
        EXPECT_STREQ(file, c.file) << c.path;
    }
    char file[32];
    EXPECT_EQ(SplitPath("/a/b.kwd", nullptr, nullptr, file), 0);
    EXPECT_STREQ(file, "b.kwd");
}

}  // namespace
