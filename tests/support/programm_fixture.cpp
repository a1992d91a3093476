#include "tests/support/programm_fixture.h"

#include <QApplication>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

void UnbeantwortetesPopup(const std::string& title, const std::string& text) {
    ADD_FAILURE() << "unexpected popup \"" << title << "\": " << text;
}

}  // namespace

bool testhilfe::PanelSichtbar(const char* titel) {
    for (QWidget* fenster : QApplication::topLevelWidgets()) {
        if (fenster->windowTitle() == QString::fromLatin1(titel)) return fenster->isVisible();
    }
    ADD_FAILURE() << "no window titled " << titel;
    return false;
}

void Programm::SetUp() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    altesVerzeichnis = std::filesystem::current_path();
    verzeichnis.emplace("kwd2_programm");
    arbeitsverzeichnis = verzeichnis->path();
    std::filesystem::current_path(arbeitsverzeichnis);
    for (int port = 1; port <= 8; ++port) unsetenv(("KWD2_COM" + std::to_string(port)).c_str());
    sim = std::make_unique<kwd2sim::Simulator>();
}

void Programm::Starten(const std::vector<std::string>& argumente) {
    // The application object keeps the argument vector for its whole life, as main's would be.
    static std::vector<std::string> texte;
    static std::vector<char*> zeiger;
    texte = {"kwd2steuerung"};
    texte.insert(texte.end(), argumente.begin(), argumente.end());
    zeiger.clear();
    for (std::string& text : texte) zeiger.push_back(text.data());
    zeiger.push_back(nullptr);
    if (const int rc = ProgrammStarten(static_cast<int>(texte.size()), zeiger.data()); rc != 0) {
        throw std::runtime_error("program did not start: " + std::to_string(rc));
    }
    gestartet = true;
    uitest::EnablePopupTestMode();
    uitest::SetUnansweredPopupHandler(UnbeantwortetesPopup);
    uitest::ClearShownPopups();
}

void Programm::AmSimulatorStarten(bool kalibrierModus) {
    sim->Start();
    setenv("KWD2_COM1", sim->Path().c_str(), 1);
    Starten(kalibrierModus ? std::vector<std::string>{testhilfe::kKalibrierZugang}
                           : std::vector<std::string>{});
}

void Programm::TearDown() {
    if (gestartet) {
        // Leave no port open and no module state behind for a following test in this process.
        SetCtrlVal(gPanelHandle, PANEL_PORT, 0);
        SelectComPort();
    }
    if (gPanelHandle > 0) DiscardPanel(gPanelHandle);
    if (gRechnerPanelHandle > 0) DiscardPanel(gRechnerPanelHandle);
    uitest::ProcessEvents();
    sim.reset();
    std::filesystem::current_path(altesVerzeichnis);
    verzeichnis.reset();
}

std::string Programm::Text(int control, int panel) {
    std::array<char, 1024> text{"<unread>"};
    EXPECT_EQ(GetCtrlVal(panel, control, text.data()), 0) << "control " << control;
    return text.data();
}

int Programm::PanelAttribut(int attribut, int panel) {
    int wert = -12345;
    EXPECT_EQ(GetPanelAttribute(panel, attribut, &wert), 0) << "attribute " << attribut;
    return wert;
}

Programm::Fehleranzeige Programm::Fehler() {
    return {Int(PANEL_FEHLERLED), Int(PANEL_FEHLERNUMMER), Text(PANEL_FEHLERSTRING)};
}

void Programm::ErwarteFehleranzeige(int positiveNumber) {
    const Fehleranzeige f = Fehler();
    EXPECT_EQ(f.nummer, positiveNumber);
    EXPECT_EQ(f.led, positiveNumber != 0 ? 1 : 0);
    EXPECT_EQ(f.text.empty(), positiveNumber == 0) << f.text;
}

void Programm::PopupsBeantworten(int anzahl) {
    for (int i = 0; i < anzahl; ++i) uitest::QueueMessageAnswer();
}

std::vector<std::string> Programm::PopupTitel() {
    std::vector<std::string> titel;
    for (const uitest::ShownPopup& popup : uitest::ShownPopups()) {
        if (popup.kind == "message") titel.push_back(popup.title);
    }
    uitest::ClearShownPopups();
    return titel;
}

bool Programm::WarteBis(const std::function<bool()>& bedingung) {
    const auto ende = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!bedingung()) {
        if (std::chrono::steady_clock::now() > ende) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::thread Programm::FehlerNach(int address, std::string request, kwd2sim::Fault fault) {
    return std::thread([this, address, request = std::move(request), fault] {
        const auto ende = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sim->HostBytes().find(request) == std::string::npos) {
            if (std::chrono::steady_clock::now() > ende) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sim->SetFault(address, fault);
    });
}

std::string Programm::DateiInhalt(const std::filesystem::path& path) {
    std::ifstream datei(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(datei), std::istreambuf_iterator<char>()};
}

void Programm::DateiSchreiben(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream datei(path, std::ios::binary | std::ios::trunc);
    datei.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Under the leak checker: the font configuration library keeps a cache for the whole process,
// which is not a leak of this program.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
