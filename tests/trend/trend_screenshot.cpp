// Renders the trend window for the README after six simulated minutes of one operator session:
// the simulator's device model (Tau lag, current limit, auto range) runs on a simulated clock
// and the program's hooks get what the live readout would have read every 0.5 s.
//   kwd2_trend_screenshot <directory>     writes trend-window.png
#include <QApplication>
#include <QPushButton>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/userint.h"
#include "sim/device.h"
#include "trend/plot.h"
#include "trend/trend.h"
#include "trend/trend_testing.h"
#include "trend/trend_window.h"

namespace {

using kwd2sim::detail::Device;
using kwd2sim::detail::RegisterByName;

constexpr double kStart = 1796637600.0;  // a fixed morning, so the picture does not change
double now = 0.0;                        // seconds since kStart
double Clock() {
    return kStart + now;
}

struct Bus {
    Device dev3{3, "ZEL-KWD2-V1.5", true, 100.0, 0.0};
    Device dev5{5, "ZEL-KWD2-V1.5 Nr. 2", true, 50.0, 0.0};
    Device& at(int address) { return address == 3 ? dev3 : dev5; }
};

void Write(Bus& bus, int address, const char* name, double value) {
    bus.at(address).SetRegisterValue(RegisterByName(name), value, now);
    const std::string n = name;
    if (n.size() == 6 && n.substr(1, 4) == "soll")
        Trend_Sollwert(address, n[5] - '0', n[0] == 'u' ? 0 : 1, value);
}

void Read(Bus& bus, int address) {
    Device& d = bus.at(address);
    const double volts = d.RegisterValue(RegisterByName("uist"), now);
    const double milliamps = d.RegisterValue(RegisterByName("iist"), now);
    // The device reports with 2 and 1 decimals, as on the wire.
    Trend_Messwert(address, std::round(volts * 100) / 100, std::round(milliamps * 10) / 10, d.Status(1, now));
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::filesystem::path target = std::filesystem::absolute(argv[1]) / "trend-window.png";
    if (InitRunTimeEngine(nullptr, argv, nullptr) == 0) return 1;
    trendtest::SetClock(Clock);

    Bus bus;
    Trend_Kennung(3, "ZEL-KWD2-V1.5");
    Write(bus, 3, "usoll1", 120);
    Write(bus, 3, "isoll1", 1500);
    Write(bus, 3, "tauu1", 10);
    Write(bus, 3, "taui1", 4);
    Write(bus, 3, "usoll2", 40);
    Write(bus, 3, "isoll2", 800);
    Write(bus, 3, "tauu2", 20);
    Write(bus, 3, "taui2", 20);
    Trend_Messen(1);
    int address = 3;
    for (int tick = 0; tick <= 720; ++tick) {
        now = tick * 0.5;
        if (tick == 10) bus.dev3.Handle("DF1", now);           // Start
        if (tick == 180) bus.dev3.SelectParameterSet(2, now);  // the device's set switch
        if (tick == 360) bus.dev3.SelectParameterSet(1, now);
        if (tick == 380) Write(bus, 3, "usoll1", 180);  // runs into the current limit
        if (tick == 520) {                              // the operator picks address 5
            address = 5;
            Trend_Kennung(5, "ZEL-KWD2-V1.5 Nr. 2");
            Write(bus, 5, "usoll1", 60);
            Write(bus, 5, "isoll1", 2000);
            Write(bus, 5, "tauu1", 6);
            bus.dev5.Handle("DF1", now);
        }
        if (tick >= 300 && tick < 304) {
            Trend_Fehlmessung(address, -301000);  // a few ticks without an answer: measuring stops
            if (tick == 303) Trend_Messen(0);
        } else if (tick >= 304 && tick < 320) {
            // measuring off for a few seconds, then on again
        } else {
            Read(bus, address);
        }
    }

    trend::TrendWindow& window = trendtest::Window();
    window.resize(960, 620);
    Trend_Anzeigen();
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Alle")) button->click();
    }
    QApplication::processEvents();
    const bool ok = window.grab().save(QString::fromStdString(target.string()), "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "could not write", target.c_str());
    return ok ? 0 : 1;
}
