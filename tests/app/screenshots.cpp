// Saves pictures of the panels for the README: starts the program offscreen in a temporary
// working directory (so no settings are read or written) and renders the panels into PNGs.
//   kwd2_screenshots <directory>
// writes main-panel.png (normal mode), or, with the access code as second argument,
// main-panel-calibration.png and calculator-panel.png.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/kwd2Test.h"
#include "platform/userint.h"
#include "platform/userint_testing.h"
#include "tests/support/temp_dir.h"
#include "ui/kwd2Steuerung.h"

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <directory> [access code]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::filesystem::path ziel = std::filesystem::absolute(argv[1]);
    const testsupport::TempDir arbeitsverzeichnis("kwd2_screenshots");
    std::filesystem::current_path(arbeitsverzeichnis.path());

    char programm[] = "kwd2steuerung";
    char* argumente[] = {programm, argc == 3 ? argv[2] : nullptr, nullptr};
    if (ProgrammStarten(argc == 3 ? 2 : 1, argumente) != 0) return 1;
    uitest::ProcessEvents();

    bool ok = true;
    if (gKalibrierModus == 0) {
        ok = uitest::SaveScreenshot(gPanelHandle, (ziel / "main-panel.png").string());
    } else {
        ok = uitest::SaveScreenshot(gPanelHandle, (ziel / "main-panel-calibration.png").string());
        Kalibrierrechner_Callback(gPanelHandle, PANEL_RECHNER, EVENT_COMMIT, nullptr, 0, 0);
        uitest::ProcessEvents();
        ok = uitest::SaveScreenshot(gRechnerPanelHandle, (ziel / "calculator-panel.png").string()) && ok;
    }
    std::filesystem::current_path("/");
    return ok ? 0 : 1;
}
