// Message lookup: code to error number, the catalogue's rows and gaps, bytes, language, buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "errors/ZEL_errorV3.h"
#include "errors/ZEL_errorV3_catalogue.h"

namespace {

const std::string kNoError = "Es ist kein Fehler aufgetreten";
const std::string kFallbackDe = "Ein unbekannter Fehler ist aufgetreten";
const std::string kFallbackEn = "A unknown error occured";

class ErrorLookup : public testing::Test {
  protected:
    void SetUp() override { ZEL_Fehlersprache(1); }
    void TearDown() override { ZEL_Fehlersprache(1); }
};

// The numbers that have a row, written as ranges independently of the table.
std::set<int> NumbersWithRow() {
    const std::vector<std::pair<int, int>> ranges = {
        {0, 0},     {2, 8},     {100, 103}, {110, 114},   {116, 120},   {122, 126},  {200, 202}, {300, 308},
        {310, 312}, {315, 322}, {350, 355}, {358, 358},   {380, 382},   {400, 407},  {500, 500}, {503, 503},
        {505, 509}, {600, 600}, {651, 652}, {700, 704},   {760, 760},   {763, 765},  {780, 780}, {783, 785},
        {800, 803}, {850, 855}, {894, 898}, {1000, 1005}, {1007, 1008}, {1010, 1017}};
    std::set<int> numbers;
    for (const auto& [first, last] : ranges) {
        for (int n = first; n <= last; ++n) numbers.insert(n);
    }
    return numbers;
}

TEST_F(ErrorLookup, CatalogueHasTheExpectedRowsInOrderAndEveryTextFitsTheBuffer) {
    const auto rows = zel_error::Catalogue();
    ASSERT_EQ(rows.size(), 122u);
    const std::set<int> expected = NumbersWithRow();
    ASSERT_EQ(expected.size(), 122u);
    std::size_t longest = 0;
    int longestNumber = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(rows[i - 1].number, rows[i].number);
        }
        EXPECT_TRUE(expected.count(rows[i].number)) << rows[i].number;
        for (const char* text : {rows[i].german, rows[i].english}) {
            ASSERT_NE(text, nullptr);
            const std::size_t length = std::strlen(text);
            if (length > 0) {
                EXPECT_NE(text[length - 1], '\n') << rows[i].number;
            }
            if (length > longest) {
                longest = length;
                longestNumber = rows[i].number;
            }
        }
    }
    EXPECT_EQ(longest, 192u);
    EXPECT_EQ(longestNumber, 1002);
    EXPECT_EQ(std::strlen(ZEL_Fehlermeldung(-1002000)), 192u);
}

TEST_F(ErrorLookup, EveryNumberWithoutRowGivesTheFallbackInBothLanguages) {
    const std::set<int> withRow = NumbersWithRow();
    for (int language : {1, 2}) {
        ZEL_Fehlersprache(language);
        const std::string& fallback = language == 2 ? kFallbackEn : kFallbackDe;
        for (int number = 1; number <= 1020; ++number) {
            const std::string text = ZEL_Fehlermeldung(-(number * 1000 + 17));
            if (withRow.count(number)) {
                EXPECT_NE(text, fallback) << number;
            } else {
                EXPECT_EQ(text, fallback) << number;
            }
        }
    }
}

struct CodeCase {
    int code;
    std::string german;
};

TEST_F(ErrorLookup, CodeToTextByTruncatingDivision) {
    const std::vector<CodeCase> cases = {
        {0, kNoError},
        {-1, kNoError},
        {-999, kNoError},
        {999, kNoError},
        {-1000, kFallbackDe},
        {-1999, kFallbackDe},
        {1000, kFallbackDe},
        {5000, kFallbackDe},
        {-2204, "Ein Fehler ist aufgetreten"},
        {-6000, ""},
        {-6001, ""},
        {-6999, ""},
        {-7000, "Unerwarteter Fehler"},
        {-400005, "Unzul\xe4ssige Ger\xe4teadresse"},
        {-112007, "Fehler beim Leeren des Schreib- oder Leesepuffers der seriellen Schnittstelle"},
        {-402010, "Fehlermeldung (NAK) vom Ger\xe4t erhalten"},
        {-407000, "Lesebefehl ist mit Sammeladresse nicht m\xf6glich"},
        {-1017999, "Die Datei ist keine QXR-1 Kurvendatei."},
        {-1018000, kFallbackDe},
        {INT_MIN, kFallbackDe},
        {INT_MAX, kFallbackDe},
    };
    for (const auto& c : cases) EXPECT_EQ(ZEL_Fehlermeldung(c.code), c.german) << c.code;
}

TEST_F(ErrorLookup, GermanTextsCarryLatin1Bytes) {
    const std::vector<CodeCase> cases = {
        {-122212,
         "Serielle Schnittstelle ist nicht ge\xf6"
         "ffnet"},
        {-308000,
         "Fehler beim \xd6"
         "ffnen der Datei"},
        {-406000,
         "Checksummenfehler bei der \xdc"
         "bertragung"},
        {-500000,
         "Parameter au\xdf"
         "erhalb der Grenzwerte"},
        {-507000, "Wert zu gro\xdf."},
        {-700000,
         "Timeout:\nMe\xdf"
         "eingang konnte nicht gelesen werden"},
        {-1014000,
         "Gewichtsbereich \xfc"
         "berschritten"},
    };
    for (const auto& c : cases) EXPECT_EQ(ZEL_Fehlermeldung(c.code), c.german) << c.code;
    EXPECT_EQ(static_cast<unsigned char>(ZEL_Fehlermeldung(-122000)[35]), 0xF6);
}

TEST_F(ErrorLookup, MultiLineTextsKeepTheirBreaksAndSymbols) {
    const std::string text = ZEL_Fehlermeldung(-1000000);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_NE(text.find(">&<"), std::string::npos);
    ZEL_Fehlersprache(2);
    EXPECT_STREQ(ZEL_Fehlermeldung(-1002000),
                 "The current amount of teststeps is not equivalent to the\namount of teststeps in the "
                 "data-file for this BA-Nr.\nThe BA-File was probably createt with\n a different sequence.");
}

TEST_F(ErrorLookup, LanguageTwoIsEnglishAndAnyOtherValueGerman) {
    const std::vector<std::pair<int, std::string>> cases = {
        {2, "Errormessage (NAK) received from device"},   {3, "Fehlermeldung (NAK) vom Ger\xe4t erhalten"},
        {0, "Fehlermeldung (NAK) vom Ger\xe4t erhalten"}, {-2, "Fehlermeldung (NAK) vom Ger\xe4t erhalten"},
        {1, "Fehlermeldung (NAK) vom Ger\xe4t erhalten"},
    };
    for (const auto& [language, text] : cases) {
        ZEL_Fehlersprache(language);
        EXPECT_EQ(ZEL_Fehlermeldung(-402010), text) << language;
    }
    ZEL_Fehlersprache(2);
    EXPECT_STREQ(ZEL_Fehlermeldung(0), "No error");
    EXPECT_STREQ(ZEL_Fehlermeldung(-1011000), "The graph consists of to many datapoints.");
    EXPECT_STREQ(ZEL_Fehlermeldung(-6500), "");
    EXPECT_EQ(ZEL_Fehlermeldung(-1009000), kFallbackEn);
    ZEL_Fehlersprache(1);
    EXPECT_STREQ(ZEL_Fehlermeldung(-1011000), "Die Kurve besteht aus zu vielen Datenpunkten.");
}

TEST_F(ErrorLookup, EveryLookupOverwritesTheOneSharedBuffer) {
    const char* first = ZEL_Fehlermeldung(-403000);
    EXPECT_STREQ(first, "Keine Antwort vom Ger\xe4t");
    const char* second = ZEL_Fehlermeldung(-3000);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "Timeout erreicht");
    // A shorter text after a longer one leaves no tail behind.
    ZEL_Fehlermeldung(-1002000);
    EXPECT_STREQ(ZEL_Fehlermeldung(-6000), "");
}

}  // namespace
