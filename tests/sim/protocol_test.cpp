#include <gtest/gtest.h>

#include <vector>

#include "sim/kwd2sim.h"
#include "tests/sim/pty_host.h"

using simtest::kAck;
using simtest::kNak;

namespace {

struct Exchange {
    const char* request;  // without the CR
    std::string reply;    // everything the device sends back, CR included
};

// Exchanges run in order against one device at address 2 (load 100 ohms), so later rows see
// the state earlier rows left behind.
const std::vector<Exchange> kExchanges = {
    {"#2IDR", kAck + "#2ZEL-KWD2-V1.5\r"},
    // Defaults: set values 0, gains 1, offsets 0, ranges Auto.
    {"#2V1R", kAck + "#2V1R0.0\r"},
    {"#2C2R", kAck + "#2C2R0.0\r"},
    {"#2F1R", kAck + "#2F1R0.000\r"},
    {"#201R", kAck + "#201R1.000000\r"},
    {"#220R", kAck + "#220R0.000000\r"},
    {"#2M3R", kAck + "#2M3R0\r"},
    // Writes are acknowledged and read back in the register's own format.
    {"#2V1W12.5", kAck},
    {"#2V1R", kAck + "#2V1R12.5\r"},
    {"#2C1W6000.0", kAck},
    {"#2C1R", kAck + "#2C1R6000.0\r"},
    {"#2F1W0.500", kAck},
    {"#2F1R", kAck + "#2F1R0.500\r"},
    {"#2T3W1.250", kAck},
    {"#2T3R", kAck + "#2T3R1.250\r"},
    {"#202W-3.250000", kAck},
    {"#202R", kAck + "#202R-3.250000\r"},
    {"#219W999999.999999", kAck},
    {"#219R", kAck + "#219R999999.999999\r"},
    // A value too large for the reply field reads back saturated, never longer than the host reads.
    {"#220W-99999999999999999999", kAck},
    {"#220R", kAck + "#220R-999999999999\r"},
    {"#220W0", kAck},
    {"#2M2W4", kAck},
    {"#2M2R", kAck + "#2M2R4\r"},
    // Direct set commands: selector letters V/W and A/B set parameter sets 1 and 2.
    {"#2VS250.0", kAck},
    {"#2WS7.5", kAck},
    {"#2AS1.0", kAck},
    {"#2BS2.5", kAck},
    {"#2V1R", kAck + "#2V1R250.0\r"},
    {"#2V2R", kAck + "#2V2R7.5\r"},
    {"#2C1R", kAck + "#2C1R1.0\r"},
    {"#2C2R", kAck + "#2C2R2.5\r"},
    // Output off: measured values are zero, in both readback forms.
    {"#2V0R", kAck + "#2V0R0.000\r"},
    {"#2C0R", kAck + "#2C0R0.000\r"},
    {"#2VL", kAck + "#20.000V\r"},
    {"#2AL", kAck + "#20.000MA\r"},
    {"#2S1R", kAck + "#2S1R$00\r"},
    {"#2S2R", kAck + "#2S2R$00\r"},
    {"#2DF1", kAck},
    {"#2DF2", kAck},
    // Refused: limits, read-only registers, unknown codes, malformed values and frames.
    {"#2V1W250.1", kNak},
    {"#2C1W-0.1", kNak},
    {"#2F2W-0.001", kNak},
    {"#201W0.000000", kNak},
    {"#2V0W1.0", kNak},
    {"#2C0W1.0", kNak},
    {"#2V1W1.2.3", kNak},
    {"#2V1W", kNak},
    {"#2V1W.5", kNak},
    {"#2M1W5", kNak},
    {"#2M4R", kNak},
    {"#2S3R", kNak},
    {"#2DF3", kNak},
    {"#2X9R", kNak},
    {"#2V1RX", kNak},
    {"#2idr", kNak},
    {"#2", kNak},
    // Refused writes changed nothing.
    {"#2V1R", kAck + "#2V1R250.0\r"},
    {"#201R", kAck + "#201R1.000000\r"},
};

class ProtocolTest : public ::testing::Test {
  protected:
    ProtocolTest() {
        sim.AddKwd2(2);
        sim.AddForeign(5, "FOREIGN-DEVICE");
        sim.Start();
    }
    kwd2sim::Simulator sim;
    simtest::Host host{sim.Path()};
};

TEST_F(ProtocolTest, AnswersEveryCommandByteForByte) {
    for (const auto& e : kExchanges) {
        EXPECT_EQ(host.exchange(std::string(e.request) + "\r", e.reply.size()), e.reply) << e.request;
    }
}

TEST_F(ProtocolTest, AcceptsBytesWithParityBitSet) {
    std::string request = "#2IDR\r";
    for (char& c : request) c = static_cast<char>(static_cast<unsigned char>(c) | 0x80);
    EXPECT_REPLY(host, request, kAck + "#2ZEL-KWD2-V1.5\r");
}

TEST_F(ProtocolTest, IgnoresNoiseAndRestartsOnHash) {
    // Stray bytes before a request and an interrupted request are dropped; the last '#' counts.
    EXPECT_REPLY(host, "xx\x06#2V1#2M1R\r", kAck + "#2M1R0\r");
}

TEST_F(ProtocolTest, ForeignDeviceIdentifiesAndRefusesTheRest) {
    EXPECT_REPLY(host, "#5IDR\r", kAck + "#5FOREIGN-DEVICE\r");
    EXPECT_REPLY(host, "#5V1R\r", kNak);
    EXPECT_REPLY(host, "#5DF1\r", kNak);
}

TEST_F(ProtocolTest, EmptyAddressesAndTheCommonAddressStaySilent) {
    sim.AddKwd2(7);
    // Each silent request is followed by one that is answered: anything sent for the silent
    // one would come first.
    // A frame whose second character is no address digit is addressed to nobody.
    for (const char* silent : {"#4IDR\r", "#X\r", "#\r", "#A2IDR\r", "#9V1W5.0\r", "#9IDR\r", "#9DF1\r"}) {
        host.send(silent);
        EXPECT_REPLY(host, "#2M1R\r", kAck + "#2M1R0\r");
    }
    // ...yet every device carried out the common set commands.
    for (int address : {2, 7}) {
        EXPECT_DOUBLE_EQ(sim.RegisterValue(address, "usoll1"), 5.0);
        EXPECT_TRUE(sim.Running(address));
    }
    host.send("#9DF2\r");
    EXPECT_REPLY(host, "#7DF2\r", kAck);
    EXPECT_FALSE(sim.Running(2));
}

TEST_F(ProtocolTest, StateAccessorsMatchTheWire) {
    host.exchange("#2M3W2\r", 1);
    EXPECT_EQ(sim.Range(2, 3), 2);
    sim.SetRegisterValue(2, "isoll2", 123.4);
    EXPECT_REPLY(host, "#2C2R\r", kAck + "#2C2R123.4\r");
    sim.SetStatusByte(2, 2, 0xA7);
    EXPECT_REPLY(host, "#2S2R\r", kAck + "#2S2R$A7\r");
    EXPECT_THROW(sim.RegisterValue(2, "USOLL1"), std::invalid_argument);
    EXPECT_THROW(sim.RegisterValue(3, "usoll1"), std::invalid_argument);
}

TEST_F(ProtocolTest, RepliesStayWithinTheHostsLimits) {
    // Values too long for the reply lose decimals rather than overrun the host's buffer.
    sim.SetRegisterValue(2, "usoll_off", 12345678.5);
    EXPECT_REPLY(host, "#202R\r", kAck + "#202R12345678.5000\r");
    sim.SetRegisterValue(2, "usoll_off", -0.0000001);
    EXPECT_REPLY(host, "#202R\r", kAck + "#202R0.000000\r");
}

TEST_F(ProtocolTest, TraceHoldsBothDirections) {
    sim.ClearTrace();
    host.exchange("#2M1R\r", 8);
    EXPECT_EQ(sim.HostBytes(), "#2M1R\r");
    const auto trace = sim.Trace();
    ASSERT_EQ(trace.size(), 14u);
    EXPECT_TRUE(trace.front().fromHost);
    EXPECT_FALSE(trace[6].fromHost);
    EXPECT_EQ(trace[6].byte, 6);
    EXPECT_LE(trace.front().seconds, trace.back().seconds);
}

TEST_F(ProtocolTest, InjectedBytesReachTheHost) {
    sim.InjectBytes("\x06#2late\r");
    EXPECT_EQ(host.read(8), "\x06#2late\r");
    EXPECT_REPLY(host, "#2M1R\r", kAck + "#2M1R0\r");
}

}  // namespace
