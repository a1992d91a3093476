// Modal popups under the test seam: answers, records, file results and paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

TEST_F(PopupTest, OverlongPathIsRefusedNotCut) {
    const std::string longPath = "/" + std::string(400, 'a') + ".kwd";
    for (const int button : {VAL_SAVE_BUTTON, VAL_LOAD_BUTTON}) {
        uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, longPath);
        char path[300];
        std::fill(std::begin(path), std::end(path), 'X');
        EXPECT_EQ(FileSelectPopup("/", "*.kwd", "*.kwd", "t", button, 0, 1, 1, 1, path), UIE_PATH_TOO_LONG);
        EXPECT_STREQ(path, "");
        EXPECT_EQ(path[1], 'X');  // nothing else written
    }
}

// Real files: whether a name exists decides about the extension on loading and the question on
// saving, which names the file that would be written.
TEST_F(PopupTest, ExistingFilesKeepTheirNameAndAreReplacedOnlyAfterAskingForTheFinalName) {
    const std::string dir = testing::TempDir() + "popup_files/";
    std::filesystem::create_directories(dir);
    for (const char* name : {"KAL01.KWD", "ohne", "cal.kwd"}) std::ofstream(dir + name) << "x";
    struct Case {
        int button;
        const char* chosen;
        int reply;             // to the replace question: -1 not asked, 0 no (then cancel), 1 yes
        const char* expected;  // "" when nothing was chosen
    };
    const Case cases[] = {
        {VAL_LOAD_BUTTON, "KAL01.KWD", -1, "KAL01.KWD"}, {VAL_LOAD_BUTTON, "ohne", -1, "ohne"},
        {VAL_LOAD_BUTTON, "fehlt", -1, "fehlt.kwd"},     {VAL_SAVE_BUTTON, "KAL01.KWD", 1, "KAL01.KWD"},
        {VAL_SAVE_BUTTON, "cal", 1, "cal.kwd"},          {VAL_SAVE_BUTTON, "cal", 0, ""},
    };
    for (const Case& c : cases) {
        uitest::ClearShownPopups();
        uitest::QueueFileAnswer(VAL_EXISTING_FILE_SELECTED, dir + c.chosen);
        if (c.reply >= 0) uitest::QueueQuestionAnswer(c.reply == 1);
        if (c.reply == 0) uitest::QueueFileAnswer(VAL_NO_FILE_SELECTED, "");
        char path[260] = "old";
        FileSelectPopup(dir.c_str(), "*.kwd", "*.kwd", "Datei", c.button, 0, 1, 1, 1, path);
        EXPECT_EQ(std::string(path), *c.expected != '\0' ? dir + c.expected : "") << c.chosen;
        const auto& shown = uitest::ShownPopups();
        const bool asked = shown.size() > 1 && shown[1].kind == "question";
        EXPECT_EQ(asked, c.reply >= 0) << c.chosen;
        const std::string target = c.reply == 0 ? "cal.kwd" : c.expected;
        const std::string question = asked ? shown[1].text : "";
        EXPECT_EQ(asked, question.find("\"" + target + "\"") != std::string::npos) << question;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
