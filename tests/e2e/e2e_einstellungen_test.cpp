// Settings: the file read at start and written at exit, in the program's working directory.
#include <cstdlib>
#include <string>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "tests/support/programm_fixture.h"
#include "ui/kwd2Steuerung.h"

namespace {

const char* const kIni = "kwd2steuerung.ini";

double Skala(int meter) {
    double maximum = 0.0;
    EXPECT_EQ(GetCtrlAttribute(gPanelHandle, meter, ATTR_MAX_VALUE, &maximum), 0);
    return maximum;
}

TEST_F(Programm, FirstStartWithoutFileWritesTheSevenKeysAtExit) {
    sim->AddKwd2(0);
    AmSimulatorStarten();
    setenv("KWD2_COM3", sim->Path().c_str(), 1);
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    EXPECT_EQ(Int(PANEL_PORT), 0);
    EXPECT_STREQ(KwdTestFunc_DateiPfad(), ".");
    EXPECT_EQ(Double(PANEL_UENDWERT), 250.0);
    EXPECT_EQ(Double(PANEL_IENDWERT), 6000.0);
    ErwarteFehleranzeige(0);

    Waehlen(PANEL_PORT, 3);
    ASSERT_EQ(KwdTestFunc_ComPort(), 3);
    Klick(PANEL_ENDE);

    EXPECT_EQ(DateiInhalt(arbeitsverzeichnis / kIni),
              "[KWD2Steuerung]\r\nComPort = 3\r\nimax = 6000\r\nKwdId = 0\r\npath = \".\"\r\n"
              "Spannung = 0\r\nStrom = 0\r\numax = 250\r\n\r\n");
}

TEST_F(Programm, StoredSettingsAreAppliedAndThePortOpened) {
    sim->AddKwd2(5, "ZEL-KWD2-gespeichert");
    DateiSchreiben(arbeitsverzeichnis / kIni,
                   "[KWD2Steuerung]\r\nComPort = 1\r\nKwdId = 5\r\numax = 100\r\nimax = 9000\r\n"
                   "path = \"/daten/kal/\"\r\n");
    AmSimulatorStarten();
    EXPECT_EQ(KwdTestFunc_ComPort(), 1);
    EXPECT_EQ(Int(PANEL_PORT), 1);
    EXPECT_EQ(Int(PANEL_KWDID), 5);
    EXPECT_EQ(Double(PANEL_UENDWERT), 100.0);
    EXPECT_EQ(Skala(PANEL_SPANNUNG), 100.0);
    // 9000 is beyond the control's range: the scale takes what the control holds.
    EXPECT_EQ(Double(PANEL_IENDWERT), 6000.0);
    EXPECT_EQ(Skala(PANEL_STROM), 6000.0);
    EXPECT_STREQ(KwdTestFunc_DateiPfad(), "/daten/kal/");
    ErwarteFehleranzeige(0);

    Klick(PANEL_IDLESEN);  // the port is really open, with its time-out set
    ErwarteFehleranzeige(0);
    EXPECT_EQ(Text(PANEL_IDSTRING), "ZEL-KWD2-gespeichert");

    Eingeben(PANEL_SPANNUNGSOLL, 17.5);
    Eingeben(PANEL_STROMSOLL, 300.0);
    Klick(PANEL_ENDE);
    EXPECT_EQ(DateiInhalt(arbeitsverzeichnis / kIni),
              "[KWD2Steuerung]\r\nComPort = 1\r\nimax = 6000\r\nKwdId = 5\r\npath = \"/daten/kal/\"\r\n"
              "Spannung = 17.5\r\nStrom = 300\r\numax = 100\r\n\r\n");
}

TEST_F(Programm, StoredPortThatCannotOpenIsShownAndStoredAsNotOpen) {
    setenv("KWD2_COM2", (arbeitsverzeichnis / "kein-geraet").c_str(), 1);
    DateiSchreiben(arbeitsverzeichnis / kIni, "[KWD2Steuerung]\r\nComPort = 2\r\nKwdId = 9\r\n");
    AmSimulatorStarten();
    ErwarteFehleranzeige(100002);
    EXPECT_EQ(Int(PANEL_PORT), 0);
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    EXPECT_EQ(Int(PANEL_KWDID), 9);
    Klick(PANEL_ENDE);
    const std::string inhalt = DateiInhalt(arbeitsverzeichnis / kIni);
    EXPECT_NE(inhalt.find("\r\nComPort = 0\r\n"), std::string::npos) << inhalt;
    EXPECT_NE(inhalt.find("\r\nKwdId = 9\r\n"), std::string::npos) << inhalt;
}

TEST_F(Programm, UnknownSectionsAndKeysSurviveSortedAndOutOfRangeValuesAreSkipped) {
    DateiSchreiben(arbeitsverzeichnis / kIni,
                   "; Kommentar\r\n[Zusatz]\r\nfoo = bar\r\n[KWD2Steuerung]\r\nextra = 7\r\nComPort = 9\r\n"
                   "KwdId = 12\r\n");
    AmSimulatorStarten();
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    EXPECT_EQ(Int(PANEL_PORT), 0);
    EXPECT_EQ(Int(PANEL_KWDID), 0);
    ErwarteFehleranzeige(0);
    Klick(PANEL_ENDE);
    EXPECT_EQ(DateiInhalt(arbeitsverzeichnis / kIni),
              "[KWD2Steuerung]\r\nComPort = 0\r\nextra = 7\r\nimax = 6000\r\nKwdId = 0\r\npath = \".\"\r\n"
              "Spannung = 0\r\nStrom = 0\r\numax = 250\r\n\r\n[Zusatz]\r\nfoo = bar\r\n\r\n");
}

}  // namespace
