// Starts the program as main does (without the event loop) in a fresh temporary working
// directory, so the settings file it reads and writes never lands in the source tree.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <QApplication>
#include <QWidget>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "ui/kwd2Steuerung.h"

namespace testhilfe {

// Whether the panel's window is on screen; the window is found by its title (Latin-1).
inline bool PanelSichtbar(const char* titel) {
    for (QWidget* fenster : QApplication::topLevelWidgets()) {
        if (fenster->windowTitle() == QString::fromLatin1(titel)) return fenster->isVisible();
    }
    ADD_FAILURE() << "no window titled " << titel;
    return false;
}
inline bool HauptpanelSichtbar() {
    return PanelSichtbar("KWD2-Steuerung V1.5");
}
inline bool RechnerSichtbar() {
    return PanelSichtbar("Kalibrierfaktorenberechnung");
}

inline void FailOnUnansweredPopup(const std::string& title, const std::string& text) {
    ADD_FAILURE() << "unexpected popup '" << title << "': " << text;
}

class Programm : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        char vorlage[] = "/tmp/kwd2_app_test_XXXXXX";
        ASSERT_NE(mkdtemp(vorlage), nullptr);
        arbeitsverzeichnis = vorlage;
        altesVerzeichnis = std::filesystem::current_path();
        std::filesystem::current_path(arbeitsverzeichnis);
    }

    void TearDown() override {
        if (panelHandle > 0) DiscardPanel(panelHandle);
        if (rechnerPanelHandle > 0) DiscardPanel(rechnerPanelHandle);
        uitest::ProcessEvents();
        std::filesystem::current_path(altesVerzeichnis);
        std::error_code ignoriert;
        std::filesystem::remove_all(arbeitsverzeichnis, ignoriert);
    }

    // Runs the start-up with the program name plus the given arguments.
    void Starten(const std::vector<std::string>& argumente = {}) {
        argumentTexte = {"kwd2steuerung"};
        argumentTexte.insert(argumentTexte.end(), argumente.begin(), argumente.end());
        argumentZeiger.clear();
        for (std::string& text : argumentTexte) argumentZeiger.push_back(text.data());
        argumentZeiger.push_back(nullptr);
        ASSERT_EQ(ProgrammStarten(static_cast<int>(argumentTexte.size()), argumentZeiger.data()), 0);
        uitest::EnablePopupTestMode();
        uitest::SetUnansweredPopupHandler(FailOnUnansweredPopup);
        uitest::ClearShownPopups();
    }

    static int Int(int control, int panel = panelHandle) {
        int wert = -12345;
        EXPECT_EQ(GetCtrlVal(panel, control, &wert), 0) << "control " << control;
        return wert;
    }
    static double Double(int control, int panel = panelHandle) {
        double wert = -12345.0;
        EXPECT_EQ(GetCtrlVal(panel, control, &wert), 0) << "control " << control;
        return wert;
    }
    static std::string Text(int control, int panel = panelHandle) {
        char wert[512] = "<unread>";
        EXPECT_EQ(GetCtrlVal(panel, control, wert), 0) << "control " << control;
        return wert;
    }
    static int Attribut(int control, int attribut, int panel = panelHandle) {
        int wert = -12345;
        EXPECT_EQ(GetCtrlAttribute(panel, control, attribut, &wert), 0) << "control " << control;
        return wert;
    }
    static double DoubleAttribut(int control, int attribut, int panel = panelHandle) {
        double wert = -12345.0;
        EXPECT_EQ(GetCtrlAttribute(panel, control, attribut, &wert), 0) << "control " << control;
        return wert;
    }
    static int PanelAttribut(int attribut, int panel = panelHandle) {
        int wert = -12345;
        EXPECT_EQ(GetPanelAttribute(panel, attribut, &wert), 0) << "attribute " << attribut;
        return wert;
    }

    // The error display as three values: lamp, number, text.
    struct Fehleranzeige {
        int led;
        int nummer;
        std::string text;
    };
    static Fehleranzeige Fehler() {
        return {Int(PANEL_FEHLERLED), Int(PANEL_FEHLERNUMMER), Text(PANEL_FEHLERSTRING)};
    }

    std::string Einstellungsdatei() const {
        std::ifstream datei(arbeitsverzeichnis / "kwd2steuerung.ini", std::ios::binary);
        std::ostringstream inhalt;
        inhalt << datei.rdbuf();
        return inhalt.str();
    }
    bool EinstellungsdateiVorhanden() const {
        return std::filesystem::exists(arbeitsverzeichnis / "kwd2steuerung.ini");
    }

    std::filesystem::path arbeitsverzeichnis;
    std::filesystem::path altesVerzeichnis;
    std::vector<std::string> argumentTexte;
    std::vector<char*> argumentZeiger;
};

// The six status lamps in their fixed order.
inline constexpr std::array<int, 6> statusLeds{PANEL_LEDPARAMETERSATZ1, PANEL_LEDPARAMETERSATZ2,
                                               PANEL_LEDBEREICH1,       PANEL_LEDBEREICH2,
                                               PANEL_LEDBEREICH3,       PANEL_LEDBEREICH4};

// The five pulse controls that follow the pulse time.
inline constexpr std::array<int, 5> pulsControls{PANEL_SPANNUNGPULS, PANEL_STROMPULS, PANEL_UTAUPULS,
                                                 PANEL_ITAUPULS, PANEL_MESSBEREICHPULS};

// The twenty calibration factors and the five calibration buttons.
inline constexpr std::array<int, 25> kalibrierControls{44, 45, 46, 47, 48, 49, 50, 79, 52, 53, 54, 55, 56,
                                                       57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68};

}  // namespace testhilfe
