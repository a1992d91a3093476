// Calibration data: the twenty factors between device, panel and "*.kwd" files.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "driver/zelkwd2.h"
#include "platform/formatio.h"
#include "platform/safefile.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "ui/kwd2Steuerung.h"

namespace {

static_assert(std::tuple_size_v<decltype(kalibrierung::kRegister)> == kKalibrierFaktoren,
              "one calibration register per factor of the panel");

constexpr int kLesenOhnePort = -122217;
constexpr int kSchreibenOhnePort = -122218;
constexpr int kDateiNichtZuOeffnenSchreiben = -308206;
constexpr int kDateiNichtGeschrieben = -301207;
constexpr int kDateiNichtZuOeffnenLesen = -308208;
constexpr int kDateiZuKurz = -304209;
constexpr int kDateiFalscherTyp = -302210;
constexpr int kDateiFalscheVersion = -303211;

using kalibrierung::Datei;
using kalibrierung::Deserialisieren;
using kalibrierung::KennungStimmt;
using kalibrierung::kKennung;
using kalibrierung::kVersion;
using kalibrierung::Serialisieren;

constexpr int kPfadPuffer = 260;

struct Dateiwahl {
    std::string pfad;  // empty when cancelled
    bool zuLang = false;
};

// Opens the file dialog in the remembered directory. A chosen file's drive and directory become
// the remembered directory before anything is read or written. A path that does not fit the
// buffer is refused whole: cut, it would name another file.
Dateiwahl DateiWaehlen(const char* titel, int knopf) {
    std::array<char, kPfadPuffer> pfad{};
    const int ergebnis =
        FileSelectPopup(KwdTestFunc_DateiPfad(), "*.kwd", "*.kwd", titel, knopf, 0, 1, 1, 1, pfad.data());
    if (ergebnis == UIE_PATH_TOO_LONG) return {{}, true};
    if (ergebnis <= VAL_NO_FILE_SELECTED) return {};
    pfad.back() = '\0';
    std::array<char, kPfadPuffer> laufwerk{};
    std::array<char, kPfadPuffer> verzeichnis{};
    SplitPath(pfad.data(), laufwerk.data(), verzeichnis.data(), nullptr);
    KwdTestFunc_DateiPfadSetzen((std::string(laufwerk.data()) + verzeichnis.data()).c_str());
    return {pfad.data(), false};
}

// Replaces the file only when the new one is complete on disk, so a failed save never leaves a
// half-written file in place of a good one; a link is written through.
int DateiErsetzen(const std::string& ziel, const Datei& inhalt) {
    using Schritt = platform::SafeFileStep;
    const platform::SafeFileResult r = platform::SafeFile_Replace(ziel, {}, inhalt.data(), inhalt.size());
    if (r.ok) return 0;
    const bool nichtZuOeffnen =
        r.step == Schritt::kInspect || r.step == Schritt::kCheckTarget || r.step == Schritt::kCreateTemp;
    return nichtZuOeffnen ? kDateiNichtZuOeffnenSchreiben : kDateiNichtGeschrieben;
}

}  // namespace

void KalibrierfelderLesen(Kalibrierdatensatz* datensatz) {
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        GetCtrlVal(gPanelHandle, KalibrierFaktorControl(i), &datensatz->faktoren[i]);
    }
}

void KalibrierfelderSetzen(const Kalibrierdatensatz* datensatz) {
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        SetCtrlVal(gPanelHandle, KalibrierFaktorControl(i), datensatz->faktoren[i]);
    }
}

int Kwd2Lesen() {
    const int adresse = KwdTestFunc_Adresse();
    if (KwdTestFunc_ComPort() == 0) return kLesenOhnePort;
    // Collected first, shown only when all twenty arrived: the panel never holds a mixed set.
    Kalibrierdatensatz satz{};
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        const int fehler = ZELKWD2_ParameterLesen(KwdTestFunc_ComPort(), adresse, kalibrierung::kRegister[i],
                                                  &satz.faktoren[i]);
        if (fehler != 0) return fehler;
    }
    KalibrierfelderSetzen(&satz);
    return 0;
}

int Kwd2Schreiben() {
    const int adresse = KwdTestFunc_Adresse();
    if (KwdTestFunc_ComPort() == 0) return kSchreibenOhnePort;
    Kalibrierdatensatz satz{};
    KalibrierfelderLesen(&satz);
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        const int fehler = ZELKWD2_ParameterSchreiben(KwdTestFunc_ComPort(), adresse,
                                                      kalibrierung::kRegister[i], satz.faktoren[i]);
        if (fehler != 0) return fehler;
    }
    return 0;
}

int DateiSchreiben() {
    const Dateiwahl wahl = DateiWaehlen("Kalibrierdaten speichern", VAL_SAVE_BUTTON);
    if (wahl.zuLang) return kDateiNichtZuOeffnenSchreiben;
    if (wahl.pfad.empty()) return 0;
    Kalibrierdatensatz satz{};
    KalibrierfelderLesen(&satz);
    return KalibrierdateiSchreiben(wahl.pfad.c_str(), &satz);
}

int KalibrierdateiSchreiben(const char* pfad, const Kalibrierdatensatz* datensatz) {
    Kalibrierdatensatz satz = *datensatz;
    std::strncpy(satz.kennung, kKennung, sizeof satz.kennung);
    satz.version = kVersion;
    return DateiErsetzen(pfad, Serialisieren(satz));
}

int DateiLesen() {
    const Dateiwahl wahl = DateiWaehlen("Kalibrierdaten laden", VAL_LOAD_BUTTON);
    if (wahl.zuLang) return kDateiNichtZuOeffnenLesen;
    if (wahl.pfad.empty()) return 0;
    const std::string& pfad = wahl.pfad;
    const int datei = OpenFile(pfad.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    if (datei == -1) return kDateiNichtZuOeffnenLesen;

    Datei inhalt{};
    const int gelesen =
        ReadFile(datei, reinterpret_cast<char*>(inhalt.data()), static_cast<int>(inhalt.size()));
    int fehler = 0;
    Kalibrierdatensatz satz{};
    if (gelesen != static_cast<int>(inhalt.size())) {
        fehler = kDateiZuKurz;
    } else {
        satz = Deserialisieren(inhalt);
        if (!KennungStimmt(satz)) {
            fehler = kDateiFalscherTyp;
        } else if (satz.version != kVersion) {
            fehler = kDateiFalscheVersion;
        }
    }
    CloseFile(datei);
    if (fehler != 0) return fehler;
    KalibrierfelderSetzen(&satz);
    return 0;
}
