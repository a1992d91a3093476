// The hooks the operations call, the module's history and the lazily built window.
#include "trend/trend.h"

#include <chrono>
#include <string>

#ifndef KWD2_VERSION
#error "KWD2_VERSION comes from the build (the project version)"
#endif

#include "trend/history.h"
#include "trend/plot.h"
#include "trend/recording.h"
#include "trend/trend_testing.h"
#include "trend/trend_window.h"

namespace {

// Wall-clock seconds that never step back: the start time plus a steady clock.
double RealClock() {
    using namespace std::chrono;
    static const steady_clock::time_point kSteadyStart = steady_clock::now();
    static const double kWallStart = duration<double>(system_clock::now().time_since_epoch()).count();
    return kWallStart + duration<double>(steady_clock::now() - kSteadyStart).count();
}

struct Module {
    trend::History history;
    trend::Recording recording{KWD2_VERSION};
    void (*reportError)(int) = nullptr;
    // Built on first use and kept for the whole run, like the panels.
    trend::TrendWindow* window = nullptr;
    double (*clock)() = RealClock;
    double fullVolts = 250.0;
    double fullMilliamps = 6000.0;
};

Module& State() {
    static Module gModule;
    return gModule;
}

trend::TrendWindow& Window() {
    Module& m = State();
    if (m.window == nullptr) {
        m.window = new trend::TrendWindow(m.history);
        m.window->Plot().SetFullScale(m.fullVolts, m.fullMilliamps);
        m.window->AttachRecording(
            m.recording, [](const std::string& path) { Trend_Aufzeichnen(path.c_str()); },
            [] { Trend_AufzeichnungBeenden(); });
    }
    return *m.window;
}

void Repaint() {
    const Module& m = State();
    if (m.window != nullptr && m.window->isVisible()) m.window->Plot().update();
}

// A failed recording shows its code where every other failure shows; measuring goes on.
void Report(int code) {
    const Module& m = State();
    if (code != 0 && m.reportError != nullptr) m.reportError(code);
}

}  // namespace

void Trend_Messwert(int adresse, double spannung, double strom, int statusByte1) {
    Module& m = State();
    m.history.AddReading(m.clock(), adresse, spannung, strom, statusByte1);
    Repaint();
    Report(m.recording.Reading(adresse, spannung, strom, statusByte1));
}

void Trend_Fehlmessung(int adresse, int fehlerCode) {
    Module& m = State();
    m.history.AddFailure(m.clock());
    Repaint();
    Report(m.recording.Failure(adresse, fehlerCode));
}

void Trend_Messen(int ein) {
    // The timer reports "off" on every tick while measuring is off: repaint only for news.
    Module& m = State();
    if (ein == 0 && m.history.AddBreak(m.clock())) Repaint();
}

void Trend_Kennung(int adresse, const char* kennung) {
    Module& m = State();
    const std::string text = kennung != nullptr ? kennung : "";
    m.history.SetIdentification(adresse, text);
    Repaint();
    Report(m.recording.Identification(adresse, text));
}

void Trend_Sollwert(int adresse, int parameterSatz, int groesse, double wert) {
    Module& m = State();
    m.history.SetValue(m.clock(), adresse, parameterSatz,
                       groesse == 0 ? trend::Quantity::kVolts : trend::Quantity::kMilliamps, wert);
    Repaint();
}

void Trend_Skalenendwerte(double spannung, double strom) {
    Module& m = State();
    m.fullVolts = spannung;
    m.fullMilliamps = strom;
    if (m.window != nullptr) m.window->Plot().SetFullScale(spannung, strom);
}

void Trend_Anzeigen() {
    trend::TrendWindow& window = Window();
    window.show();
    window.raise();
    window.activateWindow();
}

void Trend_Anbinden(void (*fehlerMelden)(int), int (*comPort)()) {
    Module& m = State();
    m.reportError = fehlerMelden;
    m.recording.SetPortQuery(comPort);
}

int Trend_Aufzeichnen(const char* pfad) {
    const int code = State().recording.Start(pfad != nullptr ? pfad : "");
    Report(code);
    return code;
}

void Trend_AufzeichnungBeenden() {
    Report(State().recording.Stop());
}

namespace trendtest {

void SetClock(double (*clock)()) {
    State().clock = clock != nullptr ? clock : RealClock;
}

const trend::History& History() {
    return State().history;
}

trend::TrendWindow& Window() {
    return ::Window();
}

const trend::Recording& Recording() {
    return State().recording;
}

}  // namespace trendtest
