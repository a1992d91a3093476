// Documents: line classification, continuation items, sorting, duplicates, removal and copying.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "tests/ini/test_util.h"

namespace {
using ini_test::ReadText;
using ini_test::WriteText;

using ini_test::Doc;
Doc NewDoc(int sorted) {
    return Doc(Ini_New(sorted));
}

std::string Raw(IniDocument* d, const char* s, const char* t) {
    const char* v = nullptr;
    return Ini_GetPointerToRawString(d, s, t, &v) == 1 ? std::string(v) : std::string("<absent>");
}

std::vector<std::string> Tags(IniDocument* d, const char* section) {
    std::vector<std::string> out;
    const char* t = nullptr;
    for (int n = 1; Ini_NthItemName(d, section, n, &t); ++n) out.emplace_back(t);
    return out;
}

std::vector<std::string> Sections(IniDocument* d) {
    std::vector<std::string> out;
    const char* s = nullptr;
    for (int n = 1; Ini_NthSectionName(d, n, &s); ++n) out.emplace_back(s);
    return out;
}

struct ClassCase {
    std::string line;
    std::string section{};  // expected section name or "" when none
    std::string tag{}, value{};
    bool quoted = false;
};

TEST(LineClassification, DefaultTokensTable) {
    const std::vector<ClassCase> cases = {
        {"[ Main ]", "Main"},
        {"[]", ""},
        {"[Main] x", ""},
        {"[Main", ""},
        {"[a]b]", "a]b"},
        {"key=value", "", "key", "value"},
        {"key = value", "", "key", "value"},
        {"  key   =   value  ", "", "key", "value"},
        {"=value", ""},
        {"key", ""},
        {"key =", ""},
        {"key = \"\"", "", "key", "", true},
        {"; comment", ""},
        {"   ; comment = x", ""},
        {"key = a ; b", "", "key", "a ; b"},
        {"key = \" padded \"", "", "key", " padded ", true},
        {"key = \"", "", "key", "\""},
        {"\xEF\xBB\xBF[T]", ""},  // a byte-order mark is text like any other
        {"key = " + std::string(300, 'x'), "", "key", std::string(249, 'x')},  // cut at 255
    };
    for (const auto& c : cases) {
        auto d = NewDoc(0);
        ASSERT_EQ(ReadText(d.get(), "[S]\n" + c.line + "\n"), 0);
        const auto names = Sections(d.get());
        if (!c.section.empty()) {
            EXPECT_EQ(names, (std::vector<std::string>{"S", c.section})) << c.line;
        } else {
            EXPECT_EQ(names.size(), 1u) << c.line;
        }
        const auto tags = Tags(d.get(), "S");
        if (c.tag.empty()) {
            EXPECT_TRUE(tags.empty()) << c.line;
            continue;
        }
        ASSERT_EQ(tags, std::vector<std::string>{c.tag}) << c.line;
        EXPECT_EQ(Raw(d.get(), "S", c.tag.c_str()), c.value) << c.line;
        EXPECT_EQ(WriteText(d.get()).find("\"") != std::string::npos, c.quoted || c.value == "\"") << c.line;
    }
}

TEST(LineClassification, ItemsOutsideSectionsAndFilteredSectionsAreDropped) {
    auto d = NewDoc(0);
    Ini_SetSectionFilter(
        d.get(), [](IniDocument*, void*, const char* name) { return std::string(name) != "Skip" ? 1 : 0; },
        nullptr);
    ASSERT_EQ(ReadText(d.get(), "early = 1\n[Skip]\na = 1\n[Keep]\nb = 2\n"), 0);
    EXPECT_EQ(Sections(d.get()), std::vector<std::string>{"Keep"});
    EXPECT_EQ(Tags(d.get(), "Keep"), std::vector<std::string>{"b"});
    EXPECT_EQ(ReadText(d.get(), ""), 0);
    EXPECT_EQ(Ini_NumberOfSections(d.get()), 1);
}

TEST(LineClassification, CustomTokens) {
    auto d = NewDoc(0);
    Ini_SetTokens(d.get(), '<', '>', ":=", "#");
    ASSERT_EQ(ReadText(d.get(), "<Sec>\n# skipped := 1\nk := v = w\n"), 0);
    EXPECT_EQ(Raw(d.get(), "Sec", "k"), "v = w");
    EXPECT_EQ(WriteText(d.get()), "<Sec>\r\nk := v = w\r\n\r\n");
}

TEST(LineClassification, EmptyOrMissingTokensLeaveTheOldOnes) {
    auto d = NewDoc(0);
    EXPECT_EQ(Ini_SetTokens(d.get(), '<', 0, ":", nullptr), 0);
    EXPECT_EQ(Ini_SetTokens(d.get(), 0, 0, "", ""), 0);
    ASSERT_EQ(ReadText(d.get(), "<S]\n;c:1\nk : v = w\n"), 0);
    EXPECT_EQ(Raw(d.get(), "S", "k"), "v = w");
    EXPECT_EQ(Raw(d.get(), "S", ";c"), "<absent>");
    EXPECT_EQ(WriteText(d.get()), "<S]\r\nk : v = w\r\n\r\n");
    // Separators and markers longer than seven characters keep their first seven.
    Ini_SetTokens(d.get(), 0, 0, "=>=>=>=>=>", "#########");
    ASSERT_EQ(ReadText(d.get(), "<T]\n#######x=>=>=>=>=>1\nk =>=>=>=> 2\n"), 0);
    EXPECT_EQ(Tags(d.get(), "T"), std::vector<std::string>{"k"});
    EXPECT_EQ(Raw(d.get(), "T", "k"), "> 2");
}

TEST(LineClassification, LineNumbersAreThoseOfTheFile) {
    auto d = NewDoc(1);
    ASSERT_EQ(ReadText(d.get(), "\r\n[S]\r\n\r\n; c\r\nb = 2\r\na = 1\r\n"), 0);
    int v = 0;
    EXPECT_EQ(Ini_LineOfLastAccess(d.get()), -1);
    ASSERT_EQ(Ini_GetInt(d.get(), "s", "A", &v), 1);
    EXPECT_EQ(Ini_LineOfLastAccess(d.get()), 6);
    ASSERT_EQ(Ini_GetInt(d.get(), "S", "b", &v), 1);
    EXPECT_EQ(Ini_LineOfLastAccess(d.get()), 5);
    EXPECT_EQ(Ini_GetInt(d.get(), "S", "missing", &v), 0);
    EXPECT_EQ(Ini_LineOfLastAccess(d.get()), 5);
    Ini_PutInt(d.get(), "S", "c", 3);
    ASSERT_EQ(Ini_GetInt(d.get(), "S", "c", &v), 1);
    EXPECT_EQ(Ini_LineOfLastAccess(d.get()), 0);
}

TEST(Continuation, EightyCharactersStayOnOneLineEightyOneAreSplit) {
    auto d = NewDoc(0);
    const std::string v80(80, 'x'), v81 = std::string(80, 'y') + "z";
    Ini_PutRawString(d.get(), "S", "A", v80.c_str());
    Ini_PutRawString(d.get(), "S", "B", v81.c_str());
    const std::string text = WriteText(d.get());
    EXPECT_EQ(text, "[S]\r\nA = \"" + v80 + "\"\r\nB Line0001 = \"" + std::string(80, 'y') +
                        "\"\r\nB Line0002 = \"z\"\r\n\r\n");
    auto back = NewDoc(0);
    ASSERT_EQ(ReadText(back.get(), text), 0);
    EXPECT_EQ(Tags(back.get(), "S"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(Raw(back.get(), "S", "B"), v81);
}

TEST(Continuation, UnquotedPiecesLoseBlanksAtTheirEnds) {
    auto d = NewDoc(0);
    ASSERT_EQ(ReadText(d.get(), "[S]\nX Line0001 = ab \nX Line0002 =  cd\n"), 0);
    EXPECT_EQ(Raw(d.get(), "S", "X"), "abcd");
}

TEST(Continuation, OrphanPiecesAndRunsFollowTheNumbers) {
    auto d = NewDoc(0);
    ASSERT_EQ(ReadText(d.get(),
                       "[S]\n"
                       "Y Line0002 = orphan\n"
                       "A Line0001 = 1\n"
                       "B Line0007 = 2\n"  // any number other than 1 continues a run
                       "A Line0001 = 3\n"  // a new 1 starts a new run
                       "plain = p\n"
                       "C Line1x = q\n"
                       "D Line99999999999 = r\n"),
              0);
    EXPECT_EQ(Tags(d.get(), "S"),
              (std::vector<std::string>{"Y Line0002", "A", "A", "plain", "C Line1x", "D Line99999999999"}));
    EXPECT_EQ(Raw(d.get(), "S", "A"), "12");
}

struct ScriptedLines {
    std::vector<std::string> lines;
    size_t next = 0;
    int failWith = 0;  // returned after the last line instead of the end of input
};

int GetScripted(void* data, char* line, int maxChars, int* endOfInput, int* lineNumber) {
    auto* s = static_cast<ScriptedLines*>(data);
    if (s->next == s->lines.size()) {
        if (s->failWith) return s->failWith;
        *endOfInput = 1;
        return 0;
    }
    const std::string& l = s->lines[s->next++];
    std::snprintf(line, static_cast<size_t>(maxChars) + 1, "%s", l.c_str());
    *lineNumber = static_cast<int>(s->next) * 10;
    return 0;
}

TEST(GenericRead, AFailedReadKeepsWhatItReadAndStaysSearchable) {
    for (int sorted = 0; sorted <= 1; ++sorted) {
        auto d = NewDoc(sorted);
        Ini_PutInt(d.get(), "m", "old", 1);
        ScriptedLines in{{"[z]", "a = 1", "[b]", "X Line0001 = p", "X Line0002 = q"}, 0, -42};
        EXPECT_EQ(Ini_ReadGeneric(d.get(), GetScripted, &in), -42);
        // Nothing read is rolled back; the pieces were not joined since the input did not end.
        EXPECT_EQ(Ini_NumberOfSections(d.get()), 3);
        int v = 0;
        EXPECT_EQ(Ini_GetInt(d.get(), "Z", "A", &v), 1) << sorted;
        EXPECT_EQ(Ini_LineOfLastAccess(d.get()), 20);
        EXPECT_EQ(Ini_ItemExists(d.get(), "b", "x line0002"), 1) << sorted;
        EXPECT_EQ(Ini_ItemExists(d.get(), "M", "old"), 1) << sorted;
        if (sorted) {
            EXPECT_EQ(Sections(d.get()), (std::vector<std::string>{"b", "m", "z"}));
        }
    }
}

int g_putCalls = 0;
int PutCounting(void* data, const char*) {
    ++g_putCalls;
    const int failAt = *static_cast<int*>(data);
    return g_putCalls == failAt ? -7 : g_putCalls;
}

TEST(GenericWrite, ResultIsTheFirstFailureOrTheLastPut) {
    auto d = NewDoc(0);
    Ini_PutInt(d.get(), "A", "a", 1);
    Ini_PutInt(d.get(), "A", "b", 2);
    Ini_PutInt(d.get(), "B", "c", 3);
    int failAt = 2;  // the first item line
    g_putCalls = 0;
    EXPECT_EQ(Ini_WriteGeneric(d.get(), PutCounting, &failAt), -7);
    EXPECT_EQ(g_putCalls, 2);
    failAt = 0;  // never: 2 headers, 3 items, 2 empty lines
    g_putCalls = 0;
    EXPECT_EQ(Ini_WriteGeneric(d.get(), PutCounting, &failAt), 7);
    auto empty = NewDoc(0);
    g_putCalls = 0;
    EXPECT_EQ(Ini_WriteGeneric(empty.get(), PutCounting, &failAt), 0);
    EXPECT_EQ(g_putCalls, 0);
}

TEST(Sorting, AutomaticSortingOrdersPutsWithoutRegardToCase) {
    auto d = NewDoc(1);
    for (const char* tag : {"umax", "Strom", "path", "KwdId", "imax", "ComPort", "Spannung"})
        ASSERT_EQ(Ini_PutInt(d.get(), "K", tag, 1), 0);
    EXPECT_EQ(Tags(d.get(), "K"),
              (std::vector<std::string>{"ComPort", "imax", "KwdId", "path", "Spannung", "Strom", "umax"}));
    Ini_PutInt(d.get(), "b", "x", 1);
    Ini_PutInt(d.get(), "A", "x", 1);
    EXPECT_EQ(Sections(d.get()), (std::vector<std::string>{"A", "b", "K"}));
}

TEST(Sorting, ReadingASortedDocumentSortsFileOrder) {
    auto d = NewDoc(1);
    ASSERT_EQ(ReadText(d.get(), "[z]\nb = 1\n[Y]\nD = 1\nc = 2\n; dropped\n"), 0);
    EXPECT_EQ(WriteText(d.get()), "[Y]\r\nc = 2\r\nD = 1\r\n\r\n[z]\r\nb = 1\r\n\r\n");
}

TEST(Sorting, UnsortedKeepsFileOrderAndAppends) {
    auto d = NewDoc(0);
    ASSERT_EQ(ReadText(d.get(), "[z]\nb = 1\na = 2\n"), 0);
    Ini_PutInt(d.get(), "z", "0", 0);
    Ini_PutInt(d.get(), "a", "k", 0);
    EXPECT_EQ(Sections(d.get()), (std::vector<std::string>{"z", "a"}));
    EXPECT_EQ(Tags(d.get(), "z"), (std::vector<std::string>{"b", "a", "0"}));
    Ini_Sort(d.get());
    EXPECT_EQ(Sections(d.get()), (std::vector<std::string>{"a", "z"}));
    EXPECT_EQ(Tags(d.get(), "z"), (std::vector<std::string>{"0", "a", "b"}));
    Ini_DisableSorting(d.get());
    Ini_PutInt(d.get(), "z", "1", 0);
    EXPECT_EQ(Tags(d.get(), "z").back(), "1");
}

TEST(Sorting, InternalIndexesFindEverythingWithoutReordering) {
    auto d = NewDoc(0);
    ASSERT_EQ(ReadText(d.get(), "[q]\nz = 1\nm = 2\n[B]\nk = 3\n"), 0);
    ASSERT_EQ(Ini_SortInternally(d.get()), 0);
    Ini_PutInt(d.get(), "a", "n", 4);
    Ini_PutInt(d.get(), "Q", "A", 5);
    ASSERT_EQ(ReadText(d.get(), "[c]\ny = 6\n"), 0);
    EXPECT_EQ(Sections(d.get()), (std::vector<std::string>{"q", "B", "a", "c"}));
    EXPECT_EQ(Tags(d.get(), "q"), (std::vector<std::string>{"z", "m", "A"}));
    for (auto [s, t, want] : {std::tuple{"Q", "Z", 1},
                              {"q", "m", 2},
                              {"b", "K", 3},
                              {"A", "n", 4},
                              {"q", "a", 5},
                              {"C", "y", 6}}) {
        int v = 0;
        EXPECT_EQ(Ini_GetInt(d.get(), s, t, &v), 1) << s << "/" << t;
        EXPECT_EQ(v, want);
    }
    Ini_DisableInternalSorting(d.get());
    EXPECT_EQ(Ini_ItemExists(d.get(), "c", "Y"), 1);
}

TEST(Duplicates, CheckingOnReplacesInPlace) {
    auto d = NewDoc(0);
    ASSERT_EQ(ReadText(d.get(), "[S]\na = 1\nb = 2\nA = 3\nc = 4\n"), 0);
    EXPECT_EQ(Tags(d.get(), "S"), (std::vector<std::string>{"a", "b", "A", "c"}));  // reading keeps both
    EXPECT_EQ(Raw(d.get(), "S", "a"), "1");
    ASSERT_EQ(Ini_PutInt(d.get(), "S", " A ", 9), 0);
    EXPECT_EQ(Tags(d.get(), "S"), (std::vector<std::string>{"A", "b", "c"}));
    EXPECT_EQ(Raw(d.get(), "S", "a"), "9");
}

TEST(Duplicates, CheckingOffKeepsBothAndFindsTheOlder) {
    auto d = NewDoc(0);
    EXPECT_EQ(Ini_SetDuplicateChecking(d.get(), 0), 1);
    Ini_PutInt(d.get(), "S", "a", 1);
    Ini_PutInt(d.get(), "S", "a", 2);
    EXPECT_EQ(Ini_NumberOfItems(d.get(), "S"), 2);
    EXPECT_EQ(Raw(d.get(), "S", "a"), "1");
    EXPECT_EQ(Ini_SetDuplicateChecking(d.get(), 1), 0);
    EXPECT_EQ(Ini_RemoveItem(d.get(), "s", "A"), 1);
    EXPECT_EQ(Ini_NumberOfItems(d.get(), "S"), 0);
    EXPECT_EQ(Ini_RemoveItem(d.get(), "S", "a"), 0);
}

TEST(Duplicates, SortedSectionPutLandsInSortedPosition) {
    auto d = NewDoc(1);
    for (const char* t : {"a", "c", "e"}) Ini_PutInt(d.get(), "S", t, 0);
    Ini_PutInt(d.get(), "S", "E", 1);
    Ini_PutInt(d.get(), "S", "b", 1);
    EXPECT_EQ(Tags(d.get(), "S"), (std::vector<std::string>{"a", "b", "c", "E"}));
}

TEST(Sections, RepeatedHeadersGiveTwoSectionsBothWritten) {
    auto d = NewDoc(0);
    ASSERT_EQ(ReadText(d.get(), "[S]\na = 1\n[s]\na = 2\n"), 0);
    EXPECT_EQ(Ini_NumberOfSections(d.get()), 2);
    EXPECT_EQ(Raw(d.get(), "S", "a"), "1");
    EXPECT_EQ(WriteText(d.get()), "[S]\r\na = 1\r\n\r\n[s]\r\na = 2\r\n\r\n");
    EXPECT_EQ(Ini_RemoveSection(d.get(), "S"), 1);
    EXPECT_EQ(Raw(d.get(), "S", "a"), "2");  // the cache must not keep the removed section
    EXPECT_EQ(Ini_RemoveSection(d.get(), "S"), 1);
    EXPECT_EQ(Ini_RemoveSection(d.get(), "S"), 0);
    EXPECT_EQ(Ini_SectionExists(d.get(), "S"), 0);
}

TEST(Sections, LookupKeysAreNotTrimmedAndCountsAreBounded) {
    auto d = NewDoc(0);
    Ini_PutInt(d.get(), "S", "key", 1);
    EXPECT_EQ(Ini_ItemExists(d.get(), "S", " key"), 0);
    EXPECT_EQ(Ini_ItemExists(d.get(), " S", "key"), 0);
    EXPECT_EQ(Ini_ItemOrMultiLineItemExists(d.get(), "s", "KEY"), 1);
    const char* name = nullptr;
    EXPECT_EQ(Ini_NthItemName(d.get(), "S", 2, &name), 0);
    EXPECT_EQ(Ini_NthItemName(d.get(), "S", 0, &name), 0);
    EXPECT_EQ(Ini_NthSectionName(d.get(), 2, &name), 0);
    EXPECT_EQ(Ini_NumberOfItems(d.get(), "none"), 0);
}

TEST(Sections, NamesHandedOutMayBePassedBackToRemoveAndCopy) {
    // Names handed out by pointer die with their item or section; the removing and copying
    // functions must not look at them again after they removed the owner.
    auto d = NewDoc(0);
    ASSERT_EQ(ReadText(d.get(), "[S]\na_rather_long_tag_name = 1\nb = 2\nA_RATHER_LONG_TAG_NAME = 3\n"), 0);
    const char* tag = nullptr;
    ASSERT_EQ(Ini_NthItemName(d.get(), "S", 1, &tag), 1);
    EXPECT_EQ(Ini_RemoveItem(d.get(), "S", tag), 1);
    EXPECT_EQ(Tags(d.get(), "S"), std::vector<std::string>{"b"});

    auto src = NewDoc(0), dst = NewDoc(0);
    ASSERT_EQ(
        ReadText(src.get(), "[a section with a long name]\nx = 1\n[a section with a long name]\ny = 2\n"), 0);
    ASSERT_EQ(ReadText(dst.get(), "[A SECTION WITH A LONG NAME]\nold = 0\n"), 0);
    const char* name = nullptr;
    ASSERT_EQ(Ini_NthSectionName(dst.get(), 1, &name), 1);
    EXPECT_EQ(Ini_CopySection(src.get(), name, dst.get(), 1), 0);
    // The second source section of that name replaces the first copy.
    EXPECT_EQ(WriteText(dst.get()), "[a section with a long name]\r\ny = \"2\"\r\n\r\n");
}

TEST(Copying, CopiesQuotedWithAndWithoutOverwrite) {
    auto src = NewDoc(0), dst = NewDoc(0);
    ReadText(src.get(), "[A]\nn = 5\ns = \"t\"\n[B]\nx = 1\n");
    ReadText(dst.get(), "[A]\nold = 1\n");
    EXPECT_EQ(Ini_CopySection(src.get(), "a", dst.get(), 0), 0);
    EXPECT_EQ(Tags(dst.get(), "A"), (std::vector<std::string>{"old", "n", "s"}));
    EXPECT_EQ(Ini_CopySection(src.get(), nullptr, dst.get(), 1), 0);
    EXPECT_EQ(WriteText(dst.get()), "[A]\r\nn = \"5\"\r\ns = \"t\"\r\n\r\n[B]\r\nx = \"1\"\r\n\r\n");
    EXPECT_EQ(Ini_CopySection(src.get(), nullptr, src.get(), 1), 0);
    EXPECT_EQ(Ini_NumberOfSections(src.get()), 2);
}

TEST(LongNames, TagsThatCannotFitALineAreRefused) {
    auto d = NewDoc(0);
    const std::string fits(161, 't'), tooLong(162, 't'), longValue(81, 'v');
    EXPECT_EQ(Ini_PutRawString(d.get(), "S", fits.c_str(), longValue.c_str()), 0);
    EXPECT_EQ(Ini_PutRawString(d.get(), "S", tooLong.c_str(), longValue.c_str()), kIniErrNameTooLong);
    EXPECT_EQ(Ini_PutInt(d.get(), std::string(254, 's').c_str(), "t", 1), kIniErrNameTooLong);
    EXPECT_EQ(Ini_NumberOfItems(d.get(), "S"), 1);
    // A tag read from a file may still be too long for the writer: nothing is written then.
    auto r = NewDoc(0);
    ASSERT_EQ(ReadText(r.get(), "[S]\n" + std::string(170, 'k') + "=" + std::string(84, 'v') + "\n"), 0);
    std::string out;
    EXPECT_EQ(Ini_WriteGeneric(r.get(), ini_test::AppendLine, &out), kIniErrNameTooLong);
    EXPECT_EQ(out, "");
}
}  // namespace
