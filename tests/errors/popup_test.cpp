// Error popups: titles, texts, the silent error number and the caller's title.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "errors/ZEL_errorV3.h"
#include "platform/userint_testing.h"

namespace {

class ErrorPopup : public testing::Test {
  protected:
    void SetUp() override {
        ZEL_Fehlersprache(1);
        uitest::ClearShownPopups();
    }
    void TearDown() override { ZEL_Fehlersprache(1); }

    // The one popup shown since SetUp.
    static uitest::ShownPopup Only() {
        const auto& shown = uitest::ShownPopups();
        EXPECT_EQ(shown.size(), 1u);
        return shown.empty() ? uitest::ShownPopup{} : shown.back();
    }
};

struct PopupCase {
    int code;
    std::string title;
    std::string text;
};

TEST_F(ErrorPopup, TitleCarriesThePositiveCode) {
    const std::vector<PopupCase> cases = {
        {-402010, "Fehler #402010", "Fehlermeldung (NAK) vom Ger\xe4t erhalten"},
        {-7000, "Fehler #7000", "Unerwarteter Fehler"},
        {-5999, "Fehler #5999", "Datum/Zeit Funktion fehlgeschlagen"},
        {-7999, "Fehler #7999", "Unerwarteter Fehler"},
        {-1009000, "Fehler #1009000", "Ein unbekannter Fehler ist aufgetreten"},
        {INT_MIN, "Fehler #2147483648", "Ein unbekannter Fehler ist aufgetreten"},
    };
    for (const auto& c : cases) {
        uitest::ClearShownPopups();
        uitest::QueueMessageAnswer();
        ZEL_Fehlerpopup(c.code);
        const auto shown = Only();
        EXPECT_EQ(shown.kind, "message") << c.code;
        EXPECT_EQ(shown.title, c.title) << c.code;
        EXPECT_EQ(shown.text, c.text) << c.code;
    }
}

TEST_F(ErrorPopup, EnglishTitleAndText) {
    ZEL_Fehlersprache(2);
    uitest::QueueMessageAnswer();
    ZEL_Fehlerpopup(-402010);
    const auto shown = Only();
    EXPECT_EQ(shown.title, "Error #402010");
    EXPECT_EQ(shown.text, "Errormessage (NAK) received from device");
}

TEST_F(ErrorPopup, ErrorNumberSixShowsNothing) {
    // Nothing is queued: a popup here would also be reported by the unanswered handler.
    for (int code : {-6000, -6001, -6500, -6999}) {
        ZEL_Fehlerpopup(code);
        ZEL_Fehlerpopup2(code, "Kalibrierdaten");
    }
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

TEST_F(ErrorPopup, CallersTitleIsFollowedByBlankNumberSignAndNumber) {
    for (int language : {1, 2}) {
        uitest::ClearShownPopups();
        ZEL_Fehlersprache(language);
        uitest::QueueMessageAnswer();
        ZEL_Fehlerpopup2(-122212, "Kalibrierdaten lesen");
        const auto shown = Only();
        EXPECT_EQ(shown.title, "Kalibrierdaten lesen #122212");
        EXPECT_EQ(shown.text, language == 2 ? "COM-port not open"
                                            : "Serielle Schnittstelle ist nicht ge\xf6"
                                              "ffnet");
    }
}

TEST_F(ErrorPopup, OverlongCallersTitleIsCutAndKeepsTheNumber) {
    struct TitleCase {
        std::string given;
        int code;
        std::string expected;
    };
    const std::string ninety(90, 'T');
    const std::vector<TitleCase> cases = {
        {ninety, -1017999, ninety + " #1017999"},        // exactly 99 characters
        {ninety + "U", -1017999, ninety + " #1017999"},  // one too many: cut
        {std::string(500, 'L'), -402010, std::string(91, 'L') + " #402010"},
        {"", -402010, " #402010"},
    };
    for (const auto& c : cases) {
        uitest::ClearShownPopups();
        uitest::QueueMessageAnswer();
        ZEL_Fehlerpopup2(c.code, c.given.c_str());
        EXPECT_EQ(Only().title, c.expected) << c.given.size();
    }
    uitest::ClearShownPopups();
    uitest::QueueMessageAnswer();
    ZEL_Fehlerpopup2(-402010, nullptr);
    EXPECT_EQ(Only().title, " #402010");
}

TEST_F(ErrorPopup, PopupLookupOverwritesTheMessageBuffer) {
    const char* earlier = ZEL_Fehlermeldung(-3000);
    uitest::QueueMessageAnswer();
    ZEL_Fehlerpopup(-403001);
    EXPECT_STREQ(earlier, "Keine Antwort vom Ger\xe4t");
}

}  // namespace
