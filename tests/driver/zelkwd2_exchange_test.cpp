// Every command against every cause of failure on the line: the exact code, and no out-argument
// written unless the command succeeded.
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "sim_line.h"

namespace {

using kwd2sim::Fault;

// Calls a command at bus address 0 of port 1; reports whether it wrote its out-argument.
using Call = std::function<int(bool& wroteOutput)>;

struct Expected {
    int flushIn, flushOut, writeFailed, writeShort, drainFailed, drainStuck;
    int nak, can, silent, garbage, missingCr, wrongAddress, wrongEcho, overlong, hangUp;
};

struct CommandCase {
    const char* name;
    std::string request;
    Call call;
    Expected codes;
};

// Keeps CTest's listing readable: the case's name instead of a byte dump.
void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

Call readDouble(int (*fn)(int, int, double*)) {
    return [fn](bool& wrote) {
        double value = -12345.0;
        const int rc = fn(1, 0, &value);
        wrote = value != -12345.0;
        return rc;
    };
}

Call readRegister(const char* name) {
    return [name](bool& wrote) {
        double value = -12345.0;
        const int rc = ZELKWD2_ParameterLesen(1, 0, name, &value);
        wrote = value != -12345.0;
        return rc;
    };
}

Call readRange(int set) {
    return [set](bool& wrote) {
        int range = -77;
        const int rc = ZELKWD2_MessbereichLesen(1, 0, set, &range);
        wrote = range != -77;
        return rc;
    };
}

Call readStatus(int selector) {
    return [selector](bool& wrote) {
        int status = -77;
        const int rc = ZELKWD2_StatusLesen(1, 0, selector, &status);
        wrote = status != -77;
        return rc;
    };
}

Call readId() {
    return [](bool& wrote) {
        char id[40];
        std::memset(id, '@', sizeof id);
        const int rc = ZELKWD2_IDLesen(1, 0, id);
        wrote = id[0] != '@';
        return rc;
    };
}

Call setCommand(std::function<int()> fn) {
    return [fn](bool& wrote) {
        wrote = false;
        return fn();
    };
}

const std::vector<CommandCase>& commandCases() {
    // clang-format off
    static const std::vector<CommandCase> cases{
        {"IDLesen", "#0IDR\r", readId(),
         {-112007, -112007, -101008, -114009, -101008, -101008,
          -402010, -405011, -403012, -404013, -404014, -404015, 0, -404015, -404014}},
        {"UWrite", "#0VS12.5\r", setCommand([] { return ZELKWD2_UWrite(1, 0, 1, 12.5); }),
         {-112020, -112020, -101021, -114022, 0, 0,
          -402023, -116024, -116024, -116024, 0, 0, 0, 0, -116024}},
        {"IWrite", "#0BS1500.3\r", setCommand([] { return ZELKWD2_IWrite(1, 0, 2, 1500.26); }),
         {-112029, -112029, -101030, -114031, 0, 0,
          -402032, -116033, -116033, -116033, 0, 0, 0, 0, -116033}},
        {"DeviceFunction", "#0DF1\r", setCommand([] { return ZELKWD2_DeviceFunction(1, 0, "start"); }),
         {-112120, -112120, -101121, -101122, -101121, -101121,
          -402123, -405124, -403125, -404126, 0, 0, 0, 0, -403125}},
        {"URead", "#0VL\r", readDouble(ZELKWD2_URead),
         {-112053, -112053, -101055, -114056, 0, 0,
          -402057, -116058, -116058, -116058, -116059, -116060, -116060, -116060, -116059}},
        {"IRead", "#0AL\r", readDouble(ZELKWD2_IRead),
         {-112062, -112062, -101064, -114065, 0, 0,
          -402066, -116067, -116067, -116067, -116068, -116069, -116069, -116069, -116068}},
        {"ParameterLesen", "#0V1R\r", readRegister("usoll1"),
         {-112073, -112073, -101074, -114075, -101074, -101074,
          -402076, -405077, -403078, -404079, -404080, -404081, -404081, -404081, -404080}},
        {"MessbereichLesen", "#0M2R\r", readRange(2),
         {-112073, -112073, -101074, -114075, -101074, -101074,
          -402076, -405077, -403078, -404079, -404080, -404081, -404081, -404081, -404080}},
        {"ParameterSchreiben", "#0V2W12.5\r",
         setCommand([] { return ZELKWD2_ParameterSchreiben(1, 0, "usoll2", 12.5); }),
         {-112092, -112092, -101093, -101094, -101093, -101093,
          -402095, -405096, -403097, -404098, 0, 0, 0, 0, -403097}},
        {"MessbereichSchreiben", "#0M1W3\r", setCommand([] { return ZELKWD2_MessbereichSchreiben(1, 0, 1, 3); }),
         {-112092, -112092, -101093, -101094, -101093, -101093,
          -402095, -405096, -403097, -404098, 0, 0, 0, 0, -403097}},
        {"StatusLesen1", "#0S1R\r", readStatus(1),
         {-124112, -123113, -101102, -114103, -101102, -101102,
          -402104, -405105, -403106, -404107, -404108, -404109, -404110, -404109, -404108}},
        {"StatusLesen2", "#0S2R\r", readStatus(2),
         {-124112, -123113, -101102, -114103, -101102, -101102,
          -402104, -405105, -403106, -404107, -404108, -404109, -404111, -404109, -404108}},
    };
    // clang-format on
    return cases;
}

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
        {"input queue not emptied", Rs232Fault::FlushInQFails, 1, e.flushIn},
        {"output queue not emptied", Rs232Fault::FlushOutQFails, 1, e.flushOut},
        {"write error", Rs232Fault::ComWrtFails, 1, e.writeFailed},
        {"short write", Rs232Fault::ComWrtShort, 1, e.writeShort},
        {"queue length unreadable", Rs232Fault::GetOutQLenFails, 1, e.drainFailed},
        // Reports bytes waiting far longer than the wait may last: the drain must give up.
        {"queue never empties", Rs232Fault::GetOutQLenStuck, 1000000, e.drainStuck},
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
        {"NAK", Fault::Nak, e.nak},
        {"CAN", Fault::Can, e.can},
        {"silence", Fault::Silent, e.silent},
        {"garbage first byte", Fault::GarbageFirstByte, e.garbage},
        {"missing CR", Fault::MissingCr, e.missingCr},
        {"wrong address", Fault::WrongAddress, e.wrongAddress},
        {"wrong echo", Fault::WrongEcho, e.wrongEcho},
        {"overlong reply", Fault::OverlongReply, e.overlong},
    };
    for (const auto& c : causes) {
        sim().setFault(0, c.fault);
        expectOutcome(c.cause, c.expected);
        sim().setFault(0, Fault::None);
    }
    // Surplus bytes of the overlong reply never reach the next command.
    expectOutcome("a clean line after faults", 0);
}

TEST_P(Exchange, LineHangingUpEndsEveryExchangeAtOnce) {
    sim().setFault(0, Fault::HangUp);
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
