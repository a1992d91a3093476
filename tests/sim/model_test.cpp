#include <gtest/gtest.h>

#include <vector>

#include "sim/kwd2sim.h"
#include "tests/sim/pty_host.h"

namespace {

struct OutputCase {
    double volts;
    double milliamps;
    double ohms;
    int range = 0;  // configured range of set 1, 0 = Auto
    double expectVolts;
    double expectMilliamps;
    int expectStatus1;
    int expectStatus2;
};

// Tau 0: the output settles at once. Auto picks the smallest of 6/60/600/6000 mA that fits.
// clang-format off
const std::vector<OutputCase> kOutputs = {
    {.volts = 12.5, .milliamps = 1000.0, .ohms = 100.0,  // voltage-controlled, range 3
     .expectVolts = 12.5, .expectMilliamps = 125.0, .expectStatus1 = 0b100, .expectStatus2 = 0b001},
    {.volts = 12.5, .milliamps = 100.0, .ohms = 100.0,  // current limit reached
     .expectVolts = 10.0, .expectMilliamps = 100.0, .expectStatus1 = 0b100, .expectStatus2 = 0b101},
    {.volts = 5.0, .milliamps = 1000.0, .ohms = 100.0,  // range 2
     .expectVolts = 5.0, .expectMilliamps = 50.0, .expectStatus1 = 0b010, .expectStatus2 = 0b001},
    {.volts = 1.0, .milliamps = 1000.0, .ohms = 1000.0,  // range 1
     .expectVolts = 1.0, .expectMilliamps = 1.0, .expectStatus1 = 0b000, .expectStatus2 = 0b001},
    {.volts = 250.0, .milliamps = 6000.0, .ohms = 10.0,  // range 4
     .expectVolts = 60.0, .expectMilliamps = 6000.0, .expectStatus1 = 0b110, .expectStatus2 = 0b101},
    {.volts = 1.0, .milliamps = 1000.0, .ohms = 1000.0, .range = 4,  // fixed range 4 shown as such
     .expectVolts = 1.0, .expectMilliamps = 1.0, .expectStatus1 = 0b110, .expectStatus2 = 0b001},
};
// clang-format on

class ModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim.AddKwd2(3, "ZEL-KWD2-V1.5", 100.0);
        sim.Start();
    }
    double read(const std::string& name) { return sim.RegisterValue(3, name); }
    kwd2sim::Simulator sim;
};

TEST_F(ModelTest, OutputSettlesIntoTheLoad) {
    for (const auto& c : kOutputs) {
        kwd2sim::Simulator line;
        line.AddKwd2(0, "ZEL-KWD2-V1.5", c.ohms);
        line.SetRegisterValue(0, "usoll1", c.volts);
        line.SetRegisterValue(0, "isoll1", c.milliamps);
        line.Start();
        simtest::Host host(line.Path());
        ASSERT_EQ(host.exchange("#0M1W" + std::to_string(c.range) + "\r", 1), simtest::kAck);
        ASSERT_EQ(host.exchange("#0DF1\r", 1), simtest::kAck);
        const std::string context = std::to_string(c.volts) + " V " + std::to_string(c.milliamps) + " mA";
        EXPECT_NEAR(line.RegisterValue(0, "uist"), c.expectVolts, 1e-9) << context;
        EXPECT_NEAR(line.RegisterValue(0, "iist"), c.expectMilliamps, 1e-9) << context;
        char status[16];
        std::snprintf(status, sizeof status, "$%02X\r", c.expectStatus1);
        EXPECT_REPLY(host, "#0S1R\r", simtest::kAck + "#0S1R" + status);
        std::snprintf(status, sizeof status, "$%02X\r", c.expectStatus2);
        EXPECT_REPLY(host, "#0S2R\r", simtest::kAck + "#0S2R" + status);
    }
}

TEST_F(ModelTest, StopBringsTheOutputToZero) {
    sim.SetRegisterValue(3, "usoll1", 20.0);
    sim.SetRegisterValue(3, "isoll1", 1000.0);
    simtest::Host host(sim.Path());
    host.exchange("#3DF1\r", 1);
    EXPECT_DOUBLE_EQ(read("uist"), 20.0);
    EXPECT_REPLY(host, "#3VL\r", simtest::kAck + "#320.000V\r");
    EXPECT_REPLY(host, "#3AL\r", simtest::kAck + "#3200.000MA\r");
    host.exchange("#3DF2\r", 1);
    EXPECT_FALSE(sim.Running(3));
    EXPECT_DOUBLE_EQ(read("uist"), 0.0);
    EXPECT_DOUBLE_EQ(read("iist"), 0.0);
}

TEST_F(ModelTest, ValuesApproachTheSetValueWithTau) {
    sim.SetRegisterValue(3, "usoll1", 250.0);
    sim.SetRegisterValue(3, "isoll1", 6000.0);
    sim.SetRegisterValue(3, "tauu1", 1000.0);
    simtest::Host host(sim.Path());
    host.exchange("#3DF1\r", 1);
    const double first = read("uist");
    const double second = read("uist");
    EXPECT_GT(first, 0.0);
    EXPECT_LE(first, second);
    EXPECT_LT(second, 250.0);
    // Tau back to 0: from now on the output follows at once.
    sim.SetRegisterValue(3, "tauu1", 0.0);
    EXPECT_DOUBLE_EQ(read("uist"), 250.0);
}

TEST_F(ModelTest, SecondParameterSetShowsInStatusBitZero) {
    sim.SetRegisterValue(3, "usoll1", 1.0);
    sim.SetRegisterValue(3, "usoll2", 30.0);
    sim.SetRegisterValue(3, "isoll2", 1000.0);
    simtest::Host host(sim.Path());
    host.exchange("#3DF1\r", 1);
    sim.SelectParameterSet(3, 2);
    EXPECT_DOUBLE_EQ(read("uist"), 30.0);
    EXPECT_REPLY(host, "#3S1R\r", simtest::kAck + "#3S1R$05\r");  // set 2, range 3
}

TEST_F(ModelTest, PulsePhaseDrivesTheOutputFirst) {
    sim.SetRegisterValue(3, "usoll1", 10.0);
    sim.SetRegisterValue(3, "isoll1", 1000.0);
    sim.SetRegisterValue(3, "usoll3", 40.0);
    sim.SetRegisterValue(3, "isoll3", 1000.0);
    sim.SetRegisterValue(3, "zeit3", 1000.0);
    simtest::Host host(sim.Path());
    host.exchange("#3DF1\r", 1);
    EXPECT_DOUBLE_EQ(read("uist"), 40.0);
    EXPECT_REPLY(host, "#3S2R\r", simtest::kAck + "#3S2R$03\r");  // running, pulse
    // Without a pulse time, start goes straight to parameter set 1.
    sim.SetRegisterValue(3, "zeit3", 0.0);
    host.exchange("#3DF1\r", 1);
    EXPECT_DOUBLE_EQ(read("uist"), 10.0);
    EXPECT_REPLY(host, "#3S2R\r", simtest::kAck + "#3S2R$01\r");
}

TEST_F(ModelTest, CalibrationFactorsScaleSetAndMeasuredValues) {
    sim.SetRegisterValue(3, "usoll1", 10.0);
    sim.SetRegisterValue(3, "isoll1", 1000.0);
    simtest::Host host(sim.Path());
    host.exchange("#3DF1\r", 1);
    host.exchange("#303W2.000000\r", 1);   // uist_v
    host.exchange("#304W-0.500000\r", 1);  // uist_off
    EXPECT_DOUBLE_EQ(read("uist"), 19.5);
    host.exchange("#301W1.100000\r", 1);  // usoll_v: the output itself rises to 11 V
    EXPECT_DOUBLE_EQ(read("uist"), 21.5);
    EXPECT_NEAR(read("iist"), 110.0, 1e-9);
}

}  // namespace
