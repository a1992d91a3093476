#include <gtest/gtest.h>

#include <vector>

#include "sim/kwd2sim.h"
#include "tests/sim/pty_host.h"

using kwd2sim::Fault;
using simtest::kAck;

namespace {

struct FaultCase {
    Fault fault;
    const char* request;
    std::string reply;  // exactly what reaches the host
};

// Device 1 is faulty; a register read and a write show what each fault does to an exchange.
const std::vector<FaultCase> kCases = {
    {Fault::kNone, "#1V1R", kAck + "#1V1R0.0\r"},
    {Fault::kNak, "#1V1R", simtest::kNak},
    {Fault::kNak, "#1V2W9.0", simtest::kNak},
    {Fault::kCan, "#1S1R", simtest::kCan},
    {Fault::kGarbageFirstByte, "#1V1R", "?#1V1R0.0\r"},
    {Fault::kGarbageFirstByte, "#1DF2", "?"},
    {Fault::kWrongAddress, "#1V1R", kAck + "#2V1R0.0\r"},
    {Fault::kWrongAddress, "#1V2W9.0", kAck},
    {Fault::kWrongEcho, "#1V1R", kAck + "#1V2R0.0\r"},
    {Fault::kWrongEcho, "#1S1R", kAck + "#1S2R$00\r"},
    {Fault::kWrongEcho, "#1VL", kAck + "#10.000X\r"},
    {Fault::kOverlongReply, "#1V1R", kAck + "#1V1R0.0" + std::string(24, '0') + "\r"},
    {Fault::kOverlongReply, "#1IDR", kAck + "#1ZEL-KWD2-V1.5" + std::string(24, 'X') + "\r"},
    {Fault::kSlow, "#1V1R", kAck + "#1V1R0.0\r"},
};

class FaultTest : public ::testing::Test {
  protected:
    FaultTest() {
        sim.AddKwd2(0);
        sim.AddKwd2(1);
        sim.SetSlowDelay(0.002);
        sim.Start();
    }
    // A healthy exchange with device 0 after a fault shows that nothing else was sent.
    void expectLineClean(const std::string& context) {
        SCOPED_TRACE(context);
        EXPECT_REPLY(host, "#0M1R\r", kAck + "#0M1R0\r");
    }
    kwd2sim::Simulator sim;
    simtest::Host host{sim.Path()};
};

TEST_F(FaultTest, EachFaultShapesTheReply) {
    for (const auto& c : kCases) {
        sim.SetFault(1, c.fault);
        const std::string context =
            std::string(c.request) + " fault " + std::to_string(static_cast<int>(c.fault));
        EXPECT_EQ(host.exchange(std::string(c.request) + "\r", c.reply.size()), c.reply) << context;
        expectLineClean(context);
    }
}

TEST_F(FaultTest, RefusingDeviceDoesNotActButCorruptingOneDoes) {
    sim.SetFault(1, Fault::kNak);
    host.exchange("#1V1W9.0\r", 1);
    EXPECT_DOUBLE_EQ(sim.RegisterValue(1, "usoll1"), 0.0);
    sim.SetFault(1, Fault::kWrongEcho);
    host.exchange("#1V1W9.0\r", 1);
    EXPECT_DOUBLE_EQ(sim.RegisterValue(1, "usoll1"), 9.0);
}

TEST_F(FaultTest, SilentDeviceSendsNothing) {
    sim.SetFault(1, Fault::kSilent);
    host.send("#1IDR\r");
    expectLineClean("silent");
    host.send("#9DF1\r");  // a silent device ignores the common address too
    expectLineClean("silent common");
    EXPECT_FALSE(sim.Running(1));
    EXPECT_TRUE(sim.Running(0));
}

TEST_F(FaultTest, MissingCrLeavesTheReplyOpen) {
    sim.SetFault(1, Fault::kMissingCr);
    EXPECT_REPLY(host, "#1V1R\r", kAck + "#1V1R0.0");
    // The next byte the host sees belongs to the next exchange.
    expectLineClean("missing CR");
}

TEST_F(FaultTest, HangUpDropsTheLineMidReply) {
    sim.SetFault(1, Fault::kHangUp);
    EXPECT_EQ(host.exchange("#1V1R\r", 10), kAck + "#");  // asks for more than comes
    EXPECT_TRUE(host.hungUp());
}

TEST_F(FaultTest, HangUpOnASetCommandSendsNothing) {
    sim.SetFault(1, Fault::kHangUp);
    EXPECT_EQ(host.exchange("#1DF1\r", 1), "");
    EXPECT_TRUE(host.hungUp());
}

TEST(FaultNames, CommandLineNamesMapToFaults) {
    const std::vector<std::pair<const char*, Fault>> names = {
        {"none", Fault::kNone},
        {"silent", Fault::kSilent},
        {"nak", Fault::kNak},
        {"can", Fault::kCan},
        {"garbage", Fault::kGarbageFirstByte},
        {"wrongaddress", Fault::kWrongAddress},
        {"wrongecho", Fault::kWrongEcho},
        {"missingcr", Fault::kMissingCr},
        {"overlong", Fault::kOverlongReply},
        {"slow", Fault::kSlow},
        {"hangup", Fault::kHangUp},
    };
    for (const auto& [name, fault] : names) {
        Fault parsed = Fault::kNone;
        EXPECT_TRUE(kwd2sim::FaultFromName(name, parsed)) << name;
        EXPECT_EQ(parsed, fault) << name;
    }
    Fault parsed = Fault::kNak;
    EXPECT_FALSE(kwd2sim::FaultFromName("NAK", parsed));
    EXPECT_EQ(parsed, Fault::kNak);
}

}  // namespace
