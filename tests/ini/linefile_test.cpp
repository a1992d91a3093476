// Line reader: terminators, counters, cut lines, blank-line skipping and stream errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/ini/test_util.h"

namespace {
using ini_test::MemoryStream;
using ini_test::ReadMemory;

std::vector<std::string> AllLines(const std::string& bytes, bool nonEmpty = false, int maxChars = 255) {
    MemoryStream m{bytes};
    LineFile* lf = LineFile_New(ReadMemory, &m);
    std::vector<std::string> lines;
    std::vector<char> buf(static_cast<size_t>(maxChars) + 1);
    for (;;) {
        int eoi = 0, n = -1;
        const int rc = nonEmpty ? LineFile_ReadNonEmpty(lf, buf.data(), maxChars, &n, &eoi)
                                : LineFile_Read(lf, buf.data(), maxChars, &n, &eoi);
        EXPECT_EQ(rc, 0);
        if (eoi) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(buf[0], '\0');
            break;
        }
        lines.emplace_back(buf.data(), static_cast<size_t>(n));
    }
    LineFile_Dispose(lf);
    return lines;
}

struct TerminatorCase {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(LineFileTerminators, EveryCommonTerminatorEndsOneLine) {
    const std::vector<TerminatorCase> cases = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\n\rb", {"a", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {std::string("a\0b", 3), {"a", "b"}},
        {"a\rb\nc\r\nd\n\re", {"a", "b", "c", "d", "e"}},
        {"", {}},
        {"\r\nx", {"", "x"}},  // a leading terminator is an empty first line
        {"\nx", {"", "x"}},
    };
    for (const auto& c : cases) EXPECT_EQ(AllLines(c.bytes), c.lines) << "bytes: " << c.bytes;
}

TEST(LineFileCounters, LinesAndOffsetsFollowTheStream) {
    MemoryStream m{"a\r\nb\r\n"};
    LineFile* lf = LineFile_New(ReadMemory, &m);
    char buf[256];
    int eoi = 0, n = 0;
    EXPECT_EQ(LineFile_OffsetOfLastLine(lf), -1);
    ASSERT_EQ(LineFile_Read(lf, buf, 255, &n, &eoi), 0);
    EXPECT_EQ(LineFile_OffsetOfLastLine(lf), 0);
    ASSERT_EQ(LineFile_Read(lf, buf, 255, &n, &eoi), 0);
    EXPECT_STREQ(buf, "b");
    EXPECT_EQ(LineFile_NumLinesRead(lf), 2);
    EXPECT_EQ(LineFile_OffsetOfLastLine(lf), 3);
    EXPECT_EQ(LineFile_NumExtraLineTermChars(lf), 1);
    ASSERT_EQ(LineFile_Read(lf, buf, 255, &n, &eoi), 0);
    EXPECT_EQ(eoi, 1);
    EXPECT_EQ(LineFile_NumLinesRead(lf), 2);
    LineFile_Dispose(lf);
}

TEST(LineFileCounters, LastLineWithoutTerminatorIsCounted) {
    MemoryStream m{"x\ny"};
    LineFile* lf = LineFile_New(ReadMemory, &m);
    char buf[256];
    int eoi = 0;
    LineFile_Read(lf, buf, 255, nullptr, &eoi);
    LineFile_Read(lf, buf, 255, nullptr, &eoi);
    EXPECT_STREQ(buf, "y");
    EXPECT_EQ(eoi, 0);
    EXPECT_EQ(LineFile_NumLinesRead(lf), 2);
    LineFile_Read(lf, buf, 255, nullptr, &eoi);
    EXPECT_EQ(eoi, 1);
    EXPECT_EQ(LineFile_NumLinesRead(lf), 2);
    LineFile_Dispose(lf);
}

TEST(LineFileLongLines, CutAtMaximumAndRestSkipped) {
    const std::string longLine(300, 'q');
    const auto lines = AllLines(longLine + "\r\nnext\r\n" + std::string(5000, 'z') + "\nend");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], std::string(255, 'q'));
    EXPECT_EQ(lines[1], "next");
    EXPECT_EQ(lines[2], std::string(255, 'z'));  // spans several 2048-byte blocks
    EXPECT_EQ(lines[3], "end");
    EXPECT_EQ(AllLines("abcdef\ngh", false, 3), (std::vector<std::string>{"abc", "gh"}));
}

TEST(LineFileLongLines, PairSplitAcrossBlocksIsStillOnePair) {
    std::string bytes(2047, 'a');
    bytes += "\r\nb";  // CR is the last byte of the first block, LF the first of the next
    const auto lines = AllLines(bytes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "b");
}

TEST(LineFileNonEmpty, SkipsBlankLinesAndCountsTheirCharacters) {
    MemoryStream m{"a\n  \n\nb"};
    LineFile* lf = LineFile_New(ReadMemory, &m);
    char buf[256];
    int eoi = 0, n = 0;
    ASSERT_EQ(LineFile_ReadNonEmpty(lf, buf, 255, &n, &eoi), 0);
    EXPECT_STREQ(buf, "a");
    ASSERT_EQ(LineFile_ReadNonEmpty(lf, buf, 255, &n, &eoi), 0);
    EXPECT_STREQ(buf, "b");
    EXPECT_EQ(n, 1);
    EXPECT_EQ(LineFile_NumLinesRead(lf), 4);
    EXPECT_EQ(LineFile_NumCharsInEmptyLines(lf), 4);
    LineFile_Dispose(lf);
    EXPECT_EQ(AllLines("\t\r\n \r\n", true), std::vector<std::string>{});
}

int FailingRead(void* data, int, int* bytesRead, char* buffer) {
    int& calls = *static_cast<int*>(data);
    *bytesRead = 0;
    if (calls++ == 0) {
        std::memcpy(buffer, "ab", 2);
        *bytesRead = 2;
        return 0;
    }
    return -5002;
}

TEST(LineFileErrors, CallbackErrorEndsTheReadWithPartialLineTerminated) {
    int calls = 0;
    LineFile* lf = LineFile_New(FailingRead, &calls);
    char buf[256];
    int eoi = 0, n = 0;
    EXPECT_EQ(LineFile_Read(lf, buf, 255, &n, &eoi), -5002);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(LineFile_NumLinesRead(lf), 0);
    LineFile_Dispose(lf);
}

TEST(LineFileErrors, StreamErrorGives5002) {
    std::FILE* fp = std::fopen("/tmp", "rb");  // a directory opens but cannot be read
    ASSERT_NE(fp, nullptr);
    LineFile* lf = LineFile_New(nullptr, fp);  // the FILE* reader is the default
    char buf[256];
    int eoi = 0;
    EXPECT_EQ(LineFile_Read(lf, buf, 255, nullptr, &eoi), -5002);
    LineFile_Dispose(lf);
    std::fclose(fp);
}
}  // namespace
