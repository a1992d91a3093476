// Typed items: accept/refuse lists of the Gets, texts of the Puts, escapes and binary data.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/ini/test_util.h"

namespace {
using ini_test::ReadText;
using ini_test::WriteText;

using ini_test::Doc;

// A document holding one raw value under S/v.
Doc With(const std::string& value) {
    Doc d(Ini_New(0));
    Ini_PutRawString(d.get(), "S", "v", value.c_str());
    return d;
}

TEST(GetInt, AcceptAndRefuseLists) {
    const std::vector<std::pair<std::string, int>> accepted = {{"42", 42},
                                                               {"+42", 42},
                                                               {"-42", -42},
                                                               {"007", 7},
                                                               {"  42  ", 42},
                                                               {"\t-0", 0},
                                                               {"-2147483648", -2147483647 - 1},
                                                               {"2147483647", 2147483647}};
    for (const auto& [text, want] : accepted) {
        int v = 99;
        EXPECT_EQ(Ini_GetInt(With(text).get(), "S", "v", &v), 1) << text;
        EXPECT_EQ(v, want) << text;
    }
    for (const char* text : {"4 2", "- 42", "42abc", "4.0", "0x10", "2147483648", "-2147483649", "+-1", "1-",
                             "99999999999", "4294967296"}) {
        int v = 99;
        EXPECT_EQ(Ini_GetInt(With(text).get(), "S", "v", &v), -5021) << text;
        EXPECT_EQ(v, 99) << text;
    }
}

TEST(GetUInt, AcceptAndRefuseLists) {
    unsigned v = 7;
    EXPECT_EQ(Ini_GetUInt(With("4294967295").get(), "S", "v", &v), 1);
    EXPECT_EQ(v, 4294967295u);
    EXPECT_EQ(Ini_GetUInt(With("+12").get(), "S", "v", &v), 1);
    EXPECT_EQ(v, 12u);
    for (const char* text : {"4294967296", "-1", "-0", "1e3"}) {
        v = 7;
        EXPECT_EQ(Ini_GetUInt(With(text).get(), "S", "v", &v), -5022) << text;
        EXPECT_EQ(v, 7u);
    }
}

TEST(GetDouble, AcceptAndRefuseLists) {
    const std::vector<std::pair<std::string, double>> accepted = {
        {"1e3", 1000.0},   {"-0.5", -0.5},     {"20.5", 20.5},      {"inf", HUGE_VAL},
        {"INF", HUGE_VAL}, {"+Inf", HUGE_VAL}, {"-inf", -HUGE_VAL}, {"250", 250.0}};
    for (const auto& [text, want] : accepted) {
        double v = 0;
        EXPECT_EQ(Ini_GetDouble(With(text).get(), "S", "v", &v), 1) << text;
        EXPECT_EQ(v, want) << text;
    }
    // A refused text still leaves in the output what the conversion made of it.
    const std::vector<std::pair<std::string, double>> refused = {
        {"1,5", 1.0}, {"1.5x", 1.5}, {"1e999", HUGE_VAL}, {"abc", 0.0}, {"1.5 ", 1.5}};
    for (const auto& [text, left] : refused) {
        double v = 7;
        EXPECT_EQ(Ini_GetDouble(With(text).get(), "S", "v", &v), -5023) << text;
        EXPECT_EQ(v, left) << text;
    }
}

// A locale with a decimal comma: the installed one, or else one built for this test from the
// system's locale sources (no installation needed).
bool GermanNumbers(const testsupport::TempDir& dir) {
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) return true;
    const std::string build =
        "localedef -c -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8").string() + " 2>/dev/null";
    if (std::system(build.c_str()) == -1) return false;
    ::setenv("LOCPATH", dir.path().c_str(), 1);
    const bool built = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");  // loaded now; later locales come from the system again
    return built;
}

TEST(GetDouble, IgnoresTheProcessLocale) {
    const testsupport::TempDir locales("kwd2_locale");
    if (!GermanNumbers(locales)) GTEST_SKIP() << "no German locale, and localedef could not build one";
    Doc d(Ini_New(0));
    Ini_PutDouble(d.get(), "S", "v", 20.5);
    double v = 0;
    EXPECT_EQ(Ini_GetDouble(d.get(), "S", "v", &v), 1);
    EXPECT_EQ(WriteText(d.get()), "[S]\r\nv = 20.5\r\n\r\n");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(v, 20.5);
}

TEST(GetBoolean, AcceptAndRefuseLists) {
    for (auto [text, want] : {std::pair{"TRUE", 1}, {"false", 0}, {"True", 1}}) {
        int v = 5;
        EXPECT_EQ(Ini_GetBoolean(With(text).get(), "S", "v", &v), 1) << text;
        EXPECT_EQ(v, want);
    }
    for (const char* text : {"1", "yes", "0", "no"}) {
        int v = 5;
        EXPECT_EQ(Ini_GetBoolean(With(text).get(), "S", "v", &v), -5024) << text;
        EXPECT_EQ(v, 5);
    }
}

TEST(Gets, BlankOrMissingLeavesOutputsAlone) {
    for (const char* text : {"", "   "}) {
        auto d = With(text);
        int i = 3;
        unsigned u = 3;
        double x = 3;
        int b = 3;
        EXPECT_EQ(Ini_GetInt(d.get(), "S", "v", &i), 0);
        EXPECT_EQ(Ini_GetUInt(d.get(), "S", "v", &u), 0);
        EXPECT_EQ(Ini_GetDouble(d.get(), "S", "v", &x), 0);
        EXPECT_EQ(Ini_GetBoolean(d.get(), "S", "v", &b), 0);
        EXPECT_EQ(i, 3);
        EXPECT_EQ(u, 3u);
        EXPECT_EQ(x, 3.0);
        EXPECT_EQ(b, 3);
        char buf[8] = "junk";
        EXPECT_EQ(Ini_GetRawStringIntoBuffer(d.get(), "S", "v", buf, sizeof buf), 1);
        EXPECT_STREQ(buf, text);
    }
    auto d = With("x");
    char buf[8] = "junk";
    EXPECT_EQ(Ini_GetRawStringIntoBuffer(d.get(), "S", "nope", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    const char* p = "x";
    EXPECT_EQ(Ini_GetPointerToRawString(d.get(), "none", "v", &p), 0);
    EXPECT_EQ(p, nullptr);
    char* copy = reinterpret_cast<char*>(1);
    EXPECT_EQ(Ini_GetRawStringCopy(d.get(), "S", "nope", &copy), 0);
    EXPECT_EQ(copy, nullptr);
}

TEST(Gets, RawBufferIsCutAndTerminated) {
    const std::string value(300, 'p');
    auto d = With(value);
    char buf[260];
    EXPECT_EQ(Ini_GetRawStringIntoBuffer(d.get(), "S", "v", buf, sizeof buf), 1);
    EXPECT_EQ(std::string(buf), value.substr(0, 259));
    char one[1] = {'x'};
    EXPECT_EQ(Ini_GetRawStringIntoBuffer(d.get(), "S", "v", one, 1), 1);
    EXPECT_EQ(one[0], '\0');
}

TEST(Puts, TextsAndQuoting) {
    Doc d(Ini_New(0));
    Ini_PutInt(d.get(), "S", "i", -5);
    Ini_PutUInt(d.get(), "S", "u", 4294967295u);
    Ini_PutBoolean(d.get(), "S", "b", 7);
    Ini_PutBoolean(d.get(), "S", "f", 0);
    Ini_PutDouble(d.get(), "S", "d", 20.5);
    Ini_PutDouble(d.get(), "S", "e", 0.1);
    Ini_PutDouble(d.get(), "S", "g", 1e300);
    Ini_PutRawString(d.get(), "S", "r", "42");
    Ini_PutRawString(d.get(), "S", "n", nullptr);
    EXPECT_EQ(WriteText(d.get()),
              "[S]\r\ni = -5\r\nu = 4294967295\r\nb = True\r\nf = False\r\nd = 20.5\r\ne = 0.1\r\n"
              "g = 1e+300\r\nr = \"42\"\r\nn = \"\"\r\n\r\n");
    int v = 0;
    EXPECT_EQ(Ini_GetInt(d.get(), "s", "R", &v), 1);
    EXPECT_EQ(v, 42);
}

TEST(Escapes, ControlCharactersQuotesAndBackslashesAreEscaped) {
    Doc d(Ini_New(0));
    ASSERT_EQ(Ini_PutString(d.get(), "S", "v", "a\tb\nc\rd\"e\\f\x01g\x7f\xe4"), 0);
    const char* raw = nullptr;
    ASSERT_EQ(Ini_GetPointerToRawString(d.get(), "S", "v", &raw), 1);
    EXPECT_STREQ(raw, "a\\tb\\nc\\rd\\\"e\\\\f\\x01g\\x7f\xe4");
}

TEST(Escapes, UnescapingAndMalformedSequences) {
    const std::vector<std::pair<std::string, std::string>> ok = {
        {"\\x41\\X", "AX"}, {"\\xfF", "\xff"}, {"end\\", "end"}, {"\\q\\\"", "q\""}, {"", ""}};
    for (const auto& [stored, want] : ok) {
        char* copy = nullptr;
        ASSERT_EQ(Ini_GetStringCopy(With(stored).get(), "S", "v", &copy), 1) << stored;
        EXPECT_EQ(std::string(copy), want);
        std::free(copy);
    }
    for (const char* bad : {"\\x", "\\x4", "\\xg1", "ab\\x1"}) {
        auto d = With(bad);
        const char* p = "unchanged";
        EXPECT_EQ(Ini_GetPointerToString(d.get(), "S", "v", &p), kIniErrInvalidEscape) << bad;
        EXPECT_EQ(p, nullptr);
        char buf[8] = "junk";
        EXPECT_EQ(Ini_GetStringIntoBuffer(d.get(), "S", "v", buf, sizeof buf), kIniErrInvalidEscape);
        EXPECT_STREQ(buf, "");
    }
}

TEST(Escapes, StringBufferGrowsInKilobytesAndIsReused) {
    auto d = With(std::string(2000, 'a'));
    const char* first = nullptr;
    ASSERT_EQ(Ini_GetPointerToString(d.get(), "S", "v", &first), 1);
    EXPECT_EQ(std::string(first).size(), 2000u);
    Ini_PutString(d.get(), "S", "w", "short");
    const char* second = nullptr;
    ASSERT_EQ(Ini_GetPointerToString(d.get(), "S", "w", &second), 1);
    EXPECT_EQ(second, first);  // same buffer, not shrunk
    EXPECT_STREQ(second, "short");
}

TEST(Data, SixBitTextRoundTrip) {
    Doc d(Ini_New(0));
    const unsigned char two[] = {0x41, 0xFF};
    ASSERT_EQ(Ini_PutData(d.get(), "S", "two", two, 2), 0);
    const char* raw = nullptr;
    Ini_GetPointerToRawString(d.get(), "S", "two", &raw);
    EXPECT_STREQ(raw, "L1o");  // 48 + (1 * 16 + 3 * 4), 48 + 1, 48 + 63
    unsigned char* back = nullptr;
    long size = -1;
    ASSERT_EQ(Ini_GetData(d.get(), "S", "two", &back, &size), 1);
    ASSERT_EQ(size, 2);
    EXPECT_EQ(back[0], 0x41);
    EXPECT_EQ(back[1], 0xFF);
    std::free(back);

    for (long n : {0L, 1L, 3L, 4L, 5L, 255L}) {
        std::vector<unsigned char> bytes(static_cast<size_t>(n));
        for (long i = 0; i < n; ++i) bytes[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 37 + 11);
        ASSERT_EQ(Ini_PutData(d.get(), "S", "blob", bytes.data(), n), 0);
        Ini_GetPointerToRawString(d.get(), "S", "blob", &raw);
        EXPECT_EQ(std::strlen(raw), static_cast<size_t>(4 * (n / 3) + (n % 3 ? n % 3 + 1 : 0)));
        ASSERT_EQ(Ini_GetData(d.get(), "S", "blob", &back, &size), 1);
        ASSERT_EQ(size, n);
        EXPECT_TRUE(n == 0 ? back == nullptr : std::equal(bytes.begin(), bytes.end(), back));
        std::free(back);
    }
}

TEST(Data, MalformedTextIsRefused) {
    for (const char* bad : {"0", "00000", "0p", "0/", "0\x7f"}) {
        unsigned char* data = reinterpret_cast<unsigned char*>(1);
        long size = 9;
        EXPECT_EQ(Ini_GetData(With(bad).get(), "S", "v", &data, &size), kIniErrInvalidDataText) << bad;
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 0);
    }
}

TEST(ErrorTexts, StoreCodesHaveTheirTexts) {
    EXPECT_STREQ(GetToolboxErrorString(-5001), "Could Not Open File For Reading");
    EXPECT_STREQ(GetToolboxErrorString(-5002), "Error Reading From File");
    EXPECT_STREQ(GetToolboxErrorString(-5003), "Could Not Find Unused Temporary File Name");
    EXPECT_STREQ(GetToolboxErrorString(-5004), "Could Not Create Temporary File");
    EXPECT_STREQ(GetToolboxErrorString(-5021), "Invalid Integer Number");
    EXPECT_STREQ(GetToolboxErrorString(-5022), "Invalid Unsigned Integer Number");
    EXPECT_STREQ(GetToolboxErrorString(-5023), "Invalid Floating Point Number");
    EXPECT_STREQ(GetToolboxErrorString(-5024), "Invalid Boolean Value");
    EXPECT_EQ(GetToolboxErrorString(-12), nullptr);
    EXPECT_STREQ(GetGeneralErrorString(-5023), "Invalid Floating Point Number");
    for (int code : {-12, -91, -93, -94, -95, -97, -100}) {
        ASSERT_NE(GetGeneralErrorString(code), nullptr);
        EXPECT_STRNE(GetGeneralErrorString(code), "Unknown error") << code;
    }
}
}  // namespace
