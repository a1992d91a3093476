// Every command against every cause of failure on the line: the exact code, and no out-argument
// written unless the command succeeded.
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "command_cases.h"
#include "sim_line.h"

namespace {

using drivertest::CommandCase;
using drivertest::commandCases;
using drivertest::Expected;
using kwd2sim::Fault;

class Exchange : public SimLine, public ::testing::WithParamInterface<CommandCase> {
  protected:
    void expectOutcome(const char* cause, int expected) {
        bool wrote = false;
        const int rc = GetParam().call(wrote);
        EXPECT_EQ(rc, expected) << GetParam().name << " with " << cause;
        if (rc != 0) {
            EXPECT_FALSE(wrote) << GetParam().name << " wrote its output despite " << cause;
        }
    }
};

TEST_P(Exchange, SendsExactlyItsRequestAndSucceeds) {
    bool wrote = false;
    EXPECT_EQ(GetParam().call(wrote), 0);
    EXPECT_EQ(sent(GetParam().request.size()), GetParam().request);
}

TEST_P(Exchange, PlatformFailuresGiveTheirCodes) {
    const Expected& e = GetParam().codes;
    const struct {
        const char* cause;
        Rs232Fault fault;
        int count;
        int expected;
    } causes[] = {
        {"input queue not emptied", Rs232Fault::kFlushInQFails, 1, e.flushIn},
        {"output queue not emptied", Rs232Fault::kFlushOutQFails, 1, e.flushOut},
        {"write error", Rs232Fault::kComWrtFails, 1, e.writeFailed},
        {"short write", Rs232Fault::kComWrtShort, 1, e.writeShort},
        {"queue length unreadable", Rs232Fault::kGetOutQLenFails, 1, e.drainFailed},
        // Reports bytes waiting far longer than the wait may last: the drain must give up.
        {"queue never empties", Rs232Fault::kGetOutQLenStuck, 1000000, e.drainStuck},
    };
    for (const auto& c : causes) {
        Rs232_InjectFault(kPort, c.fault, c.count);
        expectOutcome(c.cause, c.expected);
        Rs232_ClearFaults();
    }
    // The port stays usable after every failure.
    expectOutcome("no fault", 0);
}

TEST_P(Exchange, DeviceMisbehaviourGivesItsCode) {
    const Expected& e = GetParam().codes;
    const struct {
        const char* cause;
        Fault fault;
        int expected;
    } causes[] = {
        {"NAK", Fault::kNak, e.nak},
        {"CAN", Fault::kCan, e.can},
        {"silence", Fault::kSilent, e.silent},
        {"garbage first byte", Fault::kGarbageFirstByte, e.garbage},
        {"missing CR", Fault::kMissingCr, e.missingCr},
        {"wrong address", Fault::kWrongAddress, e.wrongAddress},
        {"wrong echo", Fault::kWrongEcho, e.wrongEcho},
        {"overlong reply", Fault::kOverlongReply, e.overlong},
    };
    for (const auto& c : causes) {
        sim().SetFault(0, c.fault);
        expectOutcome(c.cause, c.expected);
        sim().SetFault(0, Fault::kNone);
    }
    // Surplus bytes of the overlong reply never reach the next command.
    expectOutcome("a clean line after faults", 0);
}

TEST_P(Exchange, LineHangingUpEndsEveryExchangeAtOnce) {
    sim().SetFault(0, Fault::kHangUp);
    Rs232_ResetReadCounts(kPort);
    expectOutcome("hang-up", GetParam().codes.hangUp);
    bool wrote = false;
    EXPECT_NE(GetParam().call(wrote), 0) << "a dead line cannot succeed";
    EXPECT_FALSE(wrote);
    // No read waited for a byte that cannot come.
    EXPECT_EQ(Rs232_ReadCounts(kPort).timedOut, 0);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, Exchange, ::testing::ValuesIn(commandCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// A drain failure gives up on a request that has gone out; the device's answer then comes late.
// The next exchange must not take that answer for its own: acknowledgement-only commands cannot
// tell it from theirs, so a stale ACK would report a silent device as success.
TEST_F(SimLine, LateAnswerToAnAbandonedRequestIsNotTakenByTheNext) {
    const struct {
        const char* name;
        std::function<int(int address)> call;
        int drainFailed;
        int silent;
    } commands[] = {
        {"DeviceFunction", [](int a) { return ZELKWD2_DeviceFunction(kPort, a, "start"); }, -101121, -403125},
        {"ParameterSchreiben", [](int a) { return ZELKWD2_ParameterSchreiben(kPort, a, "usoll1", 1.0); },
         -101093, -403097},
    };
    sim().SetSlowDelay(0.03);  // the answer starts well inside the time-out, after the drain gave up
    for (const auto& c : commands) {
        sim().SetFault(0, Fault::kSlow, 1);
        Rs232_InjectFault(kPort, Rs232Fault::kGetOutQLenFails, 1);
        EXPECT_EQ(c.call(0), c.drainFailed) << c.name;
        // Nobody listens at address 1.
        EXPECT_EQ(c.call(1), c.silent) << c.name << " took the late ACK of address 0";
    }
}
