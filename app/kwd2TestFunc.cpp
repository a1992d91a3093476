// Device operations: connecting, live readout, output parameters and settings persistence.
// Every operation reads its inputs from the main panel, checks for an open port, passes driver
// codes on unchanged and stops at the first failing step.
#include "app/kwd2TestFunc.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "app/kwd2Test.h"
#include "driver/zelkwd2.h"
#include "ini/ini_store.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "trend/trend.h"
#include "ui/kwd2Steuerung.h"

namespace {

// Module state.
int gComPort = 0;  // open COM port 1..8, 0 = none
double gLetzteSpannung = 0.0;
double gLetzterStrom = 0.0;
IniDocument* gIniHandle = nullptr;
std::string gDateiPfad = ".";

constexpr double kPortTimeoutSeconds = 1.0;
constexpr int kIdPuffer = 32;
constexpr int kPfadPuffer = 260;

constexpr const char* kIniDatei = "kwd2steuerung.ini";
constexpr const char* kIniSektion = "KWD2Steuerung";

// Own codes of this module.
constexpr int kIdLesenOhnePort = -122201;
constexpr int kScannOhnePort = -122202;
constexpr int kLesenOhnePort = -122212;  // live readout and parameter readback share it
constexpr int kZeitOhnePort = -122219;
constexpr int kStartOhnePort = -122220;
constexpr int kStoppOhnePort = -122221;
constexpr int kLesenMitSammeladresse = -407000;
constexpr int kIniFormatfehler = -300203;
constexpr int kIniNichtLesbar = -2204;
constexpr int kIniNichtGeschrieben = -301205;
constexpr int kIniStoreFormatCode = -94;

constexpr int kSammeladresse = 9;
constexpr int kFarbeGruen = 0x00CC00;
constexpr int kFarbeRot = 0xFF0000;
constexpr const char* kKwd2Kennung = "ZEL-KWD2";

double ZahlLesen(int control) {
    double wert = 0.0;
    GetCtrlVal(gPanelHandle, control, &wert);
    return wert;
}

int GanzzahlLesen(int control) {
    int wert = 0;
    GetCtrlVal(gPanelHandle, control, &wert);
    return wert;
}

int Adresse() {
    return GanzzahlLesen(PANEL_KWDID);
}

// ---- Output parameters: one row per parameter set (1, 2, pulse phase) ----

enum Groesse { kSpannung, kStrom, kTauSpannung, kTauStrom, kAnzahlGroessen };

struct ParameterFeld {
    int control;
    const char* registerName;
};

struct ParameterSatz {
    std::array<ParameterFeld, kAnzahlGroessen> felder;
    int messbereichControl;
};

constexpr std::array<ParameterSatz, 3> kParameterSaetze{{
    {{{{PANEL_SPANNUNGSOLL, "usoll1"},
       {PANEL_STROMSOLL, "isoll1"},
       {PANEL_UTAU, "tauu1"},
       {PANEL_ITAU, "taui1"}}},
     PANEL_MESSBEREICH},
    {{{{PANEL_SPANNUNGSOLL2, "usoll2"},
       {PANEL_STROMSOLL2, "isoll2"},
       {PANEL_UTAU2, "tauu2"},
       {PANEL_ITAU2, "taui2"}}},
     PANEL_MESSBEREICH2},
    {{{{PANEL_SPANNUNGPULS, "usoll3"},
       {PANEL_STROMPULS, "isoll3"},
       {PANEL_UTAUPULS, "tauu3"},
       {PANEL_ITAUPULS, "taui3"}}},
     PANEL_MESSBEREICHPULS},
}};

// "Port not open" code of each write operation (the voltage Tau and the range share one).
constexpr int kMessbereichOhnePort = -122216;
constexpr std::array<int, kAnzahlGroessen> kSchreibenOhnePort{-122213, -122214, kMessbereichOhnePort,
                                                              -122215};

// Sets 2 and 3 select their own row; anything else acts as set 1.
int SatzNummer(int parameterSet) {
    return (parameterSet == 2 || parameterSet == 3) ? parameterSet : 1;
}

const ParameterSatz& Satz(int parameterSet) {
    return kParameterSaetze[SatzNummer(parameterSet) - 1];
}

// The common steps of every single-value write; remembers the value in *merker on success.
int WertSchreiben(const ParameterFeld& feld, int fehlerOhnePort, double* merker) {
    const double wert = ZahlLesen(feld.control);
    if (gComPort == 0) return fehlerOhnePort;
    const int fehler = ZELKWD2_ParameterSchreiben(gComPort, Adresse(), feld.registerName, wert);
    if (fehler != 0) return fehler;
    if (merker != nullptr) *merker = wert;
    return 0;
}

int GroesseSchreiben(int parameterSet, Groesse groesse, double* merker) {
    const ParameterFeld& feld = Satz(parameterSet).felder[groesse];
    const int fehler = WertSchreiben(feld, kSchreibenOhnePort[groesse], merker);
    // The trend window draws the set values of voltage and current.
    if (fehler == 0 && (groesse == kSpannung || groesse == kStrom)) {
        Trend_Sollwert(Adresse(), SatzNummer(parameterSet), groesse == kSpannung ? 0 : 1,
                       ZahlLesen(feld.control));
    }
    return fehler;
}

// ---- Parameter readback: sixteen steps in a fixed order ----

struct LeseSchritt {
    const char* registerName;  // nullptr: measuring range of `messbereichSatz`
    int messbereichSatz;
    int control;
};

constexpr std::array<LeseSchritt, 16> kLeseSchritte{{
    {"usoll1", 0, PANEL_SPANNUNGSOLL},
    {"isoll1", 0, PANEL_STROMSOLL},
    {"tauu1", 0, PANEL_UTAU},
    {"taui1", 0, PANEL_ITAU},
    {"usoll2", 0, PANEL_SPANNUNGSOLL2},
    {"isoll2", 0, PANEL_STROMSOLL2},
    {"tauu2", 0, PANEL_UTAU2},
    {"taui2", 0, PANEL_ITAU2},
    {nullptr, 1, PANEL_MESSBEREICH},
    {nullptr, 2, PANEL_MESSBEREICH2},
    {"usoll3", 0, PANEL_SPANNUNGPULS},
    {"isoll3", 0, PANEL_STROMPULS},
    {"tauu3", 0, PANEL_UTAUPULS},
    {"taui3", 0, PANEL_ITAUPULS},
    {"zeit3", 0, PANEL_ZEITPULS},
    {nullptr, 3, PANEL_MESSBEREICHPULS},
}};

int SchrittLesen(const LeseSchritt& schritt, int adresse) {
    if (schritt.registerName == nullptr) {
        int bereich = 0;
        const int fehler = ZELKWD2_MessbereichLesen(gComPort, adresse, schritt.messbereichSatz, &bereich);
        if (fehler == 0) SetCtrlVal(gPanelHandle, schritt.control, bereich);
        return fehler;
    }
    double wert = 0.0;
    const int fehler = ZELKWD2_ParameterLesen(gComPort, adresse, schritt.registerName, &wert);
    if (fehler != 0) return fehler;
    SetCtrlVal(gPanelHandle, schritt.control, wert);
    // Set values read back ("usoll1" ... "isoll3") feed the trend window like written ones.
    const std::string_view name = schritt.registerName;
    if (name.size() == 6 && name.substr(1, 4) == "soll" && (name[0] == 'u' || name[0] == 'i')) {
        Trend_Sollwert(adresse, name[5] - '0', name[0] == 'u' ? 0 : 1, wert);
    }
    return 0;
}

// ---- Settings: full-scale value of a meter ----

void SkalenendwertAnwenden(int eingabeControl, int anzeigeControl, double wert) {
    SetCtrlVal(gPanelHandle, eingabeControl, wert);
    // The control may have coerced the value into its range; the scale follows what it holds.
    SetCtrlAttribute(gPanelHandle, anzeigeControl, ATTR_MAX_VALUE, ZahlLesen(eingabeControl));
}

void GespeichertenPortOeffnen(int port) {
    SetCtrlVal(gPanelHandle, PANEL_PORT, port);
    gComPort = port;
    const int fehler = ZELKWD2_Open(port);
    if (fehler != 0) {
        ZELKWD2_Close(port);
        SetCtrlVal(gPanelHandle, PANEL_PORT, 0);
        gComPort = 0;
        FehlerSetzen(fehler);
        return;
    }
    ZELKWD2_Timeout(port, kPortTimeoutSeconds);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Connecting

int SelectComPort() {
    const int alterPort = gComPort;
    gComPort = GanzzahlLesen(PANEL_PORT);
    // Choosing the open port again reopens it when its line has gone meanwhile.
    if (gComPort == alterPort && (gComPort == 0 || Rs232_LineLost(gComPort) == 0)) return 0;

    if (gComPort != 0) {
        if (alterPort != 0) ZELKWD2_Close(alterPort);  // a failing close of the old port is ignored
        int fehler = ZELKWD2_Open(gComPort);
        if (fehler != 0) return fehler;  // the caller sets the ring back and closes again
        fehler = ZELKWD2_Timeout(gComPort, kPortTimeoutSeconds);
        return fehler;
    }
    return ZELKWD2_Close(alterPort);
}

int CloseComPort() {
    return gComPort != 0 ? ZELKWD2_Close(gComPort) : 0;
}

int VerlorenenPortSchliessen() {
    if (gComPort == 0 || Rs232_LineLost(gComPort) == 0) return 0;
    ZELKWD2_Close(gComPort);
    gComPort = 0;
    SetCtrlVal(gPanelHandle, PANEL_PORT, 0);
    return 1;
}

int IDLesen() {
    if (gComPort == 0) return kIdLesenOhnePort;
    SetCtrlVal(gPanelHandle, PANEL_IDSTRING, "");
    std::array<char, kIdPuffer> kennung{};
    const int fehler = ZELKWD2_IDLesen(gComPort, Adresse(), kennung.data());
    if (fehler != 0) return fehler;
    kennung.back() = '\0';
    SetCtrlVal(gPanelHandle, PANEL_IDSTRING, kennung.data());
    Trend_Kennung(Adresse(), kennung.data());
    return 0;
}

int Kwd2Scann() {
    std::string text = "Suche nach Ger\xe4t x";
    if (gComPort == 0) return kScannOhnePort;
    SetCtrlVal(gPanelHandle, PANEL_IDSTRING, "");

    for (int adresse = 0; adresse <= 8; ++adresse) {
        const int lampe = PANEL_LED0 + adresse;
        text.back() = static_cast<char>('0' + adresse);
        // The platform paints at once, so the operator sees which address is being tried.
        SetCtrlVal(gPanelHandle, PANEL_TEXT, text.c_str());

        std::array<char, kIdPuffer> kennung{};
        if (ZELKWD2_IDLesen(gComPort, adresse, kennung.data()) != 0) {
            SetCtrlVal(gPanelHandle, lampe, 0);  // nothing (usable) answered; colour stays
            continue;
        }
        kennung.back() = '\0';
        Trend_Kennung(adresse, kennung.data());
        const bool istKwd2 = std::strncmp(kennung.data(), kKwd2Kennung, std::strlen(kKwd2Kennung)) == 0;
        SetCtrlAttribute(gPanelHandle, lampe, ATTR_ON_COLOR, istKwd2 ? kFarbeGruen : kFarbeRot);
        SetCtrlVal(gPanelHandle, lampe, 1);
        if (istKwd2) {
            SetCtrlVal(gPanelHandle, PANEL_KWDID, adresse);
            SetCtrlVal(gPanelHandle, PANEL_IDSTRING, kennung.data());
        }
    }
    SetCtrlVal(gPanelHandle, PANEL_TEXT, "");
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Live readout

int KwdLesen() {
    if (GanzzahlLesen(PANEL_MESSEN) == 0) return 0;
    const int adresse = Adresse();
    if (adresse == kSammeladresse) {
        // Measured values cannot come from all devices at once: measuring simply stops.
        SetCtrlVal(gPanelHandle, PANEL_MESSEN, 0);
        return 0;
    }
    if (gComPort == 0) return kLesenOhnePort;

    double spannung = 0.0;
    int fehler = ZELKWD2_ParameterLesen(gComPort, adresse, "uist", &spannung);
    if (fehler != 0) return fehler;
    SetCtrlVal(gPanelHandle, PANEL_SPANNUNG, spannung);

    double strom = 0.0;
    fehler = ZELKWD2_ParameterLesen(gComPort, adresse, "iist", &strom);
    if (fehler != 0) return fehler;
    SetCtrlVal(gPanelHandle, PANEL_STROM, strom);

    int status = 0;
    fehler = ZELKWD2_StatusLesen(gComPort, adresse, 1, &status);
    if (fehler != 0) return fehler;
    StatusLedsSetzen(status);
    Trend_Messwert(adresse, spannung, strom, status);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Output parameters

int USchreiben(int parameterSet) {
    return GroesseSchreiben(parameterSet, kSpannung, &gLetzteSpannung);
}

int ISchreiben(int parameterSet) {
    return GroesseSchreiben(parameterSet, kStrom, &gLetzterStrom);
}

int UTauSchreiben(int parameterSet) {
    return GroesseSchreiben(parameterSet, kTauSpannung, nullptr);
}

int ITauSchreiben(int parameterSet) {
    return GroesseSchreiben(parameterSet, kTauStrom, nullptr);
}

int MessbereichSchreiben(int parameterSet) {
    const int satz = SatzNummer(parameterSet);
    const int bereich = GanzzahlLesen(Satz(satz).messbereichControl);
    if (gComPort == 0) return kMessbereichOhnePort;
    return ZELKWD2_MessbereichSchreiben(gComPort, Adresse(), satz, bereich);
}

int ZeitSchreiben() {
    return WertSchreiben({PANEL_ZEITPULS, "zeit3"}, kZeitOhnePort, nullptr);
}

int ParameterLesen() {
    const int adresse = Adresse();
    if (adresse == kSammeladresse) return kLesenMitSammeladresse;
    if (gComPort == 0) return kLesenOhnePort;
    for (const LeseSchritt& schritt : kLeseSchritte) {
        const int fehler = SchrittLesen(schritt, adresse);
        if (fehler != 0) return fehler;
    }
    return 0;
}

int Kwd2Start() {
    const int adresse = Adresse();
    if (gComPort == 0) return kStartOhnePort;
    return ZELKWD2_DeviceFunction(gComPort, adresse, "start");
}

int Kwd2Stopp() {
    const int adresse = Adresse();
    if (gComPort == 0) return kStoppOhnePort;
    return ZELKWD2_DeviceFunction(gComPort, adresse, "stopp");
}

// ---------------------------------------------------------------------------------------------
// Settings file

namespace {

// One stored setting. A number is taken only when `nehmen` accepts it (otherwise the panel keeps
// its default, which is then written back); rows without `nehmen` are written only. The text row
// falls back to `standard` when the file has no usable value.
struct Einstellung {
    enum class Art { kGanzzahl, kZahl, kText };
    const char* schluessel;
    Art art;
    void (*nehmen)(double wert);
    double (*zahl)();
    const char* standard;
};

// A full scale of zero, below zero or not finite makes no scale.
bool Endwert(double wert) {
    return std::isfinite(wert) && wert > 0;
}

// In the order the file holds them.
const std::array<Einstellung, 7> kEinstellungen{{
    {"ComPort", Einstellung::Art::kGanzzahl,
     [](double port) {
         if (port >= 1 && port <= 8) GespeichertenPortOeffnen(static_cast<int>(port));
     },
     [] { return static_cast<double>(GanzzahlLesen(PANEL_PORT)); }, nullptr},
    {"KwdId", Einstellung::Art::kGanzzahl,
     [](double adresse) {
         if (adresse >= 0 && adresse <= 9) SetCtrlVal(gPanelHandle, PANEL_KWDID, static_cast<int>(adresse));
     },
     [] { return static_cast<double>(Adresse()); }, nullptr},
    {"Spannung", Einstellung::Art::kZahl, nullptr, [] { return gLetzteSpannung; }, nullptr},
    {"Strom", Einstellung::Art::kZahl, nullptr, [] { return gLetzterStrom; }, nullptr},
    {"umax", Einstellung::Art::kZahl,
     [](double wert) {
         if (Endwert(wert)) SkalenendwertAnwenden(PANEL_UENDWERT, PANEL_SPANNUNG, wert);
     },
     [] { return ZahlLesen(PANEL_UENDWERT); }, nullptr},
    {"imax", Einstellung::Art::kZahl,
     [](double wert) {
         if (Endwert(wert)) SkalenendwertAnwenden(PANEL_IENDWERT, PANEL_STROM, wert);
     },
     [] { return ZahlLesen(PANEL_IENDWERT); }, nullptr},
    {"path", Einstellung::Art::kText, nullptr, nullptr, "."},
}};

void EinstellungLaden(const Einstellung& e) {
    using Art = Einstellung::Art;
    if (e.art == Art::kText) {
        std::array<char, kPfadPuffer> pfad{};
        const bool da =
            Ini_GetRawStringIntoBuffer(gIniHandle, kIniSektion, e.schluessel, pfad.data(), kPfadPuffer) > 0;
        pfad.back() = '\0';
        gDateiPfad = da ? pfad.data() : e.standard;
        return;
    }
    int ganz = 0;
    double wert = 0.0;
    const bool da = e.art == Art::kGanzzahl ? Ini_GetInt(gIniHandle, kIniSektion, e.schluessel, &ganz) > 0
                                            : Ini_GetDouble(gIniHandle, kIniSektion, e.schluessel, &wert) > 0;
    if (da && e.nehmen != nullptr) e.nehmen(e.art == Art::kGanzzahl ? ganz : wert);
}

void EinstellungSchreiben(const Einstellung& e) {
    if (e.art == Einstellung::Art::kGanzzahl) {
        Ini_PutInt(gIniHandle, kIniSektion, e.schluessel, static_cast<int>(e.zahl()));
    } else if (e.art == Einstellung::Art::kZahl) {
        Ini_PutDouble(gIniHandle, kIniSektion, e.schluessel, e.zahl());
    } else {
        Ini_PutRawString(gIniHandle, kIniSektion, e.schluessel, gDateiPfad.c_str());
    }
}

}  // namespace

int LoadIni() {
    gIniHandle = Ini_New(1);
    const int gelesen = Ini_ReadFromFile(gIniHandle, kIniDatei);
    if (gelesen != 0) return gelesen == kIniStoreFormatCode ? kIniFormatfehler : kIniNichtLesbar;
    for (const Einstellung& e : kEinstellungen) EinstellungLaden(e);
    return 0;
}

int WriteIni() {
    // Normally LoadIni created the document; without it the settings are still saved.
    if (gIniHandle == nullptr) gIniHandle = Ini_New(1);
    for (const Einstellung& e : kEinstellungen) EinstellungSchreiben(e);
    if (Ini_WriteToFile(gIniHandle, kIniDatei) < 0) return kIniNichtGeschrieben;
    Ini_Dispose(gIniHandle);
    gIniHandle = nullptr;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Module state

int KwdTestFunc_ComPort() {
    return gComPort;
}
double KwdTestFunc_LetzteSpannung() {
    return gLetzteSpannung;
}
double KwdTestFunc_LetzterStrom() {
    return gLetzterStrom;
}
const char* KwdTestFunc_DateiPfad() {
    return gDateiPfad.c_str();
}

int KwdTestFunc_Adresse() {
    return Adresse();
}

void KwdTestFunc_DateiPfadSetzen(const char* verzeichnis) {
    // Same bound as the settings buffer, so a stored path always reads back whole.
    gDateiPfad.assign(verzeichnis != nullptr ? verzeichnis : ".");
    if (gDateiPfad.size() >= kPfadPuffer) gDateiPfad.resize(kPfadPuffer - 1);
}
