// Which operation each control reaches and by which route its result comes back: the error
// display or a popup. With no port open every operation answers with its own code, which
// tells the operations apart.
#include <array>
#include <string>

#include "tests/support/programm_fixture.h"

namespace {

enum class Eingabe { Zahl, Ring };

struct Parameterzeile {
    int control;
    const char* name;
    Eingabe art;
    int code;  // the operation's "port not open" code
};

constexpr std::array<Parameterzeile, 16> parameterzeilen{{
    {PANEL_SPANNUNGSOLL, "SPANNUNGSOLL", Eingabe::Zahl, -122213},
    {PANEL_STROMSOLL, "STROMSOLL", Eingabe::Zahl, -122214},
    {PANEL_UTAU, "UTAU", Eingabe::Zahl, -122216},
    {PANEL_ITAU, "ITAU", Eingabe::Zahl, -122215},
    {PANEL_MESSBEREICH, "MESSBEREICH", Eingabe::Ring, -122216},
    {PANEL_SPANNUNGSOLL2, "SPANNUNGSOLL2", Eingabe::Zahl, -122213},
    {PANEL_STROMSOLL2, "STROMSOLL2", Eingabe::Zahl, -122214},
    {PANEL_UTAU2, "UTAU2", Eingabe::Zahl, -122216},
    {PANEL_ITAU2, "ITAU2", Eingabe::Zahl, -122215},
    {PANEL_MESSBEREICH2, "MESSBEREICH2", Eingabe::Ring, -122216},
    {PANEL_SPANNUNGPULS, "SPANNUNGPULS", Eingabe::Zahl, -122213},
    {PANEL_STROMPULS, "STROMPULS", Eingabe::Zahl, -122214},
    {PANEL_UTAUPULS, "UTAUPULS", Eingabe::Zahl, -122216},
    {PANEL_ITAUPULS, "ITAUPULS", Eingabe::Zahl, -122215},
    {PANEL_MESSBEREICHPULS, "MESSBEREICHPULS", Eingabe::Ring, -122216},
    {PANEL_ZEITPULS, "ZEITPULS", Eingabe::Zahl, -122219},
}};

TEST_F(Programm, EveryParameterControlReachesItsWriteAndShowsTheResult) {
    Starten();
    // Undim the pulse controls so they take input like the others.
    SetCtrlVal(gPanelHandle, PANEL_ZEITPULS, 1.0);
    PulscontrollsDimmen();

    for (const Parameterzeile& zeile : parameterzeilen) {
        SCOPED_TRACE(zeile.name);
        FehlerSetzen(0);
        if (zeile.art == Eingabe::Ring) {
            uitest::ChooseRingValue(gPanelHandle, zeile.control, 2);
        } else {
            uitest::EnterNumeric(gPanelHandle, zeile.control, 3.0);
        }
        EXPECT_EQ(GetActiveCtrl(gPanelHandle), zeile.control);
        EXPECT_EQ(Fehler().led, 1);
        EXPECT_EQ(Fehler().nummer, -zeile.code);
        EXPECT_EQ(Fehler().text,
                  "Serielle Schnittstelle ist nicht ge\xf6"
                  "ffnet");
        // A failed write leaves the new value in the control.
        if (zeile.art == Eingabe::Ring) {
            EXPECT_EQ(Int(zeile.control), 2);
        } else {
            EXPECT_EQ(Double(zeile.control), 3.0);
        }
    }
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

TEST_F(Programm, PulseTimeCommitDimsThePulseControlsBeforeTheWriteFails) {
    Starten();
    uitest::EnterNumeric(gPanelHandle, PANEL_ZEITPULS, 1.5);
    for (const int control : testhilfe::pulsControls) EXPECT_EQ(Attribut(control, ATTR_DIMMED), 0) << control;
    EXPECT_EQ(Fehler().nummer, 122219);

    uitest::EnterNumeric(gPanelHandle, PANEL_ZEITPULS, 0.0);
    for (const int control : testhilfe::pulsControls) EXPECT_EQ(Attribut(control, ATTR_DIMMED), 1) << control;
    EXPECT_EQ(Attribut(PANEL_ZEITPULS, ATTR_DIMMED), 0);
    EXPECT_EQ(Fehler().nummer, 122219);
}

struct Knopfzeile {
    int control;
    const char* name;
    int nummer;
};

TEST_F(Programm, CommandButtonsReportInTheErrorDisplay) {
    Starten();
    const std::array<Knopfzeile, 4> knoepfe{{
        {PANEL_SCANN, "SCANN", 122202},
        {PANEL_IDLESEN, "IDLESEN", 122201},
        {PANEL_START, "START", 122220},
        {PANEL_STOPP, "STOPP", 122221},
    }};
    for (const Knopfzeile& knopf : knoepfe) {
        SCOPED_TRACE(knopf.name);
        FehlerSetzen(0);
        uitest::Click(gPanelHandle, knopf.control);
        EXPECT_EQ(Fehler().led, 1);
        EXPECT_EQ(Fehler().nummer, knopf.nummer);
    }
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

TEST_F(Programm, ReadingAllParametersReportsInAPopupAndRedoesTheDimming) {
    Starten();
    FehlerSetzen(-402095);
    SetCtrlVal(gPanelHandle, PANEL_ZEITPULS, 2.0);  // pulse controls still dimmed from start-up

    uitest::QueueMessageAnswer();
    uitest::Click(gPanelHandle, PANEL_PARAMETERLESEN);
    ASSERT_EQ(uitest::ShownPopups().size(), 1u);
    EXPECT_EQ(uitest::ShownPopups()[0].kind, "message");
    EXPECT_EQ(uitest::ShownPopups()[0].title, "Fehler #122212");
    EXPECT_EQ(uitest::ShownPopups()[0].text,
              "Serielle Schnittstelle ist nicht ge\xf6"
              "ffnet");
    for (const int control : testhilfe::pulsControls) EXPECT_EQ(Attribut(control, ATTR_DIMMED), 0) << control;
    // The popup route leaves the error display alone.
    EXPECT_EQ(Fehler().nummer, 402095);

    uitest::ClearShownPopups();
    uitest::ChooseRingValue(gPanelHandle, PANEL_KWDID, 9);
    uitest::QueueMessageAnswer();
    uitest::Click(gPanelHandle, PANEL_PARAMETERLESEN);
    ASSERT_EQ(uitest::ShownPopups().size(), 1u);
    EXPECT_EQ(uitest::ShownPopups()[0].title, "Fehler #407000");
}

TEST_F(Programm, ChoosingThePortAlreadySelectedDoesNothingAndClearsTheDisplay) {
    Starten();
    FehlerSetzen(-402095);
    uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 0);  // "not open" while none is open
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    EXPECT_EQ(Fehler().led, 0);
    EXPECT_EQ(Fehler().nummer, 0);
}

TEST_F(Programm, FailedPortChoiceFallsBackToNotOpenAndShowsTheFirstError) {
    setenv("KWD2_COM3", "/nonexistent/kwd2-test-port", 1);
    Starten();
    uitest::ChooseRingValue(gPanelHandle, PANEL_PORT, 3);
    EXPECT_EQ(Int(PANEL_PORT), 0);
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    // The open error, not the close that undoes it (that one fails too: nothing was open).
    EXPECT_EQ(Fehler().led, 1);
    EXPECT_EQ(Fehler().nummer, 100002);
    EXPECT_EQ(Fehler().text,
              "Fehler beim \xf6"
              "ffnen der seriellen Schnittstelle");
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

// ---------------------------------------------------------------------------- calibration buttons

using KalibrierCallback = int (*)(int, int, int, void*, int, int);

struct Kalibrierzeile {
    int control;
    const char* name;
    KalibrierCallback callback;
};

constexpr std::array<Kalibrierzeile, 5> kalibrierzeilen{{
    {PANEL_KWDLESEN, "KWDLESEN", KwdLesen_Callback},
    {PANEL_KWDSCHREIBEN, "KWDSCHREIBEN", KwdSchreiben_Callback},
    {PANEL_SPEICHERN, "SPEICHERN", DateiSpeichern_Callback},
    {PANEL_LADEN, "LADEN", DateiLaden_Callback},
    {PANEL_RECHNER, "RECHNER", Kalibrierrechner_Callback},
}};

TEST_F(Programm, CalibrationCallbacksDoNothingInNormalMode) {
    Starten();
    for (const Kalibrierzeile& zeile : kalibrierzeilen) {
        SCOPED_TRACE(zeile.name);
        // The buttons are hidden, so call the callbacks as a commit would.
        zeile.callback(gPanelHandle, zeile.control, EVENT_COMMIT, nullptr, 0, 0);
    }
    EXPECT_TRUE(uitest::ShownPopups().empty());
    EXPECT_FALSE(testhilfe::RechnerSichtbar());
    EXPECT_EQ(Fehler().led, 0);
}

TEST_F(Programm, CalibrationDeviceButtonsReportInAPopup) {
    Starten({"-p=Lomb7Quanxr"});
    FehlerSetzen(-402095);
    uitest::QueueMessageAnswer();
    uitest::Click(gPanelHandle, PANEL_KWDLESEN);
    uitest::QueueMessageAnswer();
    uitest::Click(gPanelHandle, PANEL_KWDSCHREIBEN);
    const auto& popups = uitest::ShownPopups();
    ASSERT_EQ(popups.size(), 2u);
    EXPECT_EQ(popups[0].title, "Fehler #122217");
    EXPECT_EQ(popups[1].title, "Fehler #122218");
    EXPECT_EQ(Fehler().nummer, 402095);
}

TEST_F(Programm, CancelledCalibrationFileDialogsAreNoError) {
    Starten({"-p=Lomb7Quanxr"});
    uitest::QueueFileAnswer(VAL_NO_FILE_SELECTED, "");
    uitest::Click(gPanelHandle, PANEL_SPEICHERN);
    uitest::QueueFileAnswer(VAL_NO_FILE_SELECTED, "");
    uitest::Click(gPanelHandle, PANEL_LADEN);
    const auto& popups = uitest::ShownPopups();
    ASSERT_EQ(popups.size(), 2u);
    EXPECT_EQ(popups[0].kind, "file");
    EXPECT_EQ(popups[0].title, "Kalibrierdaten speichern");
    EXPECT_EQ(popups[1].kind, "file");
    EXPECT_EQ(popups[1].title, "Kalibrierdaten laden");
}

TEST_F(Programm, CalculatorOpensWithOldValuesAndNoHighlighting) {
    Starten({"-p=Lomb7Quanxr"});
    uitest::Click(gPanelHandle, PANEL_RECHNER);
    ASSERT_TRUE(testhilfe::RechnerSichtbar());

    SetCtrlVal(gPanelHandle, PANEL_IIST1V, 1.25);
    SetCtrlVal(gPanelHandle, PANEL_IIST1OFF, 0.5);
    ZweiPunkte(0.0, 0.0, 100.0, 50.0);
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_IIST1BISHER);
    EXPECT_EQ(Attribut(RECHNERPNL_IIST1BISHER, ATTR_LABEL_COLOR, gRechnerPanelHandle), 0x00FF00);
    EXPECT_DOUBLE_EQ(Double(RECHNERPNL_V, gRechnerPanelHandle), 2.5);
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_IIST1);
    EXPECT_DOUBLE_EQ(Double(PANEL_IIST1V), 2.5);
    EXPECT_DOUBLE_EQ(Double(PANEL_IIST1OFF), 0.5);

    uitest::ClosePanel(gRechnerPanelHandle);
    EXPECT_FALSE(testhilfe::RechnerSichtbar());
    EXPECT_TRUE(testhilfe::HauptpanelSichtbar());  // the program goes on
    EXPECT_FALSE(EinstellungsdateiVorhanden());

    uitest::Click(gPanelHandle, PANEL_RECHNER);
    EXPECT_TRUE(testhilfe::RechnerSichtbar());
    EXPECT_EQ(Attribut(RECHNERPNL_IIST1BISHER, ATTR_LABEL_COLOR, gRechnerPanelHandle), 0x000000);
    EXPECT_EQ(Attribut(RECHNERPNL_IIST1, ATTR_LABEL_COLOR, gRechnerPanelHandle), 0x000000);
    EXPECT_DOUBLE_EQ(Double(RECHNERPNL_SOLL2, gRechnerPanelHandle), 100.0);
    EXPECT_DOUBLE_EQ(Double(RECHNERPNL_V, gRechnerPanelHandle), 2.5);
    EXPECT_DOUBLE_EQ(Double(RECHNERPNL_VBISHER, gRechnerPanelHandle), 1.25);
}

TEST_F(Programm, CalibrationFactorCommitOnlyKeepsTheFocus) {
    Starten({"-p=Lomb7Quanxr"});
    uitest::EnterNumeric(gPanelHandle, PANEL_ISOLL3OFF, -0.125);
    EXPECT_EQ(GetActiveCtrl(gPanelHandle), PANEL_ISOLL3OFF);
    EXPECT_DOUBLE_EQ(Double(PANEL_ISOLL3OFF), -0.125);
    EXPECT_EQ(Fehler().led, 0);
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

}  // namespace
