// Live readout: the polling tick, its failures and the status lamps.
#include <array>

#include "app/kwd2Test.h"
#include "app/kwd2TestFunc.h"
#include "driver/zelkwd2.h"
#include "platform/userint.h"
#include "tests/support/programm_fixture.h"
#include "ui/kwd2Steuerung.h"

namespace {

constexpr std::array<int, 6> kStatusLampen{PANEL_LEDPARAMETERSATZ1, PANEL_LEDPARAMETERSATZ2,
                                           PANEL_LEDBEREICH1,       PANEL_LEDBEREICH2,
                                           PANEL_LEDBEREICH3,       PANEL_LEDBEREICH4};

class Messen : public Programm {
  protected:
    // A device at address 2 whose stopped output reads as 12.5 V and 42.25 mA.
    void MitGeraetStarten() {
        sim->AddKwd2(2);
        sim->SetRegisterValue(2, "uist_off", 12.5);
        for (const char* offset : {"iist1_off", "iist2_off", "iist3_off", "iist4_off"}) {
            sim->SetRegisterValue(2, offset, 42.25);
        }
        AmSimulatorStarten();
        Waehlen(PANEL_PORT, 1);
        Waehlen(PANEL_KWDID, 2);
    }

    static std::array<int, 6> Lampen() {
        std::array<int, 6> an{};
        for (std::size_t i = 0; i < an.size(); ++i) an[i] = Int(kStatusLampen[i]);
        return an;
    }

    static void ErwarteGedimmt(int gedimmt) {
        for (const int lampe : kStatusLampen) EXPECT_EQ(Attribut(lampe, ATTR_DIMMED), gedimmt) << lampe;
    }
};

TEST_F(Messen, WithoutPortTheFirstTickFailsAndSwitchesMeasuringOff) {
    AmSimulatorStarten();
    Klick(PANEL_MESSEN);
    ASSERT_EQ(Int(PANEL_MESSEN), 1);
    ErwarteGedimmt(0);
    Tick();
    ErwarteFehleranzeige(122212);
    EXPECT_EQ(Int(PANEL_MESSEN), 0);
    ErwarteGedimmt(1);
}

TEST_F(Messen, WithAllDevicesTheTickStopsMeasuringSilently) {
    MitGeraetStarten();
    Waehlen(PANEL_KWDID, 9);
    Klick(PANEL_MESSEN);
    sim->ClearTrace();
    Tick();
    EXPECT_EQ(Int(PANEL_MESSEN), 0);
    ErwarteFehleranzeige(0);
    ErwarteGedimmt(0);  // switching on undimmed them; the tick leaves that alone
    EXPECT_EQ(sim->HostBytes(), "");
}

TEST_F(Messen, TickShowsValuesAndTheStatusByteOnTheLamps) {
    MitGeraetStarten();
    sim->ClearTrace();
    Tick();  // measuring is off: no traffic
    EXPECT_EQ(sim->HostBytes(), "");

    Klick(PANEL_MESSEN);
    struct Fall {
        int status;
        std::array<int, 6> lampen;  // set 1, set 2, range 1..4
    };
    const Fall faelle[] = {
        {0x00, {1, 0, 1, 0, 0, 0}}, {0x04, {1, 0, 0, 0, 1, 0}}, {0x05, {0, 1, 0, 0, 1, 0}},
        {0x06, {1, 0, 0, 0, 0, 1}}, {0x07, {0, 1, 0, 0, 0, 1}}, {0xFA, {1, 0, 0, 1, 0, 0}},
    };
    for (const Fall& fall : faelle) {
        sim->SetStatusByte(2, 1, fall.status);
        sim->ClearTrace();
        Tick();
        EXPECT_EQ(sim->HostBytes(), "#2V0R\r#2C0R\r#2S1R\r");
        EXPECT_EQ(Lampen(), fall.lampen) << "status " << fall.status;
        EXPECT_EQ(Int(PANEL_MESSEN), 1);
    }
    EXPECT_DOUBLE_EQ(Double(PANEL_SPANNUNG), 12.5);
    EXPECT_DOUBLE_EQ(Double(PANEL_STROM), 42.25);
    ErwarteFehleranzeige(0);

    // Switching off zeroes both readouts and dims the lamps, which keep their states.
    Klick(PANEL_MESSEN);
    EXPECT_EQ(Double(PANEL_SPANNUNG), 0.0);
    EXPECT_EQ(Double(PANEL_STROM), 0.0);
    ErwarteGedimmt(1);
    EXPECT_EQ(Lampen(), (std::array<int, 6>{1, 0, 0, 1, 0, 0}));
}

TEST_F(Messen, LeavingWhileMeasuringWithTheOutputOnSendsNothingAndClosesTheLine) {
    MitGeraetStarten();
    Klick(PANEL_START);
    ErwarteFehleranzeige(0);
    ASSERT_TRUE(sim->Running(2));
    Klick(PANEL_MESSEN);
    Tick();
    ASSERT_EQ(Int(PANEL_MESSEN), 1);

    sim->ClearTrace();
    Klick(PANEL_ENDE);
    EXPECT_EQ(sim->HostBytes(), "");  // no stop command: the output keeps running
    EXPECT_TRUE(sim->Running(2));
    EXPECT_EQ(Int(PANEL_MESSEN), 0);
    EXPECT_EQ(ZELKWD2_Close(1), -103003);  // already closed by the exit sequence
    EXPECT_TRUE(std::filesystem::exists(arbeitsverzeichnis / "kwd2steuerung.ini"));
}

TEST_F(Messen, CurrentReadFailingAfterTheVoltageKeepsTheVoltageShown) {
    MitGeraetStarten();
    sim->SetStatusByte(2, 1, 0x00);
    Klick(PANEL_MESSEN);
    Tick();
    ASSERT_EQ(Lampen(), (std::array<int, 6>{1, 0, 1, 0, 0, 0}));

    sim->SetRegisterValue(2, "uist_off", 99.75);
    for (const char* offset : {"iist1_off", "iist2_off", "iist3_off", "iist4_off"}) {
        sim->SetRegisterValue(2, offset, 7.0);
    }
    sim->SetStatusByte(2, 1, 0x07);
    sim->SetSlowDelay(0.05);
    sim->SetFault(2, kwd2sim::Fault::kSlow);
    sim->ClearTrace();
    std::thread stumm = FehlerNach(2, "#2V0R\r", kwd2sim::Fault::kSilent);
    Tick();
    stumm.join();

    ErwarteFehleranzeige(403078);
    EXPECT_DOUBLE_EQ(Double(PANEL_SPANNUNG), 99.75);
    EXPECT_DOUBLE_EQ(Double(PANEL_STROM), 42.25);
    EXPECT_EQ(Lampen(), (std::array<int, 6>{1, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Int(PANEL_MESSEN), 0);
    ErwarteGedimmt(1);
    EXPECT_EQ(sim->HostBytes(), "#2V0R\r#2C0R\r");
}

}  // namespace
