#include "app/kwd2Test.h"

#include <array>
#include <cstring>

#include "app/kwd2TestFunc.h"
#include "app/startoptionen.h"
#include "calc/Kalibrierrechner.h"
#include "errors/ZEL_errorV3.h"
#include "platform/userint.h"
#include "trend/trend.h"
#include "ui/kwd2Steuerung.h"

int gPanelHandle = 0;
int gRechnerPanelHandle = 0;
int gKalibrierModus = 0;

namespace {

// The code the running callback got from its operation; every callback overwrites it first.
int gFehlerCode = 0;

constexpr const char* kUiDatei = "kwd2Steuerung.ui";
constexpr const char* kZugangsCode = kalibrierung::kZugangsCode;
constexpr const char* kTitel = "KWD2-Steuerung V1.5";
constexpr int kAlibrierBreite = 870;

// Which write a committed parameter control triggers, and for which parameter set
// (1, 2, or 3 = pulse phase).
struct ParameterZiel {
    int control;
    int (*schreiben)(int parameterSet);
    int parameterSatz;
};

int ZeitpulsSchreiben(int) {
    // The dimming follows the panel even when the device write then fails.
    PulscontrollsDimmen();
    return ZeitSchreiben();
}

constexpr std::array<ParameterZiel, 16> kParameterZiele{{
    {PANEL_SPANNUNGSOLL, USchreiben, 1},
    {PANEL_STROMSOLL, ISchreiben, 1},
    {PANEL_UTAU, UTauSchreiben, 1},
    {PANEL_ITAU, ITauSchreiben, 1},
    {PANEL_MESSBEREICH, MessbereichSchreiben, 1},
    {PANEL_SPANNUNGSOLL2, USchreiben, 2},
    {PANEL_STROMSOLL2, ISchreiben, 2},
    {PANEL_UTAU2, UTauSchreiben, 2},
    {PANEL_ITAU2, ITauSchreiben, 2},
    {PANEL_MESSBEREICH2, MessbereichSchreiben, 2},
    {PANEL_SPANNUNGPULS, USchreiben, 3},
    {PANEL_STROMPULS, ISchreiben, 3},
    {PANEL_UTAUPULS, UTauSchreiben, 3},
    {PANEL_ITAUPULS, ITauSchreiben, 3},
    {PANEL_MESSBEREICHPULS, MessbereichSchreiben, 3},
    {PANEL_ZEITPULS, ZeitpulsSchreiben, 3},
}};

bool IstKalibrierZugang(int argc, char* argv[]) {
    return argc == 2 && argv != nullptr && argv[1] != nullptr && std::strcmp(argv[1], kZugangsCode) == 0;
}

// Measuring off (without running Messen), port closed, settings saved, event loop left. The
// output of the device keeps its state: no stop command is sent.
void ProgrammBeenden() {
    SetCtrlVal(gPanelHandle, PANEL_MESSEN, 0);
    CloseComPort();
    WriteIni();
    QuitUserInterface(0);
}

// The trend window's value axes start at the meters' full-scale values.
void SkalenendwerteMelden() {
    double spannung = 0.0;
    double strom = 0.0;
    GetCtrlVal(gPanelHandle, PANEL_UENDWERT, &spannung);
    GetCtrlVal(gPanelHandle, PANEL_IENDWERT, &strom);
    Trend_Skalenendwerte(spannung, strom);
}

// The four calibration-data buttons: only in calibration mode, failures as a popup.
int KalibrierOperation(int event, int (*operation)()) {
    if (event != EVENT_COMMIT || gKalibrierModus == 0) return 0;
    gFehlerCode = operation();
    if (gFehlerCode != 0) ZEL_Fehlerpopup(gFehlerCode);
    VerlorenenPortSchliessen();
    return 0;
}

// Operations whose result always goes to the error display, which a success clears. A line found
// gone is closed only after its error shows, so that the ring's "not open" has its reason on screen.
int AnzeigeOperation(int event, int (*operation)()) {
    if (event != EVENT_COMMIT) return 0;
    gFehlerCode = operation();
    FehlerSetzen(gFehlerCode);
    VerlorenenPortSchliessen();
    return 0;
}

}  // namespace

void CallbacksRegistrieren() {
    struct CtrlEintrag {
        const char* name;
        CtrlCallbackPtr funktion;
    };
    static constexpr std::array<CtrlEintrag, 18> kCtrlCallbacks{{
        {"Ende", Ende},
        {"PortSelect", PortSelect},
        {"Scann_Callback", Scann_Callback},
        {"IdLesen_Callback", IdLesen_Callback},
        {"Skalenendwerte_Callback", Skalenendwerte_Callback},
        {"Messen", Messen},
        {"TimerCb", TimerCb},
        {"Parameter_Callback", Parameter_Callback},
        {"ParameterLesen_Callback", ParameterLesen_Callback},
        {"Kwd2Start_Callback", Kwd2Start_Callback},
        {"Kwd2Stopp_Callback", Kwd2Stopp_Callback},
        {"Kalibrierparameter_Callback", Kalibrierparameter_Callback},
        {"KwdLesen_Callback", KwdLesen_Callback},
        {"KwdSchreiben_Callback", KwdSchreiben_Callback},
        {"DateiSpeichern_Callback", DateiSpeichern_Callback},
        {"DateiLaden_Callback", DateiLaden_Callback},
        {"Kalibrierrechner_Callback", Kalibrierrechner_Callback},
        {"Verlauf_Callback", Verlauf_Callback},
    }};
    for (const CtrlEintrag& eintrag : kCtrlCallbacks) RegisterCtrlCallback(eintrag.name, eintrag.funktion);
    RegisterPanelCallback("Panel_Callback", Panel_Callback);
    Kalibrierrechner_CallbacksRegistrieren();
}

int ProgrammStarten(int argc, char* argv[]) {
    if (InitRunTimeEngine(nullptr, argv, nullptr) == 0) return -1;
    RegisterKwd2SteuerungResource();
    CallbacksRegistrieren();

    gPanelHandle = LoadPanel(0, kUiDatei, PANEL);
    if (gPanelHandle < 0) return -1;
    gRechnerPanelHandle = LoadPanel(0, kUiDatei, RECHNERPNL);
    if (gRechnerPanelHandle < 0) return -1;
    Kalibrierrechner_SetPanels(gPanelHandle, gRechnerPanelHandle);

    gKalibrierModus = 0;
    if (IstKalibrierZugang(argc, argv)) {
        gKalibrierModus = 1;
        SetPanelAttribute(gPanelHandle, ATTR_WIDTH, kAlibrierBreite);
    } else {
        KalibrierparameterAusblenden();
    }

    SetPanelAttribute(gPanelHandle, ATTR_SYSTEM_LOOK, 1);
    SetPanelAttribute(gRechnerPanelHandle, ATTR_SYSTEM_LOOK, 1);
    SetPanelAttribute(gPanelHandle, ATTR_TITLE, kTitel);
    SetCtrlVal(gPanelHandle, PANEL_TEXT, "");
    PulscontrollsDimmen();
    DisplayPanel(gPanelHandle);
    Trend_Anbinden(FehlerSetzen, KwdTestFunc_ComPort);
    // A missing settings file is normal on first start; LoadIni shows what matters by itself.
    LoadIni();
    SkalenendwerteMelden();
    // After LoadIni, so the log's header names the port it opened.
    if (const char* datei = StartOptionen_Aufzeichnung(); datei != nullptr) Trend_Aufzeichnen(datei);
    return 0;
}

int Panel_Callback(int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) ProgrammBeenden();
    return 0;
}

int Ende(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) ProgrammBeenden();
    return 0;
}

int PortSelect(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    gFehlerCode = SelectComPort();
    if (gFehlerCode != 0) {
        // Back to "not open": the second selection closes a port left half-opened. Its own
        // result is of no interest; the first error stays shown.
        SetCtrlVal(gPanelHandle, PANEL_PORT, 0);
        SelectComPort();
    }
    FehlerSetzen(gFehlerCode);
    return 0;
}

int Scann_Callback(int, int, int event, void*, int, int) {
    return AnzeigeOperation(event, Kwd2Scann);
}

int IdLesen_Callback(int, int, int event, void*, int, int) {
    return AnzeigeOperation(event, IDLesen);
}

int Skalenendwerte_Callback(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SetActiveCtrl(panel, control);
    int anzeige = 0;
    if (control == PANEL_UENDWERT) {
        anzeige = PANEL_SPANNUNG;
    } else if (control == PANEL_IENDWERT) {
        anzeige = PANEL_STROM;
    } else {
        return 0;
    }
    double endwert = 0.0;
    GetCtrlVal(gPanelHandle, control, &endwert);
    SetCtrlAttribute(gPanelHandle, anzeige, ATTR_MAX_VALUE, endwert);
    SkalenendwerteMelden();
    return 0;
}

int Messen(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    AnzeigenAufSoll();
    StatusLedsDimmen();
    FehlerSetzen(0);
    int messen = 0;
    GetCtrlVal(gPanelHandle, PANEL_MESSEN, &messen);
    Trend_Messen(messen);
    return 0;
}

int TimerCb(int, int, int event, void*, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    gFehlerCode = KwdLesen();
    if (gFehlerCode != 0) {
        // No retry: polling stays off until the operator switches measuring on again.
        FehlerSetzen(gFehlerCode);
        SetCtrlVal(gPanelHandle, PANEL_MESSEN, 0);
        StatusLedsDimmen();
        // Last: should the recording of this tick fail as well, its code is the one shown.
        Trend_Fehlmessung(KwdTestFunc_Adresse(), gFehlerCode);
        // A pulled adapter: choosing the port again opens it once it is back.
        VerlorenenPortSchliessen();
    }
    // Measuring may have stopped by itself (a failure, or the address "alle"): the curve breaks.
    int messen = 0;
    GetCtrlVal(gPanelHandle, PANEL_MESSEN, &messen);
    if (messen == 0) Trend_Messen(0);
    return 0;
}

int Parameter_Callback(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    SetActiveCtrl(panel, control);
    for (const ParameterZiel& ziel : kParameterZiele) {
        if (ziel.control == control) {
            gFehlerCode = ziel.schreiben(ziel.parameterSatz);
            FehlerSetzen(gFehlerCode);
            VerlorenenPortSchliessen();
            break;
        }
    }
    return 0;
}

int ParameterLesen_Callback(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    gFehlerCode = ParameterLesen();
    PulscontrollsDimmen();
    if (gFehlerCode != 0) ZEL_Fehlerpopup(gFehlerCode);
    VerlorenenPortSchliessen();
    return 0;
}

int Kwd2Start_Callback(int, int, int event, void*, int, int) {
    return AnzeigeOperation(event, Kwd2Start);
}

int Kwd2Stopp_Callback(int, int, int event, void*, int, int) {
    return AnzeigeOperation(event, Kwd2Stopp);
}

int Kalibrierparameter_Callback(int panel, int control, int event, void*, int, int) {
    // The values take effect only when written to the device or saved.
    if (event == EVENT_COMMIT) SetActiveCtrl(panel, control);
    return 0;
}

int KwdLesen_Callback(int, int, int event, void*, int, int) {
    return KalibrierOperation(event, Kwd2Lesen);
}

int KwdSchreiben_Callback(int, int, int event, void*, int, int) {
    return KalibrierOperation(event, Kwd2Schreiben);
}

int DateiSpeichern_Callback(int, int, int event, void*, int, int) {
    return KalibrierOperation(event, DateiSchreiben);
}

int DateiLaden_Callback(int, int, int event, void*, int, int) {
    return KalibrierOperation(event, DateiLesen);
}

int Kalibrierrechner_Callback(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || gKalibrierModus == 0) return 0;
    RechnerbuttonsHervorheben(-1);
    DisplayPanel(gRechnerPanelHandle);
    return 0;
}

int Verlauf_Callback(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) Trend_Anzeigen();
    return 0;
}
