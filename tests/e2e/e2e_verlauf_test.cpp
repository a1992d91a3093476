// The trend window fed by the real program: the "Verlauf" button, ticks and failed ticks,
// measuring off, a change of bus address, and set values written or read back.
#include <QApplication>
#include <QWidget>
#include <limits>
#include <string>

#include "app/kwd2Test.h"
#include "platform/userint.h"
#include "platform/userint_qt.h"
#include "tests/support/programm_fixture.h"
#include "trend/history.h"
#include "trend/trend_testing.h"
#include "trend/trend_window.h"
#include "ui/kwd2Steuerung.h"

namespace {

constexpr double kSpaeter = std::numeric_limits<double>::max();

class Verlauf : public Programm {
  protected:
    static const trend::History& Verlaufsdaten() { return trendtest::History(); }
    // R reading, F failed tick, B measuring off; with the address of each reading.
    static std::string Proben() {
        const trend::History& h = Verlaufsdaten();
        std::string text;
        for (auto i = h.FirstIndex(); i < h.EndIndex(); ++i) {
            const trend::Sample& s = h.At(i);
            if (s.kind == trend::SampleKind::kReading) {
                text += "R" + std::to_string(h.FindSeries(s.series)->address);
            } else {
                text += s.kind == trend::SampleKind::kFailed ? "F" : "B";
            }
        }
        return text;
    }
};

class VerlaufKnopf : public Verlauf, public testing::WithParamInterface<bool> {};

TEST_P(VerlaufKnopf, ShowsTheTrendWindowInBothRunModes) {
    AmSimulatorStarten(GetParam());
    EXPECT_EQ(Attribut(PANEL_VERLAUF, ATTR_VISIBLE), 1);
    Klick(PANEL_VERLAUF);
    trend::TrendWindow& fenster = trendtest::Window();
    EXPECT_TRUE(fenster.isVisible());
    EXPECT_EQ(fenster.windowTitle(), QString::fromUtf8("KWD2-Steuerung V1.5 \u2013 Verlauf"));
    fenster.close();  // only hides; the program runs on
    EXPECT_FALSE(fenster.isVisible());
    EXPECT_TRUE(uiqt::PanelWidget(gPanelHandle)->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Modes, VerlaufKnopf, testing::Values(false, true));

TEST_F(Verlauf, TicksFailuresMeasuringOffAndAddressChangesMakeTheHistory) {
    sim->AddKwd2(2, "ZEL-KWD2-Nr2");
    sim->AddKwd2(5);
    AmSimulatorStarten();
    Waehlen(PANEL_PORT, 1);
    Waehlen(PANEL_KWDID, 2);
    Klick(PANEL_IDLESEN);
    Klick(PANEL_MESSEN);
    Tick();
    Tick();
    sim->SetFault(2, kwd2sim::Fault::kNak);
    Tick();  // fails: measuring goes off, the curve breaks once
    ASSERT_EQ(Int(PANEL_MESSEN), 0);
    Tick();
    sim->SetFault(2, kwd2sim::Fault::kNone);
    Waehlen(PANEL_KWDID, 5);
    Klick(PANEL_MESSEN);
    Tick();
    Klick(PANEL_MESSEN);  // off
    Tick();
    EXPECT_EQ(Proben(), "R2R2FR5B");
    const auto& serien = Verlaufsdaten().Series();
    ASSERT_EQ(serien.size(), 2u);
    EXPECT_EQ(serien[0].identification, "ZEL-KWD2-Nr2");
    EXPECT_EQ(serien[1].address, 5);
    EXPECT_EQ(serien[1].identification, "");  // never identified
}

TEST_F(Verlauf, SetValuesWrittenOrReadBackAreTheStepLines) {
    sim->AddKwd2(2);
    AmSimulatorStarten();
    Waehlen(PANEL_PORT, 1);
    Waehlen(PANEL_KWDID, 2);
    Eingeben(PANEL_SPANNUNGSOLL2, 12.5);
    Eingeben(PANEL_ZEITPULS, 2.0);  // undims the pulse controls
    Eingeben(PANEL_STROMPULS, 250.0);
    EXPECT_EQ(Verlaufsdaten().SetValueAt(2, 2, trend::Quantity::kVolts, kSpaeter), 12.5);
    EXPECT_EQ(Verlaufsdaten().SetValueAt(2, 3, trend::Quantity::kMilliamps, kSpaeter), 250.0);

    sim->SetRegisterValue(2, "isoll1", 300.0);
    sim->SetRegisterValue(2, "usoll2", 20.0);
    Klick(PANEL_PARAMETERLESEN);
    EXPECT_EQ(Verlaufsdaten().SetValueAt(2, 1, trend::Quantity::kMilliamps, kSpaeter), 300.0);
    EXPECT_EQ(Verlaufsdaten().SetValueAt(2, 2, trend::Quantity::kVolts, kSpaeter), 20.0);

    Waehlen(PANEL_KWDID, 9);  // all devices
    Eingeben(PANEL_SPANNUNGSOLL, 7.0);
    ASSERT_TRUE(WarteBis([&] { return sim->RegisterValue(2, "usoll1") == 7.0; }));
    EXPECT_EQ(Verlaufsdaten().SetValueAt(6, 1, trend::Quantity::kVolts, kSpaeter), 7.0);
    // A failed write changes nothing.
    Waehlen(PANEL_KWDID, 2);
    sim->SetFault(2, kwd2sim::Fault::kNak);
    Eingeben(PANEL_SPANNUNGSOLL, 99.0);
    EXPECT_EQ(Verlaufsdaten().SetValueAt(2, 1, trend::Quantity::kVolts, kSpaeter), 7.0);
}

}  // namespace
