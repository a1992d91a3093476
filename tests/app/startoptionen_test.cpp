// The options taken out of the command line before the run mode is decided: what they print,
// what is left for the access-code check, and the per-user settings directory.
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/startoptionen.h"
#include "tests/support/programm_fixture.h"

namespace {

struct Aufruf {
    int status = 0;
    std::vector<std::string> rest;
    std::string ausgabe;
    std::string fehler;
};

// Runs the options as main does, on "kwd2steuerung" plus the given arguments.
Aufruf Anwenden(const std::vector<std::string>& argumente) {
    std::vector<std::string> texte{"kwd2steuerung"};
    texte.insert(texte.end(), argumente.begin(), argumente.end());
    std::vector<char*> zeiger;
    for (std::string& text : texte) zeiger.push_back(text.data());
    zeiger.push_back(nullptr);
    int argc = static_cast<int>(texte.size());
    std::ostringstream ausgabe;
    std::ostringstream fehler;
    Aufruf aufruf;
    aufruf.status = StartOptionenAnwenden(&argc, zeiger.data(), ausgabe, fehler);
    if (aufruf.status == START_WEITER) {
        EXPECT_EQ(zeiger[static_cast<std::size_t>(argc)], nullptr);
        for (int i = 1; i < argc; ++i) aufruf.rest.emplace_back(zeiger[static_cast<std::size_t>(i)]);
    }
    aufruf.ausgabe = ausgabe.str();
    aufruf.fehler = fehler.str();
    return aufruf;
}

constexpr const char* zugangsCode = "-p=Lomb7Quanxr";

TEST(StartOptionen, PrintingOptionsEndAtOnceAndOthersStayInOrder) {
    const Aufruf version = Anwenden({"--version", "-p=x"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.ausgabe, "kwd2steuerung " KWD2_VERSION "\n");

    const Aufruf hilfe = Anwenden({"x", "--help"});
    EXPECT_EQ(hilfe.status, 0);
    for (const char* text :
         {"Usage: kwd2steuerung", "--user-config", "--record FILE", "--help", "--version", "KWD2_COM1"}) {
        EXPECT_NE(hilfe.ausgabe.find(text), std::string::npos) << text << " in\n" << hilfe.ausgabe;
    }

    // Unknown options and near misses are ordinary arguments, as they always were.
    const Aufruf fremd = Anwenden({"--bogus", "--Version", "-version", zugangsCode});
    EXPECT_EQ(fremd.status, START_WEITER);
    EXPECT_EQ(fremd.rest, (std::vector<std::string>{"--bogus", "--Version", "-version", zugangsCode}));
    EXPECT_EQ(fremd.ausgabe + fremd.fehler, "");

    // --record takes the next argument as its file, whatever it looks like; none is an error.
    for (const std::vector<std::string>& ohneDatei :
         {std::vector<std::string>{zugangsCode, "--record"}, std::vector<std::string>{"--record", ""}}) {
        const Aufruf fehlt = Anwenden(ohneDatei);
        EXPECT_EQ(fehlt.status, 2);
        EXPECT_NE(fehlt.fehler.find("--record"), std::string::npos) << fehlt.fehler;
    }
}

// The run mode sees only what the options left.
struct Fall {
    const char* name;
    std::vector<std::string> argumente;
    bool kalibrierung;
    bool aufzeichnung = false;  // into f.csv
};

void PrintTo(const Fall& fall, std::ostream* out) {
    *out << fall.name;
}

class NachDenOptionen : public Programm, public ::testing::WithParamInterface<Fall> {};

TEST_P(NachDenOptionen, AccessCodeMustBeTheOnlyArgumentLeft) {
    setenv("XDG_CONFIG_HOME", (arbeitsverzeichnis / "config").c_str(), 1);
    // An earlier log is continued; the name is taken in the start directory, whatever
    // --user-config does to the working directory.
    const auto log = arbeitsverzeichnis / "f.csv";
    std::ofstream(log) << "# alt\n";
    const Aufruf aufruf = Anwenden(GetParam().argumente);
    ASSERT_EQ(aufruf.status, START_WEITER) << aufruf.fehler;
    Starten(aufruf.rest);
    EXPECT_EQ(gKalibrierModus, GetParam().kalibrierung ? 1 : 0);
    std::ifstream datei(log);
    std::ostringstream inhalt;
    inhalt << datei.rdbuf();
    if (GetParam().aufzeichnung) {
        EXPECT_EQ(inhalt.str().rfind("# alt\n# kwd2 measurement log\n# program: kwd2steuerung " KWD2_VERSION
                                     "\n# port: not open ()\n# started: ",
                                     0),
                  0u)
            << inhalt.str();
        // A continued log keeps its one column header (here: the earlier part had none).
        EXPECT_EQ(inhalt.str().find("time,elapsed_s"), std::string::npos);
        EXPECT_EQ(Int(PANEL_FEHLERNUMMER), 0);
    } else {
        EXPECT_EQ(inhalt.str(), "# alt\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kommandozeile, NachDenOptionen,
    ::testing::Values(Fall{"OptionDavor", {"--user-config", zugangsCode}, true},
                      Fall{"OptionDahinter", {zugangsCode, "--user-config"}, true},
                      Fall{"NurOption", {"--user-config"}, false},
                      Fall{"UnbekannteOption", {"--bogus", zugangsCode}, false},
                      Fall{"ZweiArgumenteBleiben", {"x", "--user-config", zugangsCode}, false},
                      Fall{"RecordDavor", {"--record", "f.csv", zugangsCode}, true, true},
                      Fall{"RecordDahinter", {zugangsCode, "--user-config", "--record", "f.csv"}, true, true},
                      Fall{"RecordOhneCode", {"--record", "f.csv"}, false, true},
                      Fall{"RecordUndZweiArgumente", {"--record", "f.csv", "x", zugangsCode}, false, true},
                      Fall{"RecordAlsCode", {"--record", zugangsCode}, false}),
    [](const ::testing::TestParamInfo<Fall>& info) { return std::string(info.param.name); });

TEST_F(Programm, UserConfigKeepsTheSettingsInAPrivateDirectoryOfTheUser) {
    const auto home = arbeitsverzeichnis / "home";
    setenv("HOME", home.c_str(), 1);
    // A relative XDG_CONFIG_HOME counts as unset.
    setenv("XDG_CONFIG_HOME", "relativ", 1);
    ASSERT_EQ(Anwenden({"--user-config"}).status, START_WEITER);
    const auto verzeichnis = home / ".config" / "kwd2steuerung";
    EXPECT_EQ(std::filesystem::current_path(), verzeichnis);
    struct stat info {};
    ASSERT_EQ(stat(verzeichnis.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    Starten();
    ASSERT_EQ(WriteIni(), 0);
    EXPECT_TRUE(std::filesystem::exists(verzeichnis / "kwd2steuerung.ini"));
    EXPECT_FALSE(EinstellungsdateiVorhanden());  // nothing left in the start directory

    // The next start finds the same directory and keeps what is in it.
    std::filesystem::current_path(arbeitsverzeichnis);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    ASSERT_EQ(Anwenden({"--user-config"}).status, START_WEITER);
    EXPECT_EQ(std::filesystem::current_path(), verzeichnis);
    EXPECT_TRUE(std::filesystem::exists(verzeichnis / "kwd2steuerung.ini"));
}

TEST_F(Programm, UserConfigThatCannotBeMadeEndsWithTheReason) {
    std::ofstream(arbeitsverzeichnis / "datei") << "kein Verzeichnis";
    setenv("XDG_CONFIG_HOME", (arbeitsverzeichnis / "datei").c_str(), 1);
    const Aufruf aufruf = Anwenden({"--user-config", zugangsCode});
    EXPECT_EQ(aufruf.status, 1);
    EXPECT_NE(aufruf.fehler.find((arbeitsverzeichnis / "datei" / "kwd2steuerung").string()),
              std::string::npos)
        << aufruf.fehler;
    EXPECT_EQ(std::filesystem::current_path(), arbeitsverzeichnis);
}

}  // namespace
