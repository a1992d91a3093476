#include "app/startoptionen.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#ifndef KWD2_VERSION
#error "KWD2_VERSION comes from the build (the project version)"
#endif

namespace {

// Exit statuses of options that cannot be carried out.
constexpr int kStatusUnbrauchbar = 1;
constexpr int kStatusAufruf = 2;

struct StartOption {
    const char* name;
    const char* wert;  // what the option's value is called in the help, nullptr for none
    const char* hilfe;
    // START_WEITER, or the exit status; `wert` is the option's value or nullptr.
    int (*ausfuehren)(const char* wert, std::ostream& ausgabe, std::ostream& fehler);
};

int Version(const char*, std::ostream& ausgabe, std::ostream&) {
    ausgabe << "kwd2steuerung " KWD2_VERSION "\n";
    return 0;
}

// Started from the desktop menu the working directory is the home directory: the settings
// go to a directory of their own there instead, the same one on every start.
int BenutzerEinstellungen(const char*, std::ostream&, std::ostream& fehler) {
    namespace fs = std::filesystem;
    fs::path basis;
    // Relative values are to be ignored, as the base-directory convention says.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        basis = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        basis = fs::path(home) / ".config";
    } else {
        fehler << "kwd2steuerung: --user-config: neither XDG_CONFIG_HOME nor HOME names a directory\n";
        return kStatusUnbrauchbar;
    }
    const fs::path verzeichnis = basis / "kwd2steuerung";
    std::error_code problem;
    if (fs::create_directories(verzeichnis, problem)) {
        fs::permissions(verzeichnis, fs::perms::owner_all, problem);
    }
    if (!problem) fs::current_path(verzeichnis, problem);
    if (problem) {
        fehler << "kwd2steuerung: --user-config: " << verzeichnis.string() << ": " << problem.message()
               << "\n";
        return kStatusUnbrauchbar;
    }
    return START_WEITER;
}

// The working directory the program was started in: --user-config may change it before a
// relative --record name is looked at, which still means a file where the user typed it.
std::filesystem::path gStartVerzeichnis;
std::string gAufzeichnungsDatei;

// Only noted here: recording starts once the window and the port are there.
int Aufzeichnen(const char* wert, std::ostream&, std::ostream& fehler) {
    if (std::string_view(wert).empty()) {
        fehler << "kwd2steuerung: --record needs a file name\n";
        return kStatusAufruf;
    }
    gAufzeichnungsDatei = (gStartVerzeichnis / wert).string();
    return START_WEITER;
}

int Hilfe(const char*, std::ostream& ausgabe, std::ostream&);

constexpr std::array<StartOption, 4> kOptionen{{
    {"--record", "FILE",
     "record every reading of the live readout into FILE\n"
     "(CSV, appended when it exists), from the start on",
     Aufzeichnen},
    {"--user-config", nullptr,
     "keep the settings file kwd2steuerung.ini in\n"
     "$XDG_CONFIG_HOME/kwd2steuerung (~/.config/kwd2steuerung),\n"
     "created when missing, instead of the working directory",
     BenutzerEinstellungen},
    {"--help", nullptr, "print this help and exit", Hilfe},
    {"--version", nullptr, "print the version and exit", Version},
}};

int Hilfe(const char*, std::ostream& ausgabe, std::ostream&) {
    ausgabe << "Usage: kwd2steuerung [OPTION]... [ACCESS-CODE]\n"
               "Controls KWD2 programmable voltage and current sources on an RS-232 line.\n"
               "The calibration access code as the only argument left after the options\n"
               "starts calibration mode.\n\nOptions:\n";
    for (const StartOption& option : kOptionen) {
        std::string kopf = std::string("  ") + option.name;
        if (option.wert != nullptr) kopf += std::string(" ") + option.wert;
        ausgabe << kopf;
        // Continuation lines of the help text line up under its first line.
        std::string_view text = option.hilfe;
        for (std::size_t spalte = kopf.size(); !text.empty(); spalte = 0) {
            const std::size_t ende = std::min(text.find('\n'), text.size());
            ausgabe << std::string(spalte < 20 ? 20 - spalte : 1, ' ') << text.substr(0, ende) << "\n";
            text.remove_prefix(std::min(ende + 1, text.size()));
        }
    }
    ausgabe << "\nCOM1 ... COM8 are /dev/ttyS0 ... /dev/ttyS7 unless the environment variables\n"
               "KWD2_COM1 ... KWD2_COM8 name other serial devices. See kwd2steuerung(1).\n";
    return 0;
}

const StartOption* Suchen(std::string_view name) {
    for (const StartOption& option : kOptionen) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

}  // namespace

const char* StartOptionen_Aufzeichnung() {
    return gAufzeichnungsDatei.empty() ? nullptr : gAufzeichnungsDatei.c_str();
}

int StartOptionenAnwenden(int* argc, char* argv[], std::ostream& ausgabe, std::ostream& fehler) {
    std::error_code unbekannt;  // without it, relative names stay relative
    gStartVerzeichnis = std::filesystem::current_path(unbekannt);
    int behalten = 1;
    for (int i = 1; i < *argc; ++i) {
        const StartOption* option = Suchen(argv[i]);
        if (option == nullptr) {
            argv[behalten++] = argv[i];
            continue;
        }
        const char* wert = nullptr;
        if (option->wert != nullptr) {
            if (i + 1 >= *argc) {
                fehler << "kwd2steuerung: " << option->name << " needs " << option->wert << "\n";
                return kStatusAufruf;
            }
            wert = argv[++i];
        }
        if (const int status = option->ausfuehren(wert, ausgabe, fehler); status != START_WEITER)
            return status;
    }
    *argc = behalten;
    argv[behalten] = nullptr;
    return START_WEITER;
}
