// Connecting: port selection, the device search and identification.
#include <cstdlib>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "tests/support/programm_fixture.h"
#include "ui/kwd2Steuerung.h"

namespace {

constexpr int kGruen = 0x00CC00;
constexpr int kRot = 0xFF0000;

TEST_F(Programm, PortSelectionOpensSwitchesAndClosesTheLine) {
    setenv("KWD2_COM2", (arbeitsverzeichnis / "kein-geraet").c_str(), 1);
    sim->AddKwd2(2, "ZEL-KWD2-A");
    AmSimulatorStarten();
    ASSERT_EQ(KwdTestFunc_ComPort(), 0);

    // A leftover error is cleared by a successful selection.
    Klick(PANEL_SCANN);
    ErwarteFehleranzeige(122202);
    Waehlen(PANEL_PORT, 1);
    EXPECT_EQ(KwdTestFunc_ComPort(), 1);
    ErwarteFehleranzeige(0);
    Waehlen(PANEL_KWDID, 2);
    Klick(PANEL_IDLESEN);
    EXPECT_EQ(Text(PANEL_IDSTRING), "ZEL-KWD2-A");

    // A port that cannot be opened: its open error shows and the ring falls back to "not open".
    Waehlen(PANEL_PORT, 2);
    ErwarteFehleranzeige(100002);
    EXPECT_EQ(Int(PANEL_PORT), 0);
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    Klick(PANEL_IDLESEN);
    ErwarteFehleranzeige(122201);

    // COM1 again works (the line was closed properly), then "not open" closes it.
    Waehlen(PANEL_PORT, 1);
    ErwarteFehleranzeige(0);
    Klick(PANEL_IDLESEN);
    ErwarteFehleranzeige(0);
    Waehlen(PANEL_PORT, 0);
    EXPECT_EQ(KwdTestFunc_ComPort(), 0);
    ErwarteFehleranzeige(0);
    sim->ClearTrace();
    Klick(PANEL_IDLESEN);
    ErwarteFehleranzeige(122201);
    EXPECT_EQ(sim->HostBytes(), "");
}

TEST_F(Programm, SearchWithoutPortChangesNothing) {
    AmSimulatorStarten();
    SetCtrlVal(gPanelHandle, PANEL_IDSTRING, "alt");
    SetCtrlVal(gPanelHandle, PANEL_LED3, 1);
    Klick(PANEL_SCANN);
    ErwarteFehleranzeige(122202);
    EXPECT_EQ(Text(PANEL_IDSTRING), "alt");
    EXPECT_EQ(Int(PANEL_LED3), 1);
}

// One search covers it all (each silent address costs a port time-out): two devices of this
// kind, a foreign one, one whose text holds the signature only further in, and silent ones.
TEST_F(Programm, SearchLightsLampsAndSelectsTheLastDeviceFound) {
    sim->AddKwd2(2, "ZEL-KWD2-zwei");
    sim->AddKwd2(5, "ZEL-KWD2-fuenf");
    sim->AddForeign(7, "FREMD-1");
    sim->AddForeign(8, "X-ZEL-KWD2");
    AmSimulatorStarten();
    Waehlen(PANEL_PORT, 1);
    Waehlen(PANEL_KWDID, 1);
    // Lamps left lit by an earlier search go off where nothing answers now; colours stay.
    SetCtrlAttribute(gPanelHandle, PANEL_LED0, ATTR_ON_COLOR, kRot);
    SetCtrlVal(gPanelHandle, PANEL_LED0, 1);
    SetCtrlVal(gPanelHandle, PANEL_IDSTRING, "alt");
    sim->ClearTrace();

    Klick(PANEL_SCANN);

    ErwarteFehleranzeige(0);
    EXPECT_EQ(sim->HostBytes(), "#0IDR\r#1IDR\r#2IDR\r#3IDR\r#4IDR\r#5IDR\r#6IDR\r#7IDR\r#8IDR\r");
    const int erwartet[9] = {0, 0, 1, 0, 0, 1, 0, 1, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Int(PANEL_LED0 + i), erwartet[i]) << "lamp " << i;
    EXPECT_EQ(Attribut(PANEL_LED0, ATTR_ON_COLOR), kRot);
    EXPECT_EQ(Attribut(PANEL_LED2, ATTR_ON_COLOR), kGruen);
    EXPECT_EQ(Attribut(PANEL_LED5, ATTR_ON_COLOR), kGruen);
    EXPECT_EQ(Attribut(PANEL_LED7, ATTR_ON_COLOR), kRot);
    EXPECT_EQ(Attribut(PANEL_LED8, ATTR_ON_COLOR), kRot);
    EXPECT_EQ(Int(PANEL_KWDID), 5);
    EXPECT_EQ(Text(PANEL_IDSTRING), "ZEL-KWD2-fuenf");
    EXPECT_EQ(Text(PANEL_TEXT), "");
}

TEST_F(Programm, IdentificationReadsTheChosenAddressAndRefusesAll) {
    sim->AddKwd2(2, "ZEL-KWD2-zwei");
    sim->AddForeign(7, "FREMD-1");
    AmSimulatorStarten();
    Klick(PANEL_IDLESEN);
    ErwarteFehleranzeige(122201);

    Waehlen(PANEL_PORT, 1);
    Waehlen(PANEL_KWDID, 7);
    Klick(PANEL_IDLESEN);
    ErwarteFehleranzeige(0);
    EXPECT_EQ(Text(PANEL_IDSTRING), "FREMD-1");  // shown whatever it says

    Waehlen(PANEL_KWDID, 2);
    sim->ClearTrace();
    Klick(PANEL_IDLESEN);
    EXPECT_EQ(sim->HostBytes(), "#2IDR\r");
    EXPECT_EQ(Text(PANEL_IDSTRING), "ZEL-KWD2-zwei");

    Waehlen(PANEL_KWDID, 9);
    sim->ClearTrace();
    Klick(PANEL_IDLESEN);
    ErwarteFehleranzeige(400005);
    EXPECT_EQ(Text(PANEL_IDSTRING), "");
    EXPECT_EQ(sim->HostBytes(), "");
}

}  // namespace
