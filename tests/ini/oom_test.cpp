// Running out of memory: every allocation from the n-th on fails, for n = 0, 1, 2, ... until
// the operation gets through. Each failure must be reported as -12 and leave a usable document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>

#include "tests/ini/test_util.h"

namespace {
long g_allocationsLeft = -1;  // -1: no failures injected

void* Allocate(std::size_t n) {
    if (g_allocationsLeft == 0) return nullptr;
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    return std::malloc(n ? n : 1);
}

struct FailAfter {
    explicit FailAfter(long n) { g_allocationsLeft = n; }
    ~FailAfter() { g_allocationsLeft = -1; }
};
}  // namespace

void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {
using ini_test::ReadText;
using ini_test::ScratchDir;
using ini_test::WriteText;

using ini_test::Doc;

const std::string kFile = "[B]\r\nlong Line0001 = \"" + std::string(80, 'a') +
                          "\"\r\nlong Line0002 = \"b\"\r\nx = 1\r\n"
                          "[A]\r\ny = \"two\"\r\nz = 3\r\n";

TEST(OutOfMemory, PutsReportMinus12AndKeepTheDocument) {
    for (int sorted = 0; sorted <= 1; ++sorted) {
        for (int indexed = 0; indexed <= 1; ++indexed) {
            int rc = -12;
            for (long n = 0; rc == -12; ++n) {
                Doc d(Ini_New(sorted));
                ReadText(d.get(), kFile);
                if (indexed) {
                    ASSERT_EQ(Ini_SortInternally(d.get()), 0);
                }
                const std::string before = WriteText(d.get());
                {
                    FailAfter guard(n);
                    rc = Ini_PutString(d.get(), "A", "y", "new\tvalue");
                }
                if (rc == -12) {
                    EXPECT_EQ(WriteText(d.get()), before) << "allocation " << n;
                    continue;
                }
                ASSERT_EQ(rc, 0);
                char* v = nullptr;
                ASSERT_EQ(Ini_GetStringCopy(d.get(), "A", "y", &v), 1);
                EXPECT_STREQ(v, "new\tvalue");
                std::free(v);
                EXPECT_EQ(Ini_ItemExists(d.get(), "a", "Z"), 1);
            }
        }
    }
}

TEST(OutOfMemory, PutIntoNewSection) {
    int rc = -12;
    for (long n = 0; rc == -12; ++n) {
        Doc d(Ini_New(1));
        ReadText(d.get(), kFile);
        {
            FailAfter guard(n);
            rc = Ini_PutDouble(d.get(), "C", "d", 1.5);
        }
        EXPECT_EQ(Ini_SectionExists(d.get(), "C"), rc == 0 ? 1 : 0);
        EXPECT_EQ(Ini_NumberOfSections(d.get()), rc == 0 ? 3 : 2);
    }
    EXPECT_EQ(rc, 0);
}

TEST(OutOfMemory, LostSectionIndexLeavesNoStaleItemIndexBehind) {
    // When the section index cannot take a new section it is dropped, but the item indexes of
    // the other sections stay. A later read joins continuation items in those sections and
    // must not leave their item indexes pointing at the pieces it released.
    for (long n = 0; n < 12; ++n) {
        Doc d(Ini_New(0));
        ASSERT_EQ(ReadText(d.get(), "[B]\r\ny = 1\r\n"), 0);
        ASSERT_EQ(Ini_SortInternally(d.get()), 0);
        ASSERT_EQ(Ini_PutRawString(d.get(), "B", "X Line0001", "ab"), 0);
        ASSERT_EQ(Ini_PutRawString(d.get(), "B", "X Line0002", "cd"), 0);
        int rc = 0;
        {
            FailAfter guard(n);
            rc = Ini_PutInt(d.get(), "C", "c", 1);
        }
        if (rc == -12) continue;
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(ReadText(d.get(), "[D]\r\nz = 1\r\n"), 0);
        const char* v = nullptr;
        ASSERT_EQ(Ini_GetPointerToRawString(d.get(), "B", "X", &v), 1) << "allocation " << n;
        EXPECT_STREQ(v, "abcd");
        EXPECT_EQ(Ini_ItemExists(d.get(), "B", "X Line0002"), 0);
        EXPECT_EQ(Ini_ItemExists(d.get(), "B", "y"), 1);
        EXPECT_EQ(Ini_ItemExists(d.get(), "C", "c"), 1);
    }
}

TEST(OutOfMemory, ReadsReportMinus12AndKeepWhatWasRead) {
    ScratchDir dir;
    const std::string path = (dir.path() / "m.ini").string();
    ini_test::Spit(path, kFile);
    for (int indexed = 0; indexed <= 1; ++indexed) {
        int rc = -12;
        long n = 0;
        for (; rc == -12; ++n) {
            Doc d(Ini_New(1));
            if (indexed) Ini_SortInternally(d.get());
            {
                FailAfter guard(n);
                rc = Ini_ReadFromFile(d.get(), path.c_str());
            }
            ASSERT_TRUE(rc == 0 || rc == -12) << rc;
            EXPECT_LE(Ini_NumberOfSections(d.get()), 2);
            WriteText(d.get());  // still a consistent document
            if (rc == 0) {
                const char* v = nullptr;
                ASSERT_EQ(Ini_GetPointerToRawString(d.get(), "B", "long", &v), 1);
                EXPECT_EQ(std::string(v), std::string(80, 'a') + "b");
            }
        }
        EXPECT_GT(n, 5);  // the read did allocate and did fail several times first
    }
}

TEST(OutOfMemory, GetsAndNewObjects) {
    Doc d(Ini_New(0));
    Ini_PutString(d.get(), "S", "s", "text");
    const char* p = "x";
    {
        FailAfter guard(0);
        EXPECT_EQ(Ini_GetPointerToString(d.get(), "S", "s", &p), -12);
        EXPECT_EQ(Ini_New(0), nullptr);
        EXPECT_EQ(LineFile_New(nullptr, nullptr), nullptr);
        EXPECT_EQ(Ini_SortInternally(d.get()), -12);
    }
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Ini_ItemExists(d.get(), "S", "s"), 1);
}
}  // namespace
