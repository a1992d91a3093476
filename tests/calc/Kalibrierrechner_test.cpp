// The calculator on the real panels: values typed into its numerics, its buttons clicked, the
// main panel's calibration controls read back.
#include <gtest/gtest.h>
#include <QApplication>
#include <QWidget>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "calc/Kalibrierrechner.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "ui/kwd2Steuerung.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

struct Kanal {
    const char* name;
    int holen;
    int uebernehmen;
    int verstaerkung;
    int offset;
};

// Written out independently of the calculator's own table, so a wrong pairing shows up.
constexpr std::array<Kanal, 10> kanaele{{
    {"Usoll", 4, 20, 44, 45},
    {"Uist", 5, 21, 46, 47},
    {"Isoll1", 6, 22, 48, 49},
    {"Iist1", 7, 23, 50, 79},
    {"Isoll2", 8, 24, 52, 53},
    {"Iist2", 9, 25, 54, 55},
    {"Isoll3", 10, 26, 56, 57},
    {"Iist3", 11, 27, 58, 59},
    {"Isoll4", 12, 28, 60, 61},
    {"Iist4", 13, 29, 62, 63},
}};

void FailOnUnansweredPopup(const std::string& title, const std::string& text) {
    ADD_FAILURE() << "unexpected popup '" << title << "': " << text;
}

class Rechner : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static char programm[] = "calc_test";
        static char* argv[] = {programm, nullptr};
        ASSERT_NE(InitRunTimeEngine(nullptr, argv, nullptr), 0);
        uitest::EnablePopupTestMode();
        uitest::SetUnansweredPopupHandler(FailOnUnansweredPopup);
        RegisterKwd2SteuerungResource();
        Kalibrierrechner_CallbacksRegistrieren();
        haupt = LoadPanel(0, "kwd2Steuerung.ui", PANEL);
        ASSERT_GT(haupt, 0);
        rechner = LoadPanel(0, "kwd2Steuerung.ui", RECHNERPNL);
        ASSERT_GT(rechner, 0);
        Kalibrierrechner_SetPanels(haupt, rechner);
        DisplayPanel(haupt);
        DisplayPanel(rechner);
    }

    void TearDown() override {
        // Gone for good, so a later test in the same process finds only its own windows.
        DiscardPanel(rechner);
        DiscardPanel(haupt);
        uitest::ProcessEvents();
    }

    double Rechnerwert(int control) const {
        double wert = -12345.0;
        EXPECT_EQ(GetCtrlVal(rechner, control, &wert), 0);
        return wert;
    }
    double Hauptwert(int control) const {
        double wert = -12345.0;
        EXPECT_EQ(GetCtrlVal(haupt, control, &wert), 0);
        return wert;
    }
    int Beschriftungsfarbe(int control) const {
        int farbe = -1;
        EXPECT_EQ(GetCtrlAttribute(rechner, control, ATTR_LABEL_COLOR, &farbe), 0);
        return farbe;
    }
    void Eingeben(double s1, double i1, double s2, double i2, double v0, double o0) const {
        uitest::EnterNumeric(rechner, RECHNERPNL_VBISHER, v0);
        uitest::EnterNumeric(rechner, RECHNERPNL_OFFBISHER, o0);
        uitest::EnterNumeric(rechner, RECHNERPNL_SOLL1, s1);
        uitest::EnterNumeric(rechner, RECHNERPNL_IST1, i1);
        uitest::EnterNumeric(rechner, RECHNERPNL_SOLL2, s2);
        uitest::EnterNumeric(rechner, RECHNERPNL_IST2, i2);
    }
    // Only the given channel's buttons green, every other channel button black.
    void ErwarteHervorgehoben(int holenButton) const {
        for (const Kanal& k : kanaele) {
            const int soll = k.holen == holenButton ? 0x00FF00 : 0x000000;
            EXPECT_EQ(Beschriftungsfarbe(k.holen), soll) << k.name;
            EXPECT_EQ(Beschriftungsfarbe(k.uebernehmen), soll) << k.name;
        }
    }
    bool RechnerSichtbar() const {
        for (QWidget* fenster : QApplication::topLevelWidgets()) {
            if (fenster->windowTitle() == QStringLiteral("Kalibrierfaktorenberechnung"))
                return fenster->isVisible();
        }
        ADD_FAILURE() << "calculator window not found";
        return false;
    }

    int haupt = 0;
    int rechner = 0;
};

struct Beispiel {
    double s1, i1, s2, i2, v0, o0;
    double v, off;
};

TEST_F(Rechner, ComputesNewFactorsFromTwoPointsOnEveryInputCommit) {
    const std::array<Beispiel, 5> beispiele{{
        {.s1 = 10, .i1 = 9, .s2 = 110, .i2 = 109, .v0 = 1, .o0 = 0, .v = 1, .off = 1},
        {.s1 = 0, .i1 = 0, .s2 = 100, .i2 = 50, .v0 = 2, .o0 = 0.5, .v = 4, .off = 0.5},
        // the correction offset is added to the old offset unscaled by the old gain
        {.s1 = 10, .i1 = 8, .s2 = 30, .i2 = 28, .v0 = 3, .o0 = 1, .v = 3, .off = 3},
        {.s1 = 20, .i1 = 9, .s2 = 220, .i2 = 109, .v0 = 1.5, .o0 = -0.25, .v = 3, .off = 0.75},
        {.s1 = -5, .i1 = -4, .s2 = 5, .i2 = 1, .v0 = 1, .o0 = 0, .v = 2, .off = 1.5},
    }};
    for (const Beispiel& b : beispiele) {
        SCOPED_TRACE(testing::Message()
                     << "S1=" << b.s1 << " I1=" << b.i1 << " S2=" << b.s2 << " I2=" << b.i2);
        Eingeben(b.s1, b.i1, b.s2, b.i2, b.v0, b.o0);
        EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_V), b.v);
        EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_OFF), b.off);
    }
}

TEST_F(Rechner, CorrectionOffsetIsComputedFromTheRoundedGain) {
    // g = 1.9 / 3.3 is not exact; S1 / g with that rounded g lands one step below what the
    // algebraically equal S1 * (I2 - I1) / (S2 - S1) gives, so only the exact order passes.
    Eingeben(0.1, 0.0, 2.0, 3.3, 1.0, 0.0);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_V), 0.5757575757575758);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_OFF), 0.17368421052631577);
}

TEST_F(Rechner, RecomputesWhenOnlyTheOldFactorsChange) {
    Eingeben(0, 0, 100, 50, 1, 0);
    EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_V), 2.0);
    uitest::EnterNumeric(rechner, RECHNERPNL_VBISHER, 3.0);
    EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_V), 6.0);
    uitest::EnterNumeric(rechner, RECHNERPNL_OFFBISHER, -1.0);
    EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_OFF), -1.0);
}

TEST_F(Rechner, EqualPointsGiveNonFiniteResultsThatCanBeTakenOver) {
    // Same actual values, different set values: infinite gain.
    Eingeben(10, 5, 20, 5, 1, 0);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_V), inf);
    EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_OFF), -5.0);

    // Same set values, different actual values: gain 0, infinite offset.
    Eingeben(10, 5, 10, 7, 1, 0);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_V), 0.0);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_OFF), inf);

    // Both equal: not a number.
    Eingeben(10, 5, 10, 5, 1, 0);
    EXPECT_TRUE(std::isnan(Rechnerwert(RECHNERPNL_V)));
    EXPECT_TRUE(std::isnan(Rechnerwert(RECHNERPNL_OFF)));

    uitest::Click(rechner, RECHNERPNL_USOLL);
    EXPECT_TRUE(std::isnan(Hauptwert(PANEL_USOLLV)));
    EXPECT_TRUE(std::isnan(Hauptwert(PANEL_USOLLOFF)));
    uitest::ProcessEvents();

    Eingeben(10, 5, 20, 5, 1, 0);
    uitest::Click(rechner, RECHNERPNL_UIST);
    EXPECT_EQ(Hauptwert(PANEL_UISTV), inf);
    EXPECT_DOUBLE_EQ(Hauptwert(PANEL_UISTOFF), -5.0);
    // The panel still renders with such values in it.
    uitest::ProcessEvents();
}

TEST_F(Rechner, FetchAndTakeOverUseEachChannelsOwnControls) {
    for (const Kanal& k : kanaele) {
        SCOPED_TRACE(k.name);
        SetCtrlVal(haupt, k.verstaerkung, 1.0 + k.holen / 100.0);
        SetCtrlVal(haupt, k.offset, -static_cast<double>(k.holen));
    }
    Eingeben(0, 0, 100, 50, 1, 0);  // g = 2, o = 0

    for (const Kanal& k : kanaele) {
        SCOPED_TRACE(k.name);
        uitest::Click(rechner, k.holen);
        EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_VBISHER), 1.0 + k.holen / 100.0);
        EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_OFFBISHER), -static_cast<double>(k.holen));
        // fetching recomputes at once
        EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_V), 2.0 * (1.0 + k.holen / 100.0));
        EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_OFF), -static_cast<double>(k.holen));
        ErwarteHervorgehoben(k.holen);
    }

    for (const Kanal& ziel : kanaele) {
        SCOPED_TRACE(ziel.name);
        SetCtrlVal(rechner, RECHNERPNL_V, 100.0 + ziel.holen);
        SetCtrlVal(rechner, RECHNERPNL_OFF, 200.0 + ziel.holen);
        uitest::Click(rechner, ziel.uebernehmen);
        for (const Kanal& k : kanaele) {
            const bool schonUebernommen = k.holen <= ziel.holen;
            EXPECT_DOUBLE_EQ(Hauptwert(k.verstaerkung),
                             schonUebernommen ? 100.0 + k.holen : 1.0 + k.holen / 100.0)
                << k.name;
            EXPECT_DOUBLE_EQ(Hauptwert(k.offset),
                             schonUebernommen ? 200.0 + k.holen : -static_cast<double>(k.holen))
                << k.name;
        }
    }
    // Taking over leaves the highlighting of the last fetch alone.
    ErwarteHervorgehoben(RECHNERPNL_IIST4BISHER);
}

TEST_F(Rechner, TypedResultsAreTakenOverLikeComputedOnes) {
    uitest::EnterNumeric(rechner, RECHNERPNL_V, 0.987654);
    uitest::EnterNumeric(rechner, RECHNERPNL_OFF, -0.012345);
    uitest::Click(rechner, RECHNERPNL_IIST1);
    EXPECT_DOUBLE_EQ(Hauptwert(PANEL_IIST1V), 0.987654);
    EXPECT_DOUBLE_EQ(Hauptwert(PANEL_IIST1OFF), -0.012345);
    // neighbouring channels untouched
    EXPECT_DOUBLE_EQ(Hauptwert(PANEL_ISOLL1OFF), 0.0);
    EXPECT_DOUBLE_EQ(Hauptwert(PANEL_ISOLL2V), 1.0);
}

TEST_F(Rechner, IdentifiersOutsideTheChannelsDoNothing) {
    SetCtrlVal(rechner, RECHNERPNL_VBISHER, 7.0);
    SetCtrlVal(rechner, RECHNERPNL_OFFBISHER, 8.0);
    SetCtrlVal(rechner, RECHNERPNL_V, 9.0);
    for (const int k : {-1, 0, 3, 14, 19, 20, 29, 30}) KalibrierdatenHolen(k);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_VBISHER), 7.0);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_OFFBISHER), 8.0);
    EXPECT_EQ(Rechnerwert(RECHNERPNL_V), 9.0);

    for (const int k : {-1, 3, 4, 13, 19, 30, 36}) KalibrierdatenUebernehmen(k);
    for (const Kanal& k : kanaele) {
        EXPECT_EQ(Hauptwert(k.verstaerkung), 1.0) << k.name;
        EXPECT_EQ(Hauptwert(k.offset), 0.0) << k.name;
    }
}

TEST_F(Rechner, HighlightingIsClearedByAnyIdentifierOutsideTheFetchButtons) {
    for (const int k : {-1, 3, 14, 20, 29}) {
        SCOPED_TRACE(k);
        RechnerbuttonsHervorheben(RECHNERPNL_ISOLL3BISHER);
        ErwarteHervorgehoben(RECHNERPNL_ISOLL3BISHER);
        RechnerbuttonsHervorheben(k);
        ErwarteHervorgehoben(-1);
    }
}

TEST_F(Rechner, CloseBoxAndCloseButtonOnlyHideTheCalculator) {
    Eingeben(0, 0, 100, 50, 2, 0.5);
    ASSERT_TRUE(RechnerSichtbar());
    uitest::ClosePanel(rechner);
    EXPECT_FALSE(RechnerSichtbar());

    DisplayPanel(rechner);
    ASSERT_TRUE(RechnerSichtbar());
    uitest::Click(rechner, RECHNERPNL_ZURUECK);
    EXPECT_FALSE(RechnerSichtbar());

    // Hidden, not discarded: the values are still there.
    EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_V), 4.0);
    EXPECT_DOUBLE_EQ(Rechnerwert(RECHNERPNL_SOLL2), 100.0);
}

}  // namespace
