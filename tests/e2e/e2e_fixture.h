// The real program against the simulated bus: ProgrammStarten in a scratch working directory,
// offscreen widgets driven through the uitest seam, kwd2sim in-process behind a pty on COM1.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/kwd2sim.h"

class E2e : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator (devices added before) and the program; calibration mode on request.
    void Starten(bool kalibrierModus = false);

    // Panel access on the main panel.
    static double Zahl(int control);
    static int Ganz(int control);
    static std::string Text(int control);
    static int Attribut(int control, int attribute);

    // What a person does on the main panel.
    static void Klick(int control);
    static void Eingeben(int control, double value);
    static void Waehlen(int control, int value);
    static void Tick();

    // The error display as the operator sees it: lamp, number, text.
    static void ErwarteFehleranzeige(int positiveNumber);
    // Answers the next `anzahl` message popups (an error popup is expected, not a failure).
    static void PopupsBeantworten(int anzahl = 1);
    // A write to all devices reads no answer, so the call returns before the simulator has
    // necessarily taken the request in: wait (bounded) until `bedingung` holds, then check.
    static bool WarteBis(const std::function<bool()>& bedingung);
    // The message popups shown since the last call (titles "Fehler #n"); clears the record.
    static std::vector<std::string> PopupTitel();

    // Switches `address` to `fault` as soon as the host has sent `request` (watching the trace
    // from a second thread); with the address slowed down first, the exchange in flight still
    // ends normally and the fault hits exactly the next request. Join the thread afterwards.
    std::thread FehlerNach(int address, std::string request, kwd2sim::Fault fault);

    std::string DateiInhalt(const std::filesystem::path& path) const;
    void DateiSchreiben(const std::filesystem::path& path, const std::string& bytes) const;

    std::unique_ptr<kwd2sim::Simulator> sim;
    std::filesystem::path verzeichnis;  // the program's working directory

  private:
    std::filesystem::path vorher;
    bool gestartet = false;
};
