// kwd2demo SCREENSHOT.png: a short scripted session of the real program for machines without an
// operator (the demo command runs it under a virtual display). The program starts exactly as
// kwd2steuerung does; the steps go through the widgets like a person's clicks. COM1 must lead to
// a device line (KWD2_COM1), normally the simulator that the demo command starts.
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "ui/kwd2Steuerung.h"

namespace {

void PopupMelden(const std::string& title, const std::string& text) {
    std::printf("  popup \"%s\": %s\n", title.c_str(), text.c_str());
}

int Fehlernummer() {
    int nummer = 0;
    GetCtrlVal(gPanelHandle, PANEL_FEHLERNUMMER, &nummer);
    return nummer;
}

template <typename Aktion>
void Schritt(const char* beschreibung, Aktion aktion) {
    std::printf("%s ...", beschreibung);
    std::fflush(stdout);
    aktion();
    uitest::ProcessEvents();
    const int nummer = Fehlernummer();
    if (nummer == 0) {
        std::printf(" ok\n");
    } else {
        std::array<char, 512> text{};
        GetCtrlVal(gPanelHandle, PANEL_FEHLERSTRING, text.data());
        std::printf(" Fehler %d: %s\n", nummer, text.data());
    }
}

// Lets the event loop run (timer ticks, painting) for a while, as an operator would watch.
void Zuschauen(std::chrono::milliseconds dauer) {
    const auto ende = std::chrono::steady_clock::now() + dauer;
    while (std::chrono::steady_clock::now() < ende) {
        uitest::ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kwd2demo SCREENSHOT.png\n");
        return 2;
    }
    std::array<char*, 2> programm{argv[0], nullptr};
    if (ProgrammStarten(1, programm.data()) != 0) {
        std::fprintf(stderr, "kwd2demo: the program could not start\n");
        return 1;
    }
    uitest::EnablePopupTestMode();
    uitest::SetUnansweredPopupHandler(PopupMelden);
    uitest::SetRealTimers(true);  // the polling timer ticks on its own, as in the program
    const int p = gPanelHandle;

    Schritt("COM1 oeffnen", [p] { uitest::ChooseRingValue(p, PANEL_PORT, 1); });
    Schritt("Geraete suchen (Scann)", [p] { uitest::Click(p, PANEL_SCANN); });
    Schritt("Identifikation lesen", [p] { uitest::Click(p, PANEL_IDLESEN); });
    Schritt("Strom Parametersatz 1 = 200 mA", [p] { uitest::EnterNumeric(p, PANEL_STROMSOLL, 200.0); });
    Schritt("Spannung Parametersatz 1 = 12.5 V", [p] { uitest::EnterNumeric(p, PANEL_SPANNUNGSOLL, 12.5); });
    Schritt("Ausgang starten", [p] { uitest::Click(p, PANEL_START); });
    Schritt("Messen ein, drei Sekunden", [p] {
        uitest::Click(p, PANEL_MESSEN);
        Zuschauen(std::chrono::seconds(3));
    });

    std::array<char, 64> id{};
    GetCtrlVal(p, PANEL_IDSTRING, id.data());
    double spannung = 0.0;
    double strom = 0.0;
    GetCtrlVal(p, PANEL_SPANNUNG, &spannung);
    GetCtrlVal(p, PANEL_STROM, &strom);
    int adresse = 0;
    GetCtrlVal(p, PANEL_KWDID, &adresse);
    std::printf("Adresse %d, ID \"%s\", gemessen %.2f V, %.1f mA\n", adresse, id.data(), spannung, strom);

    const bool bild = uitest::SaveScreenshot(p, argv[1]);
    if (bild) {
        std::printf("Screenshot: %s\n", argv[1]);
    } else {
        std::fprintf(stderr, "kwd2demo: screenshot could not be written to %s\n", argv[1]);
    }
    uitest::Click(p, PANEL_ENDE);  // the exit sequence: measuring off, port closed, settings saved
    return bild ? 0 : 1;
}
