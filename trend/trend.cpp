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
    static const steady_clock::time_point steadyStart = steady_clock::now();
    static const double wallStart = duration<double>(system_clock::now().time_since_epoch()).count();
    return wallStart + duration<double>(steady_clock::now() - steadyStart).count();
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
    static Module module;
    return module;
}

trend::TrendWindow& Window() {
    Module& m = State();
    if (m.window == nullptr) {
        m.window = new trend::TrendWindow(m.history);
        m.window->plot().setFullScale(m.fullVolts, m.fullMilliamps);
        m.window->attachRecording(
            m.recording, [](const std::string& path) { Trend_Aufzeichnen(path.c_str()); },
            [] { Trend_AufzeichnungBeenden(); });
    }
    return *m.window;
}

void Repaint() {
    const Module& m = State();
    if (m.window != nullptr && m.window->isVisible()) m.window->plot().update();
}

// A failed recording shows its code where every other failure shows; measuring goes on.
void Report(int code) {
    const Module& m = State();
    if (code != 0 && m.reportError != nullptr) m.reportError(code);
}

}  // namespace

void Trend_Messwert(int adresse, double spannung, double strom, int statusByte1) {
    Module& m = State();
    m.history.addReading(m.clock(), adresse, spannung, strom, statusByte1);
    Repaint();
    Report(m.recording.reading(adresse, spannung, strom, statusByte1));
}

void Trend_Fehlmessung(int adresse, int fehlerCode) {
    Module& m = State();
    m.history.addFailure(m.clock());
    Repaint();
    Report(m.recording.failure(adresse, fehlerCode));
}

void Trend_Messen(int ein) {
    // The timer reports "off" on every tick while measuring is off: repaint only for news.
    Module& m = State();
    if (ein == 0 && m.history.addBreak(m.clock())) Repaint();
}

void Trend_Kennung(int adresse, const char* kennung) {
    Module& m = State();
    const std::string text = kennung != nullptr ? kennung : "";
    m.history.setIdentification(adresse, text);
    Repaint();
    Report(m.recording.identification(adresse, text));
}

void Trend_Sollwert(int adresse, int parameterSatz, int groesse, double wert) {
    Module& m = State();
    m.history.setValue(m.clock(), adresse, parameterSatz,
                       groesse == 0 ? trend::Quantity::Volts : trend::Quantity::Milliamps, wert);
    Repaint();
}

void Trend_Skalenendwerte(double spannung, double strom) {
    Module& m = State();
    m.fullVolts = spannung;
    m.fullMilliamps = strom;
    if (m.window != nullptr) m.window->plot().setFullScale(spannung, strom);
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
    m.recording.setPortQuery(comPort);
}

int Trend_Aufzeichnen(const char* pfad) {
    const int code = State().recording.start(pfad != nullptr ? pfad : "");
    Report(code);
    return code;
}

void Trend_AufzeichnungBeenden() {
    Report(State().recording.stop());
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
