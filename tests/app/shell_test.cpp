// The shell on the real panels: run modes, what start-up sets, the exit sequence, the measuring
// switch and timer, full-scale values, the parameter dispatch and the two error routes.
#include <QTimer>

#include <array>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/programm_fixture.h"

using testhilfe::kalibrierControls;
using testhilfe::pulsControls;
using testhilfe::statusLeds;

namespace {

// ---------------------------------------------------------------------------- run modes

struct Laufmodus {
    const char* name;
    std::vector<std::string> argumente;
    bool kalibrierung;
};

void PrintTo(const Laufmodus& modus, std::ostream* out) {
    *out << modus.name;
}

class Laufmodi : public Programm, public ::testing::WithParamInterface<Laufmodus> {};

TEST_P(Laufmodi, AccessCodeAloneAndExactSelectsCalibrationMode) {
    Starten(GetParam().argumente);
    const bool kalibrierung = GetParam().kalibrierung;
    EXPECT_EQ(gKalibrierModus, kalibrierung ? 1 : 0);
    EXPECT_EQ(PanelAttribut(ATTR_WIDTH), kalibrierung ? 870 : 697);
    for (const int control : kalibrierControls) {
        EXPECT_EQ(Attribut(control, ATTR_VISIBLE), kalibrierung ? 1 : 0) << "control " << control;
    }
    // The rest of the panel is there in both modes.
    EXPECT_EQ(Attribut(PANEL_ENDE, ATTR_VISIBLE), 1);
    EXPECT_EQ(Attribut(PANEL_MESSEN, ATTR_VISIBLE), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kommandozeile, Laufmodi,
    ::testing::Values(Laufmodus{"KeinArgument", {}, false},
                      Laufmodus{"Zugangscode", {"-p=Lomb7Quanxr"}, true},
                      Laufmodus{"KleinesL", {"-p=lomb7Quanxr"}, false},
                      Laufmodus{"GrossesP", {"-P=Lomb7Quanxr"}, false},
                      Laufmodus{"AllesKlein", {"-p=lomb7quanxr"}, false},
                      Laufmodus{"EinZeichenZuWenig", {"-p=Lomb7Quanx"}, false},
                      Laufmodus{"EinZeichenZuViel", {"-p=Lomb7Quanxrr"}, false},
                      Laufmodus{"LeerzeichenDahinter", {"-p=Lomb7Quanxr "}, false},
                      Laufmodus{"LeerzeichenDavor", {" -p=Lomb7Quanxr"}, false},
                      Laufmodus{"AndereZiffer", {"-p=Lomb8Quanxr"}, false},
                      Laufmodus{"ZweimalDerCode", {"-p=Lomb7Quanxr", "-p=Lomb7Quanxr"}, false},
                      Laufmodus{"CodeAlsZweites", {"x", "-p=Lomb7Quanxr"}, false},
                      Laufmodus{"LeeresArgument", {""}, false}),
    [](const ::testing::TestParamInfo<Laufmodus>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------- start-up

TEST_F(Programm, StartUpPreparesAndShowsTheMainPanelOnly) {
    Starten();
    char titel[256] = "";
    ASSERT_EQ(GetPanelAttribute(gPanelHandle, ATTR_TITLE, titel), 0);
    EXPECT_STREQ(titel, "KWD2-Steuerung V1.5");
    EXPECT_EQ(Text(PANEL_TEXT), "");
    EXPECT_EQ(PanelAttribut(ATTR_SYSTEM_LOOK), 1);
    EXPECT_EQ(PanelAttribut(ATTR_SYSTEM_LOOK, gRechnerPanelHandle), 1);
    EXPECT_TRUE(testhilfe::HauptpanelSichtbar());
    EXPECT_FALSE(testhilfe::RechnerSichtbar());

    // Pulse time 0 in the resource: the pulse controls start dimmed, the time itself does not.
    for (const int control : pulsControls) EXPECT_EQ(Attribut(control, ATTR_DIMMED), 1) << control;
    EXPECT_EQ(Attribut(PANEL_ZEITPULS, ATTR_DIMMED), 0);

    // No settings file: nothing opened, nothing shown.
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    EXPECT_EQ(Int(PANEL_PORT), 0);
    EXPECT_EQ(Int(PANEL_FEHLERLED), 0);
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

// ---------------------------------------------------------------------------- exit sequence

enum class Ausgang { EndeKnopf, Schliessfeld };

class Beenden : public Programm, public ::testing::WithParamInterface<Ausgang> {
  protected:
    // Leaves the event loop the way the operator does, from inside the running loop.
    int LaufenBisBeendet() {
        const Ausgang ausgang = GetParam();
        QTimer::singleShot(0, [ausgang] {
            if (ausgang == Ausgang::EndeKnopf) {
                uitest::Click(gPanelHandle, PANEL_ENDE);
            } else {
                uitest::ClosePanel(gPanelHandle);
            }
        });
        return RunUserInterface();
    }
};

TEST_P(Beenden, SwitchesMeasuringOffWritesSettingsAndLeavesTheLoop) {
    Starten();
    uitest::EnterNumeric(gPanelHandle, PANEL_UENDWERT, 100.0);
    uitest::Click(gPanelHandle, PANEL_MESSEN);
    ASSERT_EQ(Int(PANEL_MESSEN), 1);
    SetCtrlVal(gPanelHandle, PANEL_SPANNUNG, 12.5);
    FehlerSetzen(-402095);

    EXPECT_EQ(LaufenBisBeendet(), 0);

    EXPECT_EQ(Int(PANEL_MESSEN), 0);
    // Measuring went off by value only: the measuring callback did not run, so the readout
    // was not zeroed, the lamps were not dimmed and the error display was not cleared.
    EXPECT_EQ(Double(PANEL_SPANNUNG), 12.5);
    for (const int led : statusLeds) EXPECT_EQ(Attribut(led, ATTR_DIMMED), 0) << led;
    EXPECT_EQ(Int(PANEL_FEHLERNUMMER), 402095);

    ASSERT_TRUE(EinstellungsdateiVorhanden());
    const std::string inhalt = Einstellungsdatei();
    EXPECT_NE(inhalt.find("[KWD2Steuerung]"), std::string::npos) << inhalt;
    EXPECT_NE(inhalt.find("umax = 100"), std::string::npos) << inhalt;
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

TEST_P(Beenden, EndsEvenWhenTheSettingsCannotBeWritten) {
    Starten();
    // A directory in the file's place makes writing impossible.
    std::filesystem::create_directory(arbeitsverzeichnis / "kwd2steuerung.ini");
    EXPECT_EQ(LaufenBisBeendet(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(arbeitsverzeichnis / "kwd2steuerung.ini"));
    EXPECT_TRUE(uitest::ShownPopups().empty());
}

INSTANTIATE_TEST_SUITE_P(Wege, Beenden, ::testing::Values(Ausgang::EndeKnopf, Ausgang::Schliessfeld),
                         [](const ::testing::TestParamInfo<Ausgang>& info) {
                             return std::string(info.param == Ausgang::EndeKnopf ? "EndeKnopf"
                                                                                 : "Schliessfeld");
                         });

TEST_F(Programm, OtherEventsOfTheExitCallbacksAreIgnored) {
    Starten();
    uitest::Click(gPanelHandle, PANEL_MESSEN);
    Ende(gPanelHandle, PANEL_ENDE, EVENT_CLOSE, nullptr, 0, 0);
    Panel_Callback(gPanelHandle, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(Int(PANEL_MESSEN), 1);
    EXPECT_FALSE(EinstellungsdateiVorhanden());
}

// ---------------------------------------------------------------------------- settings file

TEST_F(Programm, SettingsThatCannotBeReadGiveTheirCode) {
    Starten();
    ASSERT_EQ(WriteIni(), 0);
    std::filesystem::remove(arbeitsverzeichnis / "kwd2steuerung.ini");
    EXPECT_EQ(LoadIni(), -2204);
    ASSERT_EQ(WriteIni(), 0);

    std::filesystem::remove(arbeitsverzeichnis / "kwd2steuerung.ini");
    std::filesystem::create_directory(arbeitsverzeichnis / "kwd2steuerung.ini");
    EXPECT_EQ(LoadIni(), -2204);
}

TEST_F(Programm, FailedSettingsWriteKeepsTheDocumentForAnotherTry) {
    {
        std::ofstream datei("kwd2steuerung.ini", std::ios::binary);
        datei << "[KWD2Steuerung]\r\nKwdId = 4\r\nfremd = 1\r\n[Anderes]\r\nx = y\r\n";
    }
    Starten();
    ASSERT_EQ(Int(PANEL_KWDID), 4);
    std::filesystem::remove(arbeitsverzeichnis / "kwd2steuerung.ini");
    std::filesystem::create_directory(arbeitsverzeichnis / "kwd2steuerung.ini");
    EXPECT_EQ(WriteIni(), -301205);

    std::filesystem::remove(arbeitsverzeichnis / "kwd2steuerung.ini");
    EXPECT_EQ(WriteIni(), 0);
    // Still the document read at start: the keys the program does not know are written back.
    const std::string inhalt = Einstellungsdatei();
    EXPECT_NE(inhalt.find("\r\nfremd = 1\r\n"), std::string::npos) << inhalt;
    EXPECT_NE(inhalt.find("[Anderes]\r\nx = y\r\n"), std::string::npos) << inhalt;
    EXPECT_NE(inhalt.find("\r\nKwdId = 4\r\n"), std::string::npos) << inhalt;
}

// ---------------------------------------------------------------------------- measuring

TEST_F(Programm, MeasuringSwitchZeroesReadoutsOnlyWhenOffAndDimsLampsAccordingly) {
    Starten();
    SetCtrlVal(gPanelHandle, PANEL_SPANNUNG, 12.5);
    SetCtrlVal(gPanelHandle, PANEL_STROM, 300.0);
    SetCtrlVal(gPanelHandle, PANEL_LEDPARAMETERSATZ2, 1);
    SetCtrlVal(gPanelHandle, PANEL_LEDBEREICH3, 1);
    FehlerSetzen(-402095);

    uitest::Click(gPanelHandle, PANEL_MESSEN);  // on
    ASSERT_EQ(Int(PANEL_MESSEN), 1);
    EXPECT_EQ(Double(PANEL_SPANNUNG), 12.5);
    EXPECT_EQ(Double(PANEL_STROM), 300.0);
    for (const int led : statusLeds) EXPECT_EQ(Attribut(led, ATTR_DIMMED), 0) << led;
    EXPECT_EQ(Fehler().led, 0);
    EXPECT_EQ(Fehler().nummer, 0);
    EXPECT_EQ(Fehler().text, "");

    FehlerSetzen(-402095);
    uitest::Click(gPanelHandle, PANEL_MESSEN);  // off
    ASSERT_EQ(Int(PANEL_MESSEN), 0);
    EXPECT_EQ(Double(PANEL_SPANNUNG), 0.0);
    EXPECT_EQ(Double(PANEL_STROM), 0.0);
    for (const int led : statusLeds) EXPECT_EQ(Attribut(led, ATTR_DIMMED), 1) << led;
    // Dimming leaves the lamps' on/off state alone.
    EXPECT_EQ(Int(PANEL_LEDPARAMETERSATZ2), 1);
    EXPECT_EQ(Int(PANEL_LEDBEREICH3), 1);
    EXPECT_EQ(Int(PANEL_LEDBEREICH1), 0);
    EXPECT_EQ(Fehler().led, 0);
    EXPECT_EQ(Fehler().nummer, 0);
}

TEST_F(Programm, FailedTickShowsTheErrorAndSwitchesMeasuringOff) {
    Starten();
    uitest::Click(gPanelHandle, PANEL_MESSEN);
    SetCtrlVal(gPanelHandle, PANEL_SPANNUNG, 12.5);

    uitest::FireTimer(gPanelHandle, PANEL_TIMER);

    EXPECT_EQ(Int(PANEL_MESSEN), 0);
    EXPECT_EQ(Fehler().led, 1);
    EXPECT_EQ(Fehler().nummer, 122212);
    EXPECT_EQ(Fehler().text,
              "Serielle Schnittstelle ist nicht ge\xf6"
              "ffnet");
    for (const int led : statusLeds) EXPECT_EQ(Attribut(led, ATTR_DIMMED), 1) << led;
    // The readout keeps its last value after a failure.
    EXPECT_EQ(Double(PANEL_SPANNUNG), 12.5);

    // Polling has stopped: the next tick neither reads nor touches the display.
    FehlerSetzen(-402095);
    uitest::FireTimer(gPanelHandle, PANEL_TIMER);
    EXPECT_EQ(Fehler().nummer, 402095);
}

TEST_F(Programm, TickWithCommonAddressSwitchesMeasuringOffWithoutError) {
    Starten();
    uitest::ChooseRingValue(gPanelHandle, PANEL_KWDID, 9);
    uitest::Click(gPanelHandle, PANEL_MESSEN);
    uitest::FireTimer(gPanelHandle, PANEL_TIMER);
    EXPECT_EQ(Int(PANEL_MESSEN), 0);
    EXPECT_EQ(Fehler().led, 0);
    EXPECT_EQ(Fehler().nummer, 0);
    // Switching on undimmed the lamps; the silent switch-off leaves them so.
    for (const int led : statusLeds) EXPECT_EQ(Attribut(led, ATTR_DIMMED), 0) << led;
}

TEST_F(Programm, TimerCallbackActsOnTicksOnly) {
    Starten();
    uitest::Click(gPanelHandle, PANEL_MESSEN);
    TimerCb(gPanelHandle, PANEL_TIMER, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(Int(PANEL_MESSEN), 1);
    EXPECT_EQ(Fehler().nummer, 0);
}

// ---------------------------------------------------------------------------- full-scale values

TEST_F(Programm, FullScaleValuesSetTheirOwnMetersMaximumOnly) {
    Starten();
    uitest::EnterNumeric(gPanelHandle, PANEL_UENDWERT, 100.0);
    EXPECT_EQ(DoubleAttribut(PANEL_SPANNUNG, ATTR_MAX_VALUE), 100.0);
    EXPECT_EQ(DoubleAttribut(PANEL_STROM, ATTR_MAX_VALUE), 6000.0);
    EXPECT_EQ(GetActiveCtrl(gPanelHandle), PANEL_UENDWERT);

    uitest::EnterNumeric(gPanelHandle, PANEL_IENDWERT, 2500.0);
    EXPECT_EQ(DoubleAttribut(PANEL_STROM, ATTR_MAX_VALUE), 2500.0);
    EXPECT_EQ(DoubleAttribut(PANEL_SPANNUNG, ATTR_MAX_VALUE), 100.0);
    EXPECT_EQ(GetActiveCtrl(gPanelHandle), PANEL_IENDWERT);
    // No error route for these.
    EXPECT_EQ(Fehler().led, 0);
}

}  // namespace
