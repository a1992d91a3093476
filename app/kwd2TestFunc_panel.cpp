// Operations that only touch the main panel: the error display, the readout and status lamps
// around the measuring switch, the pulse-control dimming and hiding the calibration strip.
#include <array>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "errors/ZEL_errorV3.h"
#include "platform/userint.h"
#include "ui/kwd2Steuerung.h"

namespace {

// The six status lamps, always written in this order.
constexpr std::array<int, 6> kStatusLeds{
    PANEL_LEDPARAMETERSATZ1, PANEL_LEDPARAMETERSATZ2, PANEL_LEDBEREICH1,
    PANEL_LEDBEREICH2,       PANEL_LEDBEREICH3,       PANEL_LEDBEREICH4,
};

// Range lamps indexed by bits 2 and 1 of the status byte.
constexpr std::array<int, 4> kBereichsLeds{PANEL_LEDBEREICH1, PANEL_LEDBEREICH2, PANEL_LEDBEREICH3,
                                           PANEL_LEDBEREICH4};

// Pulse-phase controls that make no sense while the pulse time is 0; the time itself stays active.
constexpr std::array<int, 5> kPulsControls{PANEL_SPANNUNGPULS, PANEL_STROMPULS, PANEL_UTAUPULS,
                                           PANEL_ITAUPULS, PANEL_MESSBEREICHPULS};

// The calibration buttons, hidden with the twenty factors.
constexpr std::array<int, 5> kAlibrierButtons{PANEL_LADEN, PANEL_SPEICHERN, PANEL_KWDLESEN,
                                              PANEL_KWDSCHREIBEN, PANEL_RECHNER};

bool MessenEin() {
    int messen = 0;
    GetCtrlVal(gPanelHandle, PANEL_MESSEN, &messen);
    return messen != 0;
}

}  // namespace

void FehlerSetzen(int code) {
    if (code == 0) {
        SetCtrlVal(gPanelHandle, PANEL_FEHLERLED, 0);
        SetCtrlVal(gPanelHandle, PANEL_FEHLERSTRING, "");
        SetCtrlVal(gPanelHandle, PANEL_FEHLERNUMMER, 0);
        return;
    }
    SetCtrlVal(gPanelHandle, PANEL_FEHLERLED, 1);
    SetCtrlVal(gPanelHandle, PANEL_FEHLERSTRING, ZEL_Fehlermeldung(code));
    SetCtrlVal(gPanelHandle, PANEL_FEHLERNUMMER, -code);
}

void StatusLedsSetzen(int statusByte) {
    const bool satz2 = (statusByte & 0x01) != 0;
    const int bereichsLed = kBereichsLeds[static_cast<unsigned>(statusByte >> 1) & 0x03u];
    for (const int led : kStatusLeds) {
        bool an = false;
        if (led == PANEL_LEDPARAMETERSATZ1) {
            an = !satz2;
        } else if (led == PANEL_LEDPARAMETERSATZ2) {
            an = satz2;
        } else {
            an = led == bereichsLed;
        }
        SetCtrlVal(gPanelHandle, led, an ? 1 : 0);
    }
}

void AnzeigenAufSoll() {
    if (MessenEin()) return;
    SetCtrlVal(gPanelHandle, PANEL_SPANNUNG, 0.0);
    SetCtrlVal(gPanelHandle, PANEL_STROM, 0.0);
}

void StatusLedsDimmen() {
    const int gedimmt = MessenEin() ? 0 : 1;
    for (const int led : kStatusLeds) SetCtrlAttribute(gPanelHandle, led, ATTR_DIMMED, gedimmt);
}

int PulscontrollsDimmen() {
    double zeit = 0.0;
    GetCtrlVal(gPanelHandle, PANEL_ZEITPULS, &zeit);
    const int gedimmt = zeit == 0.0 ? 1 : 0;
    for (const int control : kPulsControls) SetCtrlAttribute(gPanelHandle, control, ATTR_DIMMED, gedimmt);
    return 0;
}

void KalibrierparameterAusblenden() {
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        SetCtrlAttribute(gPanelHandle, KalibrierFaktorControl(i), ATTR_VISIBLE, 0);
    }
    for (const int control : kAlibrierButtons) SetCtrlAttribute(gPanelHandle, control, ATTR_VISIBLE, 0);
}
