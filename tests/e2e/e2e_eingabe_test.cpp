// What the operator types and chooses reaches the device and the files as shown.
#include <filesystem>
#include <string>
#include <vector>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "tests/support/programm_fixture.h"
#include "ui/kwd2Steuerung.h"

namespace {

class Eingabe : public Programm {
  protected:
    void MitGeraetStarten(bool kalibrierModus = false) {
        sim->AddKwd2(2);
        AmSimulatorStarten(kalibrierModus);
        Waehlen(PANEL_PORT, 1);
        Waehlen(PANEL_KWDID, 2);
        sim->ClearTrace();
    }
};

TEST_F(Eingabe, TypedValueGoesOutBeforeTheClickedCommand) {
    MitGeraetStarten();
    uitest::TypeIntoNumeric(gPanelHandle, PANEL_SPANNUNGSOLL2, "7.5");
    Klick(PANEL_START);
    ErwarteFehleranzeige(0);
    EXPECT_EQ(sim->HostBytes(), "#2V2W7.5\r#2DF1\r");
    EXPECT_EQ(sim->RegisterValue(2, "usoll2"), 7.5);

    // Choosing another address takes the typed value first, for the address it was typed for.
    sim->ClearTrace();
    uitest::TypeIntoNumeric(gPanelHandle, PANEL_SPANNUNGSOLL2, "8");
    Waehlen(PANEL_KWDID, 5);
    EXPECT_EQ(sim->HostBytes(), "#2V2W8.0\r");
    EXPECT_EQ(Int(PANEL_KWDID), 5);
}

TEST_F(Eingabe, TypedFactorAndTypedCalculatorResultAreWhatIsUsed) {
    MitGeraetStarten(true);
    uitest::TypeIntoNumeric(gPanelHandle, PANEL_USOLLV, "2.5");
    Klick(PANEL_KWDSCHREIBEN);  // a picture button: it does not take the focus
    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_EQ(sim->HostBytes().substr(0, 14), "#201W2.500000\r");
    EXPECT_EQ(sim->RegisterValue(2, "usoll_v"), 2.5);

    Klick(PANEL_RECHNER);
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_UISTBISHER);
    uitest::TypeIntoNumeric(gRechnerPanelHandle, RECHNERPNL_V, "1.25");
    uitest::TypeIntoNumeric(gRechnerPanelHandle, RECHNERPNL_OFF, "-0,5");
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_UIST);
    EXPECT_EQ(Double(PANEL_UISTV), 1.25);
    EXPECT_EQ(Double(PANEL_UISTOFF), -0.5);
}

// Calibration files: the name chosen is the name used, whole or not at all.
TEST_F(Programm, CalibrationFileNamesAreUsedAsChosenAndNeverCut) {
    AmSimulatorStarten(true);
    const auto wahl = [](int knopf, const std::filesystem::path& pfad) {
        uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, pfad.string());
        Klick(knopf);
    };
    SetCtrlVal(gPanelHandle, PANEL_USOLLV, 3.5);
    wahl(PANEL_SPEICHERN, arbeitsverzeichnis / "KAL01.KWD");
    ASSERT_EQ(DateiInhalt(arbeitsverzeichnis / "KAL01.KWD").size(), 200u);
    SetCtrlVal(gPanelHandle, PANEL_USOLLV, 1.0);
    wahl(PANEL_LADEN, arbeitsverzeichnis / "KAL01.KWD");
    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_EQ(Double(PANEL_USOLLV), 3.5);

    // Deep enough that the path cut to 259 characters would name a file in an existing directory.
    std::filesystem::path tief = arbeitsverzeichnis;
    while (tief.string().size() < 220) tief /= std::string(30, 'd');
    std::filesystem::create_directories(tief);
    const auto lang = tief / (std::string(60, 'k') + ".kwd");
    const std::string pfadVorher = KwdTestFunc_DateiPfad();
    PopupsBeantworten(2);
    wahl(PANEL_SPEICHERN, lang);
    wahl(PANEL_LADEN, lang);
    EXPECT_EQ(PopupTitel(), (std::vector<std::string>{"Fehler #308206", "Fehler #308208"}));
    EXPECT_TRUE(std::filesystem::is_empty(tief)) << "written under a cut name";
    EXPECT_EQ(Double(PANEL_USOLLV), 3.5);
    EXPECT_EQ(KwdTestFunc_DateiPfad(), pfadVorher);
}

TEST_F(Programm, FullScaleThatIsNoScaleKeepsTheDefaultAndWritesItBack) {
    DateiSchreiben(arbeitsverzeichnis / "kwd2steuerung.ini", "[KWD2Steuerung]\r\numax = nan\r\nimax = 0\r\n");
    AmSimulatorStarten();
    EXPECT_EQ(Double(PANEL_UENDWERT), 250.0);
    EXPECT_EQ(Double(PANEL_IENDWERT), 6000.0);
    double skala = 0.0;
    GetCtrlAttribute(gPanelHandle, PANEL_SPANNUNG, ATTR_MAX_VALUE, &skala);
    EXPECT_EQ(skala, 250.0);
    Klick(PANEL_ENDE);
    const std::string inhalt = DateiInhalt(arbeitsverzeichnis / "kwd2steuerung.ini");
    EXPECT_NE(inhalt.find("\r\numax = 250\r\n"), std::string::npos) << inhalt;
    EXPECT_NE(inhalt.find("\r\nimax = 6000\r\n"), std::string::npos) << inhalt;
}

}  // namespace
