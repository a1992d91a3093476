// Calibration data: device, panel and files, the calculator, and the normal-mode gate.
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "tests/support/programm_fixture.h"
#include "tests/unprivileged.h"
#include "ui/kwd2Steuerung.h"

namespace {

struct Faktor {
    int control;
    const char* registerName;
};

constexpr std::array<Faktor, 20> kFaktoren{{
    {PANEL_USOLLV, "usoll_v"},       {PANEL_USOLLOFF, "usoll_off"},   {PANEL_UISTV, "uist_v"},
    {PANEL_UISTOFF, "uist_off"},     {PANEL_ISOLL1V, "isoll1_v"},     {PANEL_ISOLL1OFF, "isoll1_off"},
    {PANEL_IIST1V, "iist1_v"},       {PANEL_IIST1OFF, "iist1_off"},   {PANEL_ISOLL2V, "isoll2_v"},
    {PANEL_ISOLL2OFF, "isoll2_off"}, {PANEL_IIST2V, "iist2_v"},       {PANEL_IIST2OFF, "iist2_off"},
    {PANEL_ISOLL3V, "isoll3_v"},     {PANEL_ISOLL3OFF, "isoll3_off"}, {PANEL_IIST3V, "iist3_v"},
    {PANEL_IIST3OFF, "iist3_off"},   {PANEL_ISOLL4V, "isoll4_v"},     {PANEL_ISOLL4OFF, "isoll4_off"},
    {PANEL_IIST4V, "iist4_v"},       {PANEL_IIST4OFF, "iist4_off"},
}};

// Six decimals, as the device stores them; gains positive, offsets of either sign.
constexpr std::array<double, 20> kWerte{
    1.000123, -0.25,    0.998877, 0.012345,  1.5,  -3.25, 0.999999, 0.000001, 2.123456, -12.5,
    1.25,     7.654321, 0.5,      -0.000002, 1.75, 99.0,  3.000001, -100.5,   0.8,      1234.567891};

std::uint64_t Bits(double wert) {
    return std::bit_cast<std::uint64_t>(wert);
}

class Kalibrierung : public Programm {
  protected:
    void MitGeraetStarten() {
        sim->AddKwd2(2);
        AmSimulatorStarten(true);
        Waehlen(PANEL_PORT, 1);
        Waehlen(PANEL_KWDID, 2);
    }

    static void PanelSetzen(double wert) {
        for (const Faktor& f : kFaktoren) SetCtrlVal(gPanelHandle, f.control, wert);
    }

    static void ErwartePanel(const std::array<double, 20>& werte) {
        for (std::size_t i = 0; i < kFaktoren.size(); ++i) {
            EXPECT_EQ(Bits(Double(kFaktoren[i].control)), Bits(werte[i])) << kFaktoren[i].registerName;
        }
    }

    static void ErwartePanelUeberall(double wert) {
        std::array<double, 20> werte{};
        werte.fill(wert);
        ErwartePanel(werte);
    }

    // Saving over an existing file: the operator confirms the replace question.
    void Speichern(const std::filesystem::path& pfad) {
        uitest::QueueFileAnswer(VAL_NEW_FILE_SELECTED, pfad.string());
        if (std::filesystem::is_regular_file(pfad)) uitest::QueueQuestionAnswer(true);
        Klick(PANEL_SPEICHERN);
    }

    void Laden(const std::filesystem::path& pfad) {
        uitest::QueueFileAnswer(VAL_EXISTING_FILE_SELECTED, pfad.string());
        Klick(PANEL_LADEN);
    }
};

TEST_F(Kalibrierung, DevicePanelFilePanelDeviceRoundTripIsBitForBit) {
    MitGeraetStarten();
    for (std::size_t i = 0; i < kFaktoren.size(); ++i)
        sim->SetRegisterValue(2, kFaktoren[i].registerName, kWerte[i]);

    Klick(PANEL_KWDLESEN);
    ErwartePanel(kWerte);

    const auto datei = arbeitsverzeichnis / "geraet.kwd";
    Speichern(datei);
    EXPECT_STREQ(KwdTestFunc_DateiPfad(), (arbeitsverzeichnis.string() + "/").c_str());
    const std::string inhalt = DateiInhalt(datei);
    ASSERT_EQ(inhalt.size(), 200u);
    EXPECT_EQ(inhalt.substr(0, 17), std::string("zel kwd2test kal\0", 17));
    EXPECT_EQ(inhalt.substr(32, 4), std::string("\x01\x00\x00\x00", 4));
    for (std::size_t i = 0; i < kWerte.size(); ++i) {
        std::uint64_t bits = 0;
        for (int b = 7; b >= 0; --b) bits = (bits << 8) | static_cast<unsigned char>(inhalt[40 + 8 * i + b]);
        EXPECT_EQ(bits, Bits(kWerte[i])) << "factor " << i;
    }

    PanelSetzen(5.0);
    Laden(datei);
    ErwartePanel(kWerte);

    for (const Faktor& f : kFaktoren) sim->SetRegisterValue(2, f.registerName, 9.0);
    sim->ClearTrace();
    Klick(PANEL_KWDSCHREIBEN);
    EXPECT_TRUE(PopupTitel().empty());
    for (std::size_t i = 0; i < kFaktoren.size(); ++i) {
        EXPECT_EQ(Bits(sim->RegisterValue(2, kFaktoren[i].registerName)), Bits(kWerte[i]))
            << kFaktoren[i].registerName;
    }
    const std::string gesendet = sim->HostBytes();
    EXPECT_EQ(gesendet.substr(0, 14), "#201W1.000123\r");
    EXPECT_NE(gesendet.find("#220W1234.567891\r"), std::string::npos);
}

TEST_F(Kalibrierung, WithoutPortBothDeviceOperationsPopUpTheirCodes) {
    AmSimulatorStarten(true);
    PopupsBeantworten(2);
    Klick(PANEL_KWDLESEN);
    Klick(PANEL_KWDSCHREIBEN);
    EXPECT_EQ(PopupTitel(), (std::vector<std::string>{"Fehler #122217", "Fehler #122218"}));
}

TEST_F(Kalibrierung, DeviceReadFailingAtTheLastRegisterChangesNoControl) {
    MitGeraetStarten();
    PanelSetzen(0.5);
    sim->SetSlowDelay(0.01);
    sim->SetFault(2, kwd2sim::Fault::kSlow);
    std::thread stumm = FehlerNach(2, "#219R\r", kwd2sim::Fault::kNak);
    PopupsBeantworten();
    Klick(PANEL_KWDLESEN);
    stumm.join();
    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #402076"});
    ErwartePanelUeberall(0.5);
}

TEST_F(Kalibrierung, BadFilesAreRefusedAndLeaveThePanelAlone) {
    MitGeraetStarten();
    PanelSetzen(2.0);
    const auto gut = arbeitsverzeichnis / "gut.kwd";
    Speichern(gut);
    const std::string vorlage = DateiInhalt(gut);
    ASSERT_EQ(vorlage.size(), 200u);

    struct Fall {
        const char* name;
        std::string inhalt;
        const char* titel;
    };
    std::string typ = vorlage;
    typ[16] = 'X';  // one more character before the zero
    std::string version = vorlage;
    version[32] = 2;
    const Fall faelle[] = {
        {"kurz.kwd", vorlage.substr(0, 199), "Fehler #304209"},
        {"leer.kwd", "", "Fehler #304209"},
        {"typ.kwd", typ, "Fehler #302210"},
        {"version.kwd", version, "Fehler #303211"},
    };
    PanelSetzen(7.0);
    for (const Fall& fall : faelle) {
        DateiSchreiben(arbeitsverzeichnis / fall.name, fall.inhalt);
        PopupsBeantworten();
        Laden(arbeitsverzeichnis / fall.name);
        EXPECT_EQ(PopupTitel(), std::vector<std::string>{fall.titel}) << fall.name;
        ErwartePanelUeberall(7.0);
    }
    PopupsBeantworten();
    Laden(arbeitsverzeichnis / "fehlt.kwd");
    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #308208"});

    // A longer file with a good start loads; only its first 200 bytes count.
    DateiSchreiben(arbeitsverzeichnis / "lang.kwd", vorlage + "ueberhang");
    Laden(arbeitsverzeichnis / "lang.kwd");
    EXPECT_TRUE(PopupTitel().empty());
    ErwartePanelUeberall(2.0);

    // A cancelled dialog is no error and changes nothing, not even the directory.
    uitest::QueueFileAnswer(VAL_NO_FILE_SELECTED, "");
    const std::string pfadVorher = KwdTestFunc_DateiPfad();
    Klick(PANEL_LADEN);
    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_EQ(KwdTestFunc_DateiPfad(), pfadVorher);
}

TEST_F(Kalibrierung, FailedSaveNeverReplacesAGoodFile) {
    MitGeraetStarten();
    PanelSetzen(3.0);
    const auto datei = arbeitsverzeichnis / "kal.kwd";
    Speichern(datei);
    const std::string gut = DateiInhalt(datei);
    ASSERT_EQ(gut.size(), 200u);

    // The file system refuses more than 100 bytes per file: the write fails half-way.
    PanelSetzen(4.0);
    rlimit alt{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &alt), 0);
    const auto signalVorher = std::signal(SIGXFSZ, SIG_IGN);
    rlimit knapp = alt;
    knapp.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &knapp), 0);
    PopupsBeantworten();
    Speichern(datei);
    setrlimit(RLIMIT_FSIZE, &alt);
    std::signal(SIGXFSZ, signalVorher);

    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #301207"});
    EXPECT_EQ(DateiInhalt(datei), gut);
    std::size_t dateien = 0;
    for ([[maybe_unused]] const auto& eintrag : std::filesystem::directory_iterator(arbeitsverzeichnis))
        ++dateien;
    EXPECT_EQ(dateien, 1u) << "a temporary file was left behind";

    // A directory that does not exist: the file cannot be opened; the directory is still taken.
    PopupsBeantworten();
    Speichern(arbeitsverzeichnis / "fehlt" / "kal.kwd");
    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #308206"});
    EXPECT_STREQ(KwdTestFunc_DateiPfad(), (arbeitsverzeichnis / "fehlt").string().append("/").c_str());

    Speichern(datei);  // and a save that works replaces the file
    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_NE(DateiInhalt(datei), gut);
    EXPECT_EQ(DateiInhalt(datei).size(), 200u);
}

// Saving replaces the file through a rename; it must still refuse and keep what an in-place
// write would: directories and write-protected files, links, access rights.
TEST_F(Kalibrierung, SaveLeavesAnUnrelatedFileWithTheTemporaryNameAlone) {
    MitGeraetStarten();
    PanelSetzen(5.0);
    const auto datei = arbeitsverzeichnis / "kal.kwd";
    const auto fremd = arbeitsverzeichnis / "kal.kwd.tmp";
    std::ofstream(fremd, std::ios::binary) << "not ours";

    Speichern(datei);

    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_EQ(DateiInhalt(datei).size(), 200u);
    EXPECT_EQ(DateiInhalt(fremd), "not ours");
    std::size_t dateien = 0;
    for ([[maybe_unused]] const auto& eintrag : std::filesystem::directory_iterator(arbeitsverzeichnis))
        ++dateien;
    EXPECT_EQ(dateien, 2u) << "a temporary file was left behind";
}

TEST_F(Kalibrierung, SaveRefusesWhatCannotBeWrittenInPlaceAndWritesThroughLinks) {
    AmSimulatorStarten(true);
    PanelSetzen(6.0);

    const auto ordner = arbeitsverzeichnis / "ordner.kwd";
    std::filesystem::create_directory(ordner);
    PopupsBeantworten();
    Speichern(ordner);
    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #308206"});
    EXPECT_TRUE(std::filesystem::is_directory(ordner));
    EXPECT_FALSE(std::filesystem::exists(arbeitsverzeichnis / "ordner.kwd.tmp"));

    const auto geschuetzt = arbeitsverzeichnis / "geschuetzt.kwd";
    DateiSchreiben(geschuetzt, "alt");
    std::filesystem::permissions(geschuetzt,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    // The superuser may write anything, in place as well.
    testutil::RunAsNormalUser({arbeitsverzeichnis, geschuetzt}, [&] {
        PopupsBeantworten();
        Speichern(geschuetzt);
        EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #308206"});
        EXPECT_EQ(DateiInhalt(geschuetzt), "alt");
    });

    const auto rechte = arbeitsverzeichnis / "rechte.kwd";
    DateiSchreiben(rechte, "alt");
    const auto rw = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                    std::filesystem::perms::group_read;
    std::filesystem::permissions(rechte, rw);
    Speichern(rechte);
    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_EQ(DateiInhalt(rechte).size(), 200u);
    EXPECT_EQ(std::filesystem::status(rechte).permissions(), rw);

    std::filesystem::create_directory(arbeitsverzeichnis / "archiv");
    const auto echt = arbeitsverzeichnis / "archiv" / "echt.kwd";
    DateiSchreiben(echt, "alt");
    const auto link = arbeitsverzeichnis / "aktuell.kwd";
    std::filesystem::create_symlink(echt, link);
    Speichern(link);
    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    const std::string inhalt = DateiInhalt(echt);
    ASSERT_EQ(inhalt.size(), 200u);
    EXPECT_EQ(inhalt.substr(0, 17), std::string("zel kwd2test kal\0", 17));
    double erster = 0.0;
    std::memcpy(&erster, inhalt.data() + 40, sizeof erster);
    EXPECT_EQ(Bits(erster), Bits(6.0));
}

TEST_F(Kalibrierung, CalculatorResultReachesTheDevice) {
    MitGeraetStarten();
    SetCtrlVal(gPanelHandle, PANEL_IIST1V, 1.5);
    SetCtrlVal(gPanelHandle, PANEL_IIST1OFF, 0.25);
    Klick(PANEL_RECHNER);
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_IIST1BISHER);
    ZweiPunkte(0.0, 0.0, 100.0, 50.0);
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_IIST1);
    EXPECT_EQ(Double(PANEL_IIST1V), 3.0);
    EXPECT_EQ(Double(PANEL_IIST1OFF), 0.25);

    Klick(PANEL_KWDSCHREIBEN);
    EXPECT_TRUE(PopupTitel().empty());
    EXPECT_EQ(sim->RegisterValue(2, "iist1_v"), 3.0);
    EXPECT_EQ(sim->RegisterValue(2, "iist1_off"), 0.25);
}

TEST_F(Kalibrierung, NonFiniteFactorIsNeverSent) {
    MitGeraetStarten();
    sim->SetRegisterValue(2, "uist_v", 1.25);
    // Two equal actual values: the calculator's gain is infinite, and the operator takes it over.
    Klick(PANEL_RECHNER);
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_UISTBISHER);
    ZweiPunkte(10.0, 5.0, 20.0, 5.0);
    uitest::Click(gRechnerPanelHandle, RECHNERPNL_UIST);
    ASSERT_FALSE(std::isfinite(Double(PANEL_UISTV)));

    sim->ClearTrace();
    PopupsBeantworten();
    Klick(PANEL_KWDSCHREIBEN);
    EXPECT_EQ(PopupTitel(), std::vector<std::string>{"Fehler #202091"});
    const std::string gesendet = sim->HostBytes();
    EXPECT_NE(gesendet.find("#202W"), std::string::npos);  // the registers before it went out
    EXPECT_EQ(gesendet.find("#203W"), std::string::npos);
    EXPECT_EQ(gesendet.find("#204W"), std::string::npos);  // and nothing after it
    EXPECT_EQ(sim->RegisterValue(2, "uist_v"), 1.25);
}

TEST_F(Programm, NormalModeHidesCalibrationAndIgnoresItsButtons) {
    sim->AddKwd2(2);
    AmSimulatorStarten(false);
    Waehlen(PANEL_PORT, 1);
    Waehlen(PANEL_KWDID, 2);
    for (const Faktor& f : kFaktoren) EXPECT_EQ(Attribut(f.control, ATTR_VISIBLE), 0) << f.registerName;
    const int knoepfe[] = {PANEL_LADEN, PANEL_SPEICHERN, PANEL_KWDLESEN, PANEL_KWDSCHREIBEN, PANEL_RECHNER};
    for (const int knopf : knoepfe) EXPECT_EQ(Attribut(knopf, ATTR_VISIBLE), 0) << knopf;

    sim->SetRegisterValue(2, "usoll_v", 2.5);
    sim->ClearTrace();
    // Hidden buttons cannot be clicked; a commit that reaches their callbacks does nothing either.
    KwdLesen_Callback(gPanelHandle, PANEL_KWDLESEN, EVENT_COMMIT, nullptr, 0, 0);
    KwdSchreiben_Callback(gPanelHandle, PANEL_KWDSCHREIBEN, EVENT_COMMIT, nullptr, 0, 0);
    DateiSpeichern_Callback(gPanelHandle, PANEL_SPEICHERN, EVENT_COMMIT, nullptr, 0, 0);
    DateiLaden_Callback(gPanelHandle, PANEL_LADEN, EVENT_COMMIT, nullptr, 0, 0);
    Kalibrierrechner_Callback(gPanelHandle, PANEL_RECHNER, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(sim->HostBytes(), "");
    EXPECT_TRUE(uitest::ShownPopups().empty());
    EXPECT_EQ(Double(PANEL_USOLLV), 1.0);
    EXPECT_EQ(sim->RegisterValue(2, "usoll_v"), 2.5);
}

}  // namespace
