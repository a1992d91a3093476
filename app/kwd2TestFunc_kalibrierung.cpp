// Calibration data: the twenty factors between device, panel and "*.kwd" files.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "driver/zelkwd2.h"
#include "platform/formatio.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "ui/kwd2Steuerung.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

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

struct DateiSchliesser {
    void operator()(std::FILE* datei) const {
        if (datei != nullptr) std::fclose(datei);
    }
};

bool AufDatentraeger(std::FILE* datei) {
#if defined(_WIN32)
    return _commit(_fileno(datei)) == 0;
#else
    return fsync(fileno(datei)) == 0;
#endif
}

void VerzeichnisSichern([[maybe_unused]] const std::filesystem::path& verzeichnis) {
#if !defined(_WIN32)
    // Makes the rename itself durable; a failure here leaves a complete file either way.
    const int fd = open(verzeichnis.empty() ? "." : verzeichnis.string().c_str(), O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
#endif
}

// What could not be opened for writing in place must not be replaced by a rename either: a
// write-protected file or a directory. The probe neither creates nor truncates anything.
bool InPlatzNichtBeschreibbar(const std::filesystem::path& ziel) {
#if defined(_WIN32)
    const int fd = _open(ziel.string().c_str(), _O_WRONLY | _O_BINARY);
    if (fd >= 0) _close(fd);
#else
    // Non-blocking, so a named pipe without a reader cannot hang the panel.
    const int fd = open(ziel.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) close(fd);
#endif
    return fd < 0 && errno != ENOENT;
}

std::filesystem::path TempName(const std::filesystem::path& ziel, int versuch) {
    std::filesystem::path temp = ziel;
    temp += versuch == 0 ? std::string(".tmp") : ".tmp" + std::to_string(versuch);
    return temp;
}

// The file beside the target ("name.tmp", "name.tmp1", ...), taken by exclusive creation or link,
// so that a file of the operator's that happens to carry such a name is never overwritten.
// Where the system allows, it has no name while it is written, so a save killed half-way leaves
// nothing behind; `temp` stays empty until TempDateiBenennen names it.
std::FILE* TempDateiAnlegen(const std::filesystem::path& ziel, std::filesystem::path& temp) {
    temp.clear();
#if defined(O_TMPFILE)
    if (access("/proc/self/fd", X_OK) == 0) {
        const std::filesystem::path verzeichnis = ziel.parent_path().empty() ? "." : ziel.parent_path();
        const int fd = open(verzeichnis.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (std::FILE* datei = fdopen(fd, "wb")) return datei;
            close(fd);
            return nullptr;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return nullptr;
    }
#endif
    for (int versuch = 0; versuch < 100; ++versuch) {
        temp = TempName(ziel, versuch);
        if (std::FILE* datei = std::fopen(temp.string().c_str(), "wbx")) return datei;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

bool TempDateiBenennen([[maybe_unused]] std::FILE* datei, [[maybe_unused]] const std::filesystem::path& ziel,
                       std::filesystem::path& temp) {
    if (!temp.empty()) return true;
#if !defined(_WIN32)
    const std::string selbst = "/proc/self/fd/" + std::to_string(fileno(datei));
    for (int versuch = 0; versuch < 100; ++versuch) {
        const std::filesystem::path name = TempName(ziel, versuch);
        if (linkat(AT_FDCWD, selbst.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp = name;
            return true;
        }
        if (errno != EEXIST) return false;
    }
#endif
    return false;
}

// Writes the file beside the target and renames it over the target only when it is complete
// on disk, so a failed save never leaves a half-written file in place of a good one.
int DateiErsetzen(const std::string& ziel, const Datei& inhalt) {
    std::error_code ignoriert;
    std::filesystem::path zielPfad(ziel);
    // A link is written through, as an in-place write would, instead of being replaced.
    if (std::filesystem::is_symlink(zielPfad, ignoriert)) {
        std::error_code fehler;
        const std::filesystem::path aufgeloest = std::filesystem::weakly_canonical(zielPfad, fehler);
        if (!fehler) zielPfad = aufgeloest;
    }
    if (InPlatzNichtBeschreibbar(zielPfad)) return kDateiNichtZuOeffnenSchreiben;
    std::filesystem::path temp;
    std::unique_ptr<std::FILE, DateiSchliesser> datei(TempDateiAnlegen(zielPfad, temp));
    if (!datei) return kDateiNichtZuOeffnenSchreiben;
    // A replaced file keeps its access rights.
    const auto zielStatus = std::filesystem::status(zielPfad, ignoriert);
    if (std::filesystem::exists(zielStatus)) {
#if defined(_WIN32)
        std::filesystem::permissions(temp, zielStatus.permissions(), ignoriert);
#else
        (void)fchmod(fileno(datei.get()), static_cast<mode_t>(zielStatus.permissions()));
#endif
    }
    const bool geschrieben = std::fwrite(inhalt.data(), 1, inhalt.size(), datei.get()) == inhalt.size() &&
                             std::fflush(datei.get()) == 0 && AufDatentraeger(datei.get()) &&
                             TempDateiBenennen(datei.get(), zielPfad, temp);
    const bool geschlossen = std::fclose(datei.release()) == 0;
    if (!geschrieben || !geschlossen) {
        if (!temp.empty()) std::filesystem::remove(temp, ignoriert);
        return kDateiNichtGeschrieben;
    }
    std::error_code fehler;
    std::filesystem::rename(temp, zielPfad, fehler);
    if (fehler) {
        std::filesystem::remove(temp, ignoriert);
        return kDateiNichtGeschrieben;
    }
    VerzeichnisSichern(zielPfad.parent_path());
    return 0;
}

}  // namespace

void KalibrierfelderLesen(Kalibrierdatensatz* datensatz) {
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        GetCtrlVal(panelHandle, KalibrierFaktorControl(i), &datensatz->faktoren[i]);
    }
}

void KalibrierfelderSetzen(const Kalibrierdatensatz* datensatz) {
    for (std::size_t i = 0; i < kKalibrierFaktoren; ++i) {
        SetCtrlVal(panelHandle, KalibrierFaktorControl(i), datensatz->faktoren[i]);
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
