// The real program for tests: started as main does (without the event loop) in a fresh temporary
// working directory, so the settings file it reads and writes never lands in the source tree;
// offscreen widgets driven through the uitest seam; a simulated bus ready in `sim`, put behind
// COM1 by AmSimulatorStarten.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "sim/kwd2sim.h"
#include "tests/support/temp_dir.h"
#include "ui/kwd2Steuerung.h"

namespace testhilfe {

// The access code that starts the program in calibration mode.
inline const std::string kKalibrierZugang = "-p=Lomb7Quanxr";

// Whether the panel's window is on screen; the window is found by its title (Latin-1).
bool PanelSichtbar(const char* titel);
inline bool HauptpanelSichtbar() {
    return PanelSichtbar("KWD2-Steuerung V1.5");
}
inline bool RechnerSichtbar() {
    return PanelSichtbar("Kalibrierfaktorenberechnung");
}

}  // namespace testhilfe

class Programm : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the start-up with the program name plus the given arguments; throws when it fails,
    // as without the program there is nothing to test.
    void Starten(const std::vector<std::string>& argumente = {});
    // Starts the simulator (devices added before) behind COM1, then the program.
    void AmSimulatorStarten(bool kalibrierModus = false);

    // Panel access, on the main panel unless another is named; a failed read fails the test.
    template <typename T>
    static T Wert(int control, int panel = gPanelHandle) {
        T wert{-12345};
        EXPECT_EQ(GetCtrlVal(panel, control, &wert), 0) << "control " << control;
        return wert;
    }
    template <typename T>
    static T AttributWert(int control, int attribut, int panel = gPanelHandle) {
        T wert{-12345};
        EXPECT_EQ(GetCtrlAttribute(panel, control, attribut, &wert), 0) << "control " << control;
        return wert;
    }
    static int Int(int control, int panel = gPanelHandle) { return Wert<int>(control, panel); }
    static double Double(int control, int panel = gPanelHandle) { return Wert<double>(control, panel); }
    static std::string Text(int control, int panel = gPanelHandle);
    static int Attribut(int control, int attribut, int panel = gPanelHandle) {
        return AttributWert<int>(control, attribut, panel);
    }
    static double DoubleAttribut(int control, int attribut, int panel = gPanelHandle) {
        return AttributWert<double>(control, attribut, panel);
    }
    static int PanelAttribut(int attribut, int panel = gPanelHandle);

    // What a person does on the main panel.
    static void Klick(int control) { uitest::Click(gPanelHandle, control); }
    static void Eingeben(int control, double value) { uitest::EnterNumeric(gPanelHandle, control, value); }
    static void Waehlen(int control, int value) { uitest::ChooseRingValue(gPanelHandle, control, value); }
    static void Tick() { uitest::FireTimer(gPanelHandle, PANEL_TIMER); }
    // The calculator's two points: set and actual value of each, entered as the operator types them.
    static void ZweiPunkte(double soll1, double ist1, double soll2, double ist2) {
        uitest::EnterNumeric(gRechnerPanelHandle, RECHNERPNL_SOLL1, soll1);
        uitest::EnterNumeric(gRechnerPanelHandle, RECHNERPNL_IST1, ist1);
        uitest::EnterNumeric(gRechnerPanelHandle, RECHNERPNL_SOLL2, soll2);
        uitest::EnterNumeric(gRechnerPanelHandle, RECHNERPNL_IST2, ist2);
    }

    // The error display as three values: lamp, number, text.
    struct Fehleranzeige {
        int led;
        int nummer;
        std::string text;
    };
    static Fehleranzeige Fehler();
    // The error display as the operator sees it: lamp on and a text exactly when there is a number.
    static void ErwarteFehleranzeige(int positiveNumber);
    // Answers the next `anzahl` message popups (an error popup is expected, not a failure).
    static void PopupsBeantworten(int anzahl = 1);
    // The message popups shown since the last call (titles "Fehler #n"); clears the record.
    static std::vector<std::string> PopupTitel();
    // A write to all devices reads no answer, so the call returns before the simulator has
    // necessarily taken the request in: wait (bounded) until `bedingung` holds, then check.
    static bool WarteBis(const std::function<bool()>& bedingung);

    // Switches `address` to `fault` as soon as the host has sent `request` (watching the trace
    // from a second thread); with the address slowed down first, the exchange in flight still
    // ends normally and the fault hits exactly the next request. Join the thread afterwards.
    std::thread FehlerNach(int address, std::string request, kwd2sim::Fault fault);

    static std::string DateiInhalt(const std::filesystem::path& path);
    static void DateiSchreiben(const std::filesystem::path& path, const std::string& bytes);
    std::string Einstellungsdatei() const { return DateiInhalt(arbeitsverzeichnis / "kwd2steuerung.ini"); }
    bool EinstellungsdateiVorhanden() const {
        return std::filesystem::exists(arbeitsverzeichnis / "kwd2steuerung.ini");
    }

    std::unique_ptr<kwd2sim::Simulator> sim;
    std::filesystem::path arbeitsverzeichnis;  // the program's working directory

  private:
    std::optional<testsupport::TempDir> verzeichnis;
    std::filesystem::path altesVerzeichnis;
    bool gestartet = false;
};

namespace testhilfe {

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
