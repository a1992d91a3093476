// Fmt and Scan as the protocol texts use them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "platform/formatio.h"

namespace {

std::string fmtReal(const char* format, double value) {
    std::array<char, 512> buffer{};
    const int n = Fmt(buffer.data(), format, value);
    if (n < 0) return "<refused>";
    EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buffer.data()));
    return buffer.data();
}

TEST(Fmt, FixedPointWithRoundedDecimals) {
    const struct {
        const char* format;
        double value;
        const char* text;
    } cases[] = {
        {"%s<%f[p1]", 12.5, "12.5"},
        {"%s<%f[p3]", 0.5, "0.500"},
        {"%s<%f[p1]", 250.0, "250.0"},
        {"%s<%f[p1]", 0.04, "0.0"},
        {"%s<%f[p1]", 0.96, "1.0"},
        {"%s<%f[p3]", 1.23456, "1.235"},
        {"%s<%f[p6]", -3.25, "-3.250000"},
        {"%s<%f[p6]", 999999.999999, "999999.999999"},
        {"%s<%f[p6]", 0.9999996, "1.000000"},
        {"%s<%f[p1]", 1234567.0, "1234567.0"},
        {"%s<%f[p6]", -0.0000001, "0.000000"},  // rounds to zero: no sign
        {"%s<%f[p1]", -0.0, "0.0"},
        {"%s<%f", 2.0, "2.000000"},
        {"%s<%f[p0]", 2.6, "3"},
    };
    for (const auto& c : cases) EXPECT_EQ(fmtReal(c.format, c.value), c.text) << c.format << " " << c.value;
}

TEST(Fmt, NonFiniteValuesHaveNoText) {
    EXPECT_EQ(fmtReal("%s<%f[p1]", std::numeric_limits<double>::quiet_NaN()), "<refused>");
    EXPECT_EQ(fmtReal("%s<%f[p6]", std::numeric_limits<double>::infinity()), "<refused>");
    EXPECT_EQ(fmtReal("%s<%f[p6]", -std::numeric_limits<double>::infinity()), "<refused>");
}

TEST(Fmt, RequestFromCharactersAndIntegers) {
    std::array<char, 64> buffer{};
    EXPECT_EQ(Fmt(buffer.data(), "%s<%c%i%c%c%c%c", 35, 3, 73, 68, 82, 13), 6);
    EXPECT_STREQ(buffer.data(), "#3IDR\r");
    EXPECT_EQ(Fmt(buffer.data(), "%s<%c%i%c%c%c%d%c", 35, 0, 'M', '1', 'W', 3, 13), 7);
    EXPECT_STREQ(buffer.data(), "#0M1W3\r");
    EXPECT_EQ(Fmt(buffer.data(), "%s<%c%i%c%c%c%f[p3]%c", 35, 2, 'F', '1', 'W', 0.5, 13), 11);
    EXPECT_STREQ(buffer.data(), "#2F1W0.500\r");
    EXPECT_EQ(Fmt(buffer.data(), "%s<%i[w1]|%x[w2]|%s|%d", 7, 10, "ab", -42), 11);
    EXPECT_STREQ(buffer.data(), "7|0A|ab|-42");
}

TEST(Fmt, RefusesWhatDoesNotFitOrIsMalformed) {
    std::array<char, 64> buffer{};
    std::strcpy(buffer.data(), "untouched");
    EXPECT_LT(Fmt(buffer.data(), "%s<%i[w1]", 12), 0);  // a one-wide field is never cut
    EXPECT_LT(Fmt(buffer.data(), "%s<%q", 1), 0);
    EXPECT_LT(Fmt(buffer.data(), "%s<%f[p", 1.0), 0);
    EXPECT_LT(Fmt(buffer.data(), "%s<%s", static_cast<const char*>(nullptr)), 0);
    EXPECT_STREQ(buffer.data(), "untouched");
}

TEST(Scan, RegisterReplyFillsAllSevenTargets) {
    int start = 0, address = 0, e1 = 0, e2 = 0, e3 = 0, cr = 0;
    double value = 0.0;
    EXPECT_EQ(Scan("#0V1R12.5\r", "%s>%c%i[w1]%c%c%c%f%c", &start, &address, &e1, &e2, &e3, &value, &cr), 7);
    EXPECT_EQ(start, '#');
    EXPECT_EQ(address, 0);
    EXPECT_EQ(std::string({char(e1), char(e2), char(e3)}), "V1R");
    EXPECT_DOUBLE_EQ(value, 12.5);
    EXPECT_EQ(cr, 13);
    EXPECT_EQ(Scan("#3012-1.25E2\r", "%s>%c%i[w1]%c%c%c%f%c", &start, &address, &e1, &e2, &e3, &value, &cr),
              7);
    EXPECT_DOUBLE_EQ(value, -125.0);
}

TEST(Scan, CountsOnlyTheTargetsItFilled) {
    int c = 0, a = 0, e1 = 0, e2 = 0, e3 = 0, cr = 0;
    double v = 0.0;
    const char* format = "%s>%c%i[w1]%c%c%c%f%c";
    const struct {
        const char* text;
        int filled;
    } cases[] = {
        {"", 0},
        {"#", 1},
        {"#X", 1},
        {"#12", 3},  // the digit is taken exactly
                     // one wide
        {"#0V1R\r", 5},
        {"#0V1Rnan\r", 5},
        {"#0V1Rinf\r", 5},
        {"#0V1R.\r", 5},
        {"#0V1R1.5", 6},
        {"#0V1R-.5\r", 7},
        {"#0V1R+2\r", 7},
    };
    for (const auto& k : cases)
        EXPECT_EQ(Scan(k.text, format, &c, &a, &e1, &e2, &e3, &v, &cr), k.filled) << k.text;
}

TEST(Scan, TextStopsAtWhiteSpaceAndNeedsOneCharacter) {
    int start = 0, address = 0, cr = 0;
    char text[32] = {};
    EXPECT_EQ(Scan("#3ZEL-KWD2-V1.5\r", "%s>%c%i[w1]%s%c", &start, &address, text, &cr), 4);
    EXPECT_STREQ(text, "ZEL-KWD2-V1.5");
    EXPECT_EQ(cr, 13);
    EXPECT_EQ(Scan("#3ZEL KWD2\r", "%s>%c%i[w1]%s%c", &start, &address, text, &cr), 4);
    EXPECT_STREQ(text, "ZEL");
    EXPECT_EQ(cr, ' ');
    EXPECT_EQ(Scan("#3\r", "%s>%c%i[w1]%s%c", &start, &address, text, &cr), 2);
}

TEST(Scan, HexadecimalExactlyTwoDigits) {
    int value = 0, rest = 0;
    EXPECT_EQ(Scan("a7\r", "%s>%x[w2]%c", &value, &rest), 2);
    EXPECT_EQ(value, 0xA7);
    EXPECT_EQ(Scan("FF", "%s>%x[w2]", &value), 1);
    EXPECT_EQ(value, 255);
    EXPECT_EQ(Scan("5\r", "%s>%x[w2]%c", &value, &rest), 0);
    EXPECT_EQ(Scan("G5", "%s>%x[w2]", &value), 0);
    EXPECT_EQ(Scan("123", "%s>%x[w2]%c", &value, &rest), 2);
    EXPECT_EQ(value, 0x12);
    EXPECT_EQ(rest, '3');
}

TEST(Scan, IntegersAndLiterals) {
    int value = 0, cr = 0;
    EXPECT_EQ(Scan("-17\r", "%s>%d%c", &value, &cr), 2);
    EXPECT_EQ(value, -17);
    EXPECT_EQ(Scan("99999999999\r", "%s>%d%c", &value, &cr), 0);  // out of range is no number
    EXPECT_EQ(Scan("$05", "%s>$%x[w2]", &value), 1);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(Scan("#05", "%s>$%x[w2]", &value), 0);
}

}  // namespace
