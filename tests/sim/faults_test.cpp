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
    {Fault::None, "#1V1R", kAck + "#1V1R0.0\r"},
    {Fault::Nak, "#1V1R", simtest::kNak},
    {Fault::Nak, "#1V2W9.0", simtest::kNak},
    {Fault::Can, "#1S1R", simtest::kCan},
    {Fault::GarbageFirstByte, "#1V1R", "?#1V1R0.0\r"},
    {Fault::GarbageFirstByte, "#1DF2", "?"},
    {Fault::WrongAddress, "#1V1R", kAck + "#2V1R0.0\r"},
    {Fault::WrongAddress, "#1V2W9.0", kAck},
    {Fault::WrongEcho, "#1V1R", kAck + "#1V2R0.0\r"},
    {Fault::WrongEcho, "#1S1R", kAck + "#1S2R$00\r"},
    {Fault::WrongEcho, "#1VL", kAck + "#10.000X\r"},
    {Fault::OverlongReply, "#1V1R", kAck + "#1V1R0.0" + std::string(24, '0') + "\r"},
    {Fault::OverlongReply, "#1IDR", kAck + "#1ZEL-KWD2-V1.5" + std::string(24, 'X') + "\r"},
    {Fault::Slow, "#1V1R", kAck + "#1V1R0.0\r"},
};

class FaultTest : public ::testing::Test {
  protected:
    FaultTest() {
        sim.addKwd2(0);
        sim.addKwd2(1);
        sim.setSlowDelay(0.002);
        sim.start();
    }
    // A healthy exchange with device 0 after a fault shows that nothing else was sent.
    void expectLineClean(const std::string& context) {
        SCOPED_TRACE(context);
        EXPECT_REPLY(host, "#0M1R\r", kAck + "#0M1R0\r");
    }
    kwd2sim::Simulator sim;
    simtest::Host host{sim.path()};
};

TEST_F(FaultTest, EachFaultShapesTheReply) {
    for (const auto& c : kCases) {
        sim.setFault(1, c.fault);
        const std::string context =
            std::string(c.request) + " fault " + std::to_string(static_cast<int>(c.fault));
        EXPECT_EQ(host.exchange(std::string(c.request) + "\r", c.reply.size()), c.reply) << context;
        expectLineClean(context);
    }
}

TEST_F(FaultTest, RefusingDeviceDoesNotActButCorruptingOneDoes) {
    sim.setFault(1, Fault::Nak);
    host.exchange("#1V1W9.0\r", 1);
    EXPECT_DOUBLE_EQ(sim.registerValue(1, "usoll1"), 0.0);
    sim.setFault(1, Fault::WrongEcho);
    host.exchange("#1V1W9.0\r", 1);
    EXPECT_DOUBLE_EQ(sim.registerValue(1, "usoll1"), 9.0);
}

TEST_F(FaultTest, SilentDeviceSendsNothing) {
    sim.setFault(1, Fault::Silent);
    host.send("#1IDR\r");
    expectLineClean("silent");
    host.send("#9DF1\r");  // a silent device ignores the common address too
    expectLineClean("silent common");
    EXPECT_FALSE(sim.running(1));
    EXPECT_TRUE(sim.running(0));
}

TEST_F(FaultTest, MissingCrLeavesTheReplyOpen) {
    sim.setFault(1, Fault::MissingCr);
    EXPECT_REPLY(host, "#1V1R\r", kAck + "#1V1R0.0");
    // The next byte the host sees belongs to the next exchange.
    expectLineClean("missing CR");
}

TEST_F(FaultTest, HangUpDropsTheLineMidReply) {
    sim.setFault(1, Fault::HangUp);
    EXPECT_EQ(host.exchange("#1V1R\r", 10), kAck + "#");  // asks for more than comes
    EXPECT_TRUE(host.hungUp());
}

TEST_F(FaultTest, HangUpOnASetCommandSendsNothing) {
    sim.setFault(1, Fault::HangUp);
    EXPECT_EQ(host.exchange("#1DF1\r", 1), "");
    EXPECT_TRUE(host.hungUp());
}

TEST(FaultNames, CommandLineNamesMapToFaults) {
    const std::vector<std::pair<const char*, Fault>> names = {
        {"none", Fault::None},
        {"silent", Fault::Silent},
        {"nak", Fault::Nak},
        {"can", Fault::Can},
        {"garbage", Fault::GarbageFirstByte},
        {"wrongaddress", Fault::WrongAddress},
        {"wrongecho", Fault::WrongEcho},
        {"missingcr", Fault::MissingCr},
        {"overlong", Fault::OverlongReply},
        {"slow", Fault::Slow},
        {"hangup", Fault::HangUp},
    };
    for (const auto& [name, fault] : names) {
        Fault parsed = Fault::None;
        EXPECT_TRUE(kwd2sim::faultFromName(name, parsed)) << name;
        EXPECT_EQ(parsed, fault) << name;
    }
    Fault parsed = Fault::Nak;
    EXPECT_FALSE(kwd2sim::faultFromName("NAK", parsed));
    EXPECT_EQ(parsed, Fault::Nak);
}

}  // namespace
