#include "calc/Kalibrierrechner.h"

#include "platform/userint.h"
#include "ui/kwd2Steuerung.h"

namespace {

int gHauptPanel = 0;
int gRechnerPanel = 0;

constexpr int kSchwarz = 0x000000;
constexpr int kGruen = 0x00FF00;

// The channel whose button `button` (holenButton or uebernehmenButton) is `control`, or nullptr.
const KalibrierKanal* KanalZumButton(int KalibrierKanal::*button, int control) {
    for (const KalibrierKanal& kanal : kKalibrierKanaele) {
        if (kanal.*button == control) return &kanal;
    }
    return nullptr;
}

double RechnerWert(int control) {
    double wert = 0.0;
    GetCtrlVal(gRechnerPanel, control, &wert);
    return wert;
}

}  // namespace

void Kalibrierrechner_SetPanels(int mainPanel, int rechnerPanelHandle) {
    gHauptPanel = mainPanel;
    gRechnerPanel = rechnerPanelHandle;
}

void Kalibrierrechner_CallbacksRegistrieren() {
    RegisterPanelCallback("Rechnerpanel_Callback", Rechnerpanel_Callback);
    RegisterCtrlCallback("RechnerZurueck_Callback", RechnerZurueck_Callback);
    RegisterCtrlCallback("RechnerEingabe_Callback", RechnerEingabe_Callback);
    RegisterCtrlCallback("RechnerHolen_Callback", RechnerHolen_Callback);
    RegisterCtrlCallback("RechnerUebernehmen_Callback", RechnerUebernehmen_Callback);
}

void KalibrierdatenBerechnen() {
    const double soll1 = RechnerWert(RECHNERPNL_SOLL1);
    const double ist1 = RechnerWert(RECHNERPNL_IST1);
    const double soll2 = RechnerWert(RECHNERPNL_SOLL2);
    const double ist2 = RechnerWert(RECHNERPNL_IST2);
    const double vBisher = RechnerWert(RECHNERPNL_VBISHER);
    const double offBisher = RechnerWert(RECHNERPNL_OFFBISHER);

    // The correction maps a measured value m to g * (m + o); both points satisfy S = g * (I + o).
    // Equal points give infinities or NaN, which are shown and taken over as they come.
    const double g = (soll2 - soll1) / (ist2 - ist1);
    const double o = soll1 / g - ist1;

    SetCtrlVal(gRechnerPanel, RECHNERPNL_V, g * vBisher);
    SetCtrlVal(gRechnerPanel, RECHNERPNL_OFF, o + offBisher);
}

void KalibrierdatenHolen(int control) {
    const KalibrierKanal* kanal = KanalZumButton(&KalibrierKanal::holenButton, control);
    if (kanal == nullptr) return;
    double verstaerkung = 0.0;
    double offset = 0.0;
    GetCtrlVal(gHauptPanel, kanal->verstaerkung, &verstaerkung);
    GetCtrlVal(gHauptPanel, kanal->offset, &offset);
    SetCtrlVal(gRechnerPanel, RECHNERPNL_VBISHER, verstaerkung);
    SetCtrlVal(gRechnerPanel, RECHNERPNL_OFFBISHER, offset);
    KalibrierdatenBerechnen();
}

void KalibrierdatenUebernehmen(int control) {
    const KalibrierKanal* kanal = KanalZumButton(&KalibrierKanal::uebernehmenButton, control);
    if (kanal == nullptr) return;
    SetCtrlVal(gHauptPanel, kanal->verstaerkung, RechnerWert(RECHNERPNL_V));
    SetCtrlVal(gHauptPanel, kanal->offset, RechnerWert(RECHNERPNL_OFF));
}

void RechnerbuttonsHervorheben(int control) {
    for (const KalibrierKanal& kanal : kKalibrierKanaele) {
        SetCtrlAttribute(gRechnerPanel, kanal.holenButton, ATTR_LABEL_COLOR, kSchwarz);
        SetCtrlAttribute(gRechnerPanel, kanal.uebernehmenButton, ATTR_LABEL_COLOR, kSchwarz);
    }
    const KalibrierKanal* kanal = KanalZumButton(&KalibrierKanal::holenButton, control);
    if (kanal == nullptr) return;
    SetCtrlAttribute(gRechnerPanel, kanal->holenButton, ATTR_LABEL_COLOR, kGruen);
    SetCtrlAttribute(gRechnerPanel, kanal->uebernehmenButton, ATTR_LABEL_COLOR, kGruen);
}

int Rechnerpanel_Callback(int panel, int event, void*, int, int) {
    if (event == EVENT_CLOSE) HidePanel(panel);
    return 0;
}

int RechnerZurueck_Callback(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) HidePanel(panel);
    return 0;
}

int RechnerEingabe_Callback(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) KalibrierdatenBerechnen();
    return 0;
}

int RechnerHolen_Callback(int, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) {
        RechnerbuttonsHervorheben(control);
        KalibrierdatenHolen(control);
    }
    return 0;
}

int RechnerUebernehmen_Callback(int, int control, int event, void*, int, int) {
    if (event == EVENT_COMMIT) KalibrierdatenUebernehmen(control);
    return 0;
}
