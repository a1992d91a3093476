#include "tests/e2e/e2e_fixture.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "ui/kwd2Steuerung.h"

namespace {

void UnbeantwortetesPopup(const std::string& title, const std::string& text) {
    ADD_FAILURE() << "unexpected popup \"" << title << "\": " << text;
}

}  // namespace

void E2e::SetUp() {
    vorher = std::filesystem::current_path();
    std::string muster = (std::filesystem::temp_directory_path() / "kwd2e2e.XXXXXX").string();
    ASSERT_NE(mkdtemp(muster.data()), nullptr);
    verzeichnis = muster;
    std::filesystem::current_path(verzeichnis);
    for (int port = 1; port <= 8; ++port) unsetenv(("KWD2_COM" + std::to_string(port)).c_str());
    sim = std::make_unique<kwd2sim::Simulator>();
}

void E2e::Starten(bool kalibrierModus) {
    sim->start();
    setenv("KWD2_COM1", sim->path().c_str(), 1);
    static std::array<char, 16> programm{"kwd2steuerung"};
    static std::array<char, 16> code{"-p=Lomb7Quanxr"};
    // The application object keeps the argument vector for its whole life, as main's would be.
    static std::array<char*, 3> argv{};
    argv = {programm.data(), kalibrierModus ? code.data() : nullptr, nullptr};
    // Without the program there is nothing to test: end the test here, not just this helper.
    if (ProgrammStarten(kalibrierModus ? 2 : 1, argv.data()) != 0)
        throw std::runtime_error("program did not start");
    gestartet = true;
    uitest::EnablePopupTestMode();
    uitest::SetUnansweredPopupHandler(UnbeantwortetesPopup);
    uitest::ClearShownPopups();
}

void E2e::TearDown() {
    if (gestartet) {
        // Leave no port open and no module state behind for a following test in this process.
        SetCtrlVal(panelHandle, PANEL_PORT, 0);
        SelectComPort();
        DiscardPanel(rechnerPanelHandle);
        DiscardPanel(panelHandle);
        uitest::ProcessEvents();
    }
    sim.reset();
    std::filesystem::current_path(vorher);
    std::error_code ignoriert;
    std::filesystem::remove_all(verzeichnis, ignoriert);
}

double E2e::Zahl(int control) {
    double wert = -12345.0;
    EXPECT_EQ(GetCtrlVal(panelHandle, control, &wert), 0);
    return wert;
}

int E2e::Ganz(int control) {
    int wert = -12345;
    EXPECT_EQ(GetCtrlVal(panelHandle, control, &wert), 0);
    return wert;
}

std::string E2e::Text(int control) {
    std::array<char, 1024> text{};
    EXPECT_EQ(GetCtrlVal(panelHandle, control, text.data()), 0);
    return text.data();
}

int E2e::Attribut(int control, int attribute) {
    int wert = -12345;
    EXPECT_EQ(GetCtrlAttribute(panelHandle, control, attribute, &wert), 0);
    return wert;
}

void E2e::Klick(int control) {
    uitest::Click(panelHandle, control);
}
void E2e::Eingeben(int control, double value) {
    uitest::EnterNumeric(panelHandle, control, value);
}
void E2e::Waehlen(int control, int value) {
    uitest::ChooseRingValue(panelHandle, control, value);
}
void E2e::Tick() {
    uitest::FireTimer(panelHandle, PANEL_TIMER);
}

void E2e::ErwarteFehleranzeige(int positiveNumber) {
    EXPECT_EQ(Ganz(PANEL_FEHLERNUMMER), positiveNumber);
    EXPECT_EQ(Ganz(PANEL_FEHLERLED), positiveNumber != 0 ? 1 : 0);
    if (positiveNumber == 0) {
        EXPECT_EQ(Text(PANEL_FEHLERSTRING), "");
    } else {
        EXPECT_NE(Text(PANEL_FEHLERSTRING), "");
    }
}

std::vector<std::string> E2e::PopupTitel() {
    std::vector<std::string> titel;
    for (const uitest::ShownPopup& popup : uitest::ShownPopups()) {
        if (popup.kind == "message") titel.push_back(popup.title);
    }
    uitest::ClearShownPopups();
    return titel;
}

std::string E2e::DateiInhalt(const std::filesystem::path& path) const {
    std::ifstream datei(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(datei), std::istreambuf_iterator<char>()};
}

void E2e::DateiSchreiben(const std::filesystem::path& path, const std::string& bytes) const {
    std::ofstream datei(path, std::ios::binary | std::ios::trunc);
    datei.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::thread E2e::FehlerNach(int address, std::string request, kwd2sim::Fault fault) {
    return std::thread([this, address, request = std::move(request), fault] {
        const auto ende = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sim->hostBytes().find(request) == std::string::npos) {
            if (std::chrono::steady_clock::now() > ende) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        sim->setFault(address, fault);
    });
}

void E2e::PopupsBeantworten(int anzahl) {
    for (int i = 0; i < anzahl; ++i) uitest::QueueMessageAnswer();
}

bool E2e::WarteBis(const std::function<bool()>& bedingung) {
    const auto ende = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!bedingung()) {
        if (std::chrono::steady_clock::now() > ende) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Under the leak checker: the font configuration library keeps a cache for the whole process,
// which is not a leak of this program.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
