// Modal popups under the test seam: answers, records, file results and paths.
#include <gtest/gtest.h>

#include <string>

#include "platform/userint.h"
#include "platform/userint_testing.h"

namespace {

int g_unanswered = 0;
std::string g_unansweredTitle;

void CountUnanswered(const std::string& title, const std::string&) {
    ++g_unanswered;
    g_unansweredTitle = title;
}

class PopupTest : public testing::Test {
  protected:
    void SetUp() override { uitest::ClearShownPopups(); }
};

TEST_F(PopupTest, MessagePopupIsRecordedWithItsLatin1Texts) {
    uitest::QueueMessageAnswer();
    EXPECT_EQ(MessagePopup("Fehler 402095", "Fehlermeldung (NAK) vom Ger\xe4t erhalten"), 0);
    ASSERT_EQ(uitest::ShownPopups().size(), 1u);
    const uitest::ShownPopup& shown = uitest::ShownPopups()[0];
    EXPECT_EQ(shown.kind, "message");
    EXPECT_EQ(shown.title, "Fehler 402095");
    EXPECT_EQ(shown.text, "Fehlermeldung (NAK) vom Ger\xe4t erhalten");
}

TEST_F(PopupTest, UnansweredPopupCallsTheHandlerAndReturnsAsCancelled) {
    g_unanswered = 0;
    uitest::SetUnansweredPopupHandler(CountUnanswered);
    EXPECT_EQ(MessagePopup("Ohne Antwort", "x"), 0);
    char path[260] = "garbage";
    EXPECT_EQ(
        FileSelectPopup("/tmp", "*.kwd", "*.kwd", "Kalibrierdaten laden", VAL_LOAD_BUTTON, 0, 1, 1, 1, path),
        VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(path, "");
    uitest::SetUnansweredPopupHandler([](const std::string& title, const std::string& text) {
        ADD_FAILURE() << "popup without a queued answer: " << title << ": " << text;
    });
    EXPECT_EQ(g_unanswered, 2);
    EXPECT_EQ(g_unansweredTitle, "Kalibrierdaten laden");
    EXPECT_EQ(uitest::ShownPopups().size(), 2u);
}

TEST_F(PopupTest, FileSelectGivesResultAndPathAndAppendsTheExtension) {
    struct Case {
        int result;
        std::string answer;
        int restrictExtension;
        int expectedResult;
        std::string expectedPath;
    };
    const Case cases[] = {
        {VAL_NEW_FILE_SELECTED, "/data/neu", 1, VAL_NEW_FILE_SELECTED, "/data/neu.kwd"},
        {VAL_EXISTING_FILE_SELECTED, "/data/alt.kwd", 1, VAL_EXISTING_FILE_SELECTED, "/data/alt.kwd"},
        {VAL_NEW_FILE_SELECTED, "/data/neu.txt", 1, VAL_NEW_FILE_SELECTED, "/data/neu.txt.kwd"},
        {VAL_NEW_FILE_SELECTED, "/data/neu", 0, VAL_NEW_FILE_SELECTED, "/data/neu"},
        {VAL_NO_FILE_SELECTED, "", 1, VAL_NO_FILE_SELECTED, ""},
    };
    for (const Case& c : cases) {
        uitest::QueueFileAnswer(c.result, c.answer);
        char path[260] = "old";
        EXPECT_EQ(FileSelectPopup("/data/", "*.kwd", "*.kwd", "Kalibrierdaten speichern", VAL_SAVE_BUTTON, 0,
                                  c.restrictExtension, 1, 1, path),
                  c.expectedResult);
        EXPECT_EQ(std::string(path), c.expectedPath) << c.answer;
    }
    ASSERT_EQ(uitest::ShownPopups().size(), std::size(cases));
    EXPECT_EQ(uitest::ShownPopups()[0].kind, "file");
    EXPECT_EQ(uitest::ShownPopups()[0].title, "Kalibrierdaten speichern");
    EXPECT_EQ(uitest::ShownPopups()[0].text, "/data/");
}

TEST_F(PopupTest, OverlongPathIsCutToTheBuffer) {
    const std::string longPath = "/" + std::string(400, 'a') + ".kwd";
    uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, longPath);
    char path[300];
    std::fill(std::begin(path), std::end(path), 'X');
    FileSelectPopup("/", "*.kwd", "*.kwd", "t", VAL_SAVE_BUTTON, 0, 1, 1, 1, path);
    EXPECT_EQ(std::string(path).size(), 259u);
    EXPECT_EQ(path[260], 'X');  // nothing written past the 260-byte buffer
}

}  // namespace
