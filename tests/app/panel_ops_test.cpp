// The operations that only touch the main panel: error display, status lamps, readouts,
// pulse-control dimming and hiding the calibration strip.
#include <array>
#include <string>

#include "tests/support/programm_fixture.h"

using testhilfe::pulsControls;
using testhilfe::statusLeds;

namespace {

TEST_F(Programm, ErrorDisplayShowsCodeTextAndNumberAndClearsOnZero) {
    Starten();
    FehlerSetzen(-402095);
    EXPECT_EQ(Fehler().led, 1);
    EXPECT_EQ(Fehler().nummer, 402095);
    EXPECT_EQ(Fehler().text, "Fehlermeldung (NAK) vom Ger\xe4t erhalten");

    FehlerSetzen(-407000);
    EXPECT_EQ(Fehler().nummer, 407000);
    EXPECT_EQ(Fehler().text, "Lesebefehl ist mit Sammeladresse nicht m\xf6glich");

    FehlerSetzen(0);
    EXPECT_EQ(Fehler().led, 0);
    EXPECT_EQ(Fehler().nummer, 0);
    EXPECT_EQ(Fehler().text, "");

    // The silent error number still lights the lamp, with an empty text.
    FehlerSetzen(-6001);
    EXPECT_EQ(Fehler().led, 1);
    EXPECT_EQ(Fehler().nummer, 6001);
    EXPECT_EQ(Fehler().text, "");
}

struct Statusfall {
    int statusByte;
    std::array<int, 6> lampen;  // in the fixed lamp order: set 1, set 2, ranges 1 to 4
};

TEST_F(Programm, StatusByteLightsOneSetLampAndOneRangeLamp) {
    Starten();
    const std::array<Statusfall, 10> faelle{{
        {0, {1, 0, 1, 0, 0, 0}},
        {1, {0, 1, 1, 0, 0, 0}},
        {2, {1, 0, 0, 1, 0, 0}},
        {3, {0, 1, 0, 1, 0, 0}},
        {4, {1, 0, 0, 0, 1, 0}},
        {6, {1, 0, 0, 0, 0, 1}},
        {7, {0, 1, 0, 0, 0, 1}},
        {0xF8, {1, 0, 1, 0, 0, 0}},  // higher bits change nothing
        {0xFD, {0, 1, 0, 0, 1, 0}},
        {0x83, {0, 1, 0, 1, 0, 0}},
    }};
    for (const Statusfall& fall : faelle) {
        SCOPED_TRACE(testing::Message() << "status byte " << fall.statusByte);
        // Every lamp is written each time, so the previous state does not leak through.
        for (const int led : statusLeds) SetCtrlVal(gPanelHandle, led, 1);
        StatusLedsSetzen(fall.statusByte);
        for (std::size_t i = 0; i < statusLeds.size(); ++i) {
            EXPECT_EQ(Int(statusLeds[i]), fall.lampen[i]) << "lamp " << statusLeds[i];
        }
    }
}

TEST_F(Programm, ReadoutsAndLampDimmingFollowTheMeasuringSwitchValue) {
    Starten();
    SetCtrlVal(gPanelHandle, PANEL_SPANNUNG, 17.0);
    SetCtrlVal(gPanelHandle, PANEL_STROM, 42.0);

    SetCtrlVal(gPanelHandle, PANEL_MESSEN, 1);
    AnzeigenAufSoll();
    StatusLedsDimmen();
    EXPECT_EQ(Double(PANEL_SPANNUNG), 17.0);
    EXPECT_EQ(Double(PANEL_STROM), 42.0);
    for (const int led : statusLeds) EXPECT_EQ(Attribut(led, ATTR_DIMMED), 0) << led;

    SetCtrlVal(gPanelHandle, PANEL_MESSEN, 0);
    AnzeigenAufSoll();
    StatusLedsDimmen();
    EXPECT_EQ(Double(PANEL_SPANNUNG), 0.0);
    EXPECT_EQ(Double(PANEL_STROM), 0.0);
    for (const int led : statusLeds) EXPECT_EQ(Attribut(led, ATTR_DIMMED), 1) << led;
}

TEST_F(Programm, PulseControlsAreDimmedOnlyForAPulseTimeOfExactlyZero) {
    Starten();
    const std::array<std::pair<double, int>, 4> faelle{{{0.001, 0}, {0.0, 1}, {6000.0, 0}, {-0.0, 1}}};
    for (const auto& [zeit, gedimmt] : faelle) {
        SCOPED_TRACE(zeit);
        SetCtrlVal(gPanelHandle, PANEL_ZEITPULS, zeit);
        EXPECT_EQ(PulscontrollsDimmen(), 0);
        for (const int control : pulsControls) EXPECT_EQ(Attribut(control, ATTR_DIMMED), gedimmt) << control;
        EXPECT_EQ(Attribut(PANEL_ZEITPULS, ATTR_DIMMED), 0);
    }
}

TEST_F(Programm, HidingTheCalibrationStripLeavesEverythingElseVisible) {
    Starten({"-p=Lomb7Quanxr"});
    KalibrierparameterAusblenden();
    for (const int control : testhilfe::kalibrierControls)
        EXPECT_EQ(Attribut(control, ATTR_VISIBLE), 0) << control;
    for (const int control :
         {PANEL_KWDID, PANEL_PORT, PANEL_FEHLERSTRING, PANEL_PARAMETERLESEN, PANEL_ZEITPULS}) {
        EXPECT_EQ(Attribut(control, ATTR_VISIBLE), 1) << control;
    }
}

}  // namespace
