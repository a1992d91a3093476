// Every command of the driver at bus address 0 of port 1, with the code each cause of failure
// on the line must give. Shared by the exchange tests and the fault soak.
#pragma once

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "driver/zelkwd2.h"

namespace drivertest {

// Calls a command at bus address 0 of port 1; reports whether it wrote its out-argument.
using Call = std::function<int(bool& wroteOutput)>;

// The code each cause gives; a cause left out is one the command comes through (0).
struct Expected {
    int flushIn = 0, flushOut = 0, writeFailed = 0, writeShort = 0, drainFailed = 0, drainStuck = 0;
    int nak = 0, can = 0, silent = 0, garbage = 0, missingCr = 0, wrongAddress = 0, wrongEcho = 0,
        overlong = 0, hangUp = 0;
};

struct CommandCase {
    const char* name;
    std::string request;
    Call call;
    Expected codes;
};

// Keeps CTest's listing readable: the case's name instead of a byte dump.
inline void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

inline Call readDouble(int (*fn)(int, int, double*)) {
    return [fn](bool& wrote) {
        double value = -12345.0;
        const int rc = fn(1, 0, &value);
        wrote = value != -12345.0;
        return rc;
    };
}

inline Call readRegister(const char* name) {
    return [name](bool& wrote) {
        double value = -12345.0;
        const int rc = ZELKWD2_ParameterLesen(1, 0, name, &value);
        wrote = value != -12345.0;
        return rc;
    };
}

inline Call readRange(int set) {
    return [set](bool& wrote) {
        int range = -77;
        const int rc = ZELKWD2_MessbereichLesen(1, 0, set, &range);
        wrote = range != -77;
        return rc;
    };
}

inline Call readStatus(int selector) {
    return [selector](bool& wrote) {
        int status = -77;
        const int rc = ZELKWD2_StatusLesen(1, 0, selector, &status);
        wrote = status != -77;
        return rc;
    };
}

inline Call readId() {
    return [](bool& wrote) {
        char id[40];
        std::memset(id, '@', sizeof id);
        const int rc = ZELKWD2_IDLesen(1, 0, id);
        wrote = id[0] != '@';
        return rc;
    };
}

inline Call setCommand(std::function<int()> fn) {
    return [fn](bool& wrote) {
        wrote = false;
        return fn();
    };
}

inline const std::vector<CommandCase>& commandCases() {
    // clang-format off
    static const std::vector<CommandCase> cases{
        {"IDLesen", "#0IDR\r", readId(),
         {.flushIn = -112007, .flushOut = -112007, .writeFailed = -101008, .writeShort = -114009,
          .drainFailed = -101008, .drainStuck = -101008, .nak = -402010, .can = -405011, .silent = -403012,
          .garbage = -404013, .missingCr = -404014, .wrongAddress = -404015, .overlong = -404015,
          .hangUp = -404014}},
        {"UWrite", "#0VS12.5\r", setCommand([] { return ZELKWD2_UWrite(1, 0, 1, 12.5); }),
         {.flushIn = -112020, .flushOut = -112020, .writeFailed = -101021, .writeShort = -114022,
          .nak = -402023, .can = -116024, .silent = -116024, .garbage = -116024, .hangUp = -116024}},
        {"IWrite", "#0BS1500.3\r", setCommand([] { return ZELKWD2_IWrite(1, 0, 2, 1500.26); }),
         {.flushIn = -112029, .flushOut = -112029, .writeFailed = -101030, .writeShort = -114031,
          .nak = -402032, .can = -116033, .silent = -116033, .garbage = -116033, .hangUp = -116033}},
        {"DeviceFunction", "#0DF1\r", setCommand([] { return ZELKWD2_DeviceFunction(1, 0, "start"); }),
         {.flushIn = -112120, .flushOut = -112120, .writeFailed = -101121, .writeShort = -101122,
          .drainFailed = -101121, .drainStuck = -101121, .nak = -402123, .can = -405124, .silent = -403125,
          .garbage = -404126, .hangUp = -403125}},
        {"URead", "#0VL\r", readDouble(ZELKWD2_URead),
         {.flushIn = -112053, .flushOut = -112053, .writeFailed = -101055, .writeShort = -114056,
          .nak = -402057, .can = -116058, .silent = -116058, .garbage = -116058, .missingCr = -116059,
          .wrongAddress = -116060, .wrongEcho = -116060, .overlong = -116060, .hangUp = -116059}},
        {"IRead", "#0AL\r", readDouble(ZELKWD2_IRead),
         {.flushIn = -112062, .flushOut = -112062, .writeFailed = -101064, .writeShort = -114065,
          .nak = -402066, .can = -116067, .silent = -116067, .garbage = -116067, .missingCr = -116068,
          .wrongAddress = -116069, .wrongEcho = -116069, .overlong = -116069, .hangUp = -116068}},
        {"ParameterLesen", "#0V1R\r", readRegister("usoll1"),
         {.flushIn = -112073, .flushOut = -112073, .writeFailed = -101074, .writeShort = -114075,
          .drainFailed = -101074, .drainStuck = -101074, .nak = -402076, .can = -405077, .silent = -403078,
          .garbage = -404079, .missingCr = -404080, .wrongAddress = -404081, .wrongEcho = -404081,
          .overlong = -404081, .hangUp = -404080}},
        {"MessbereichLesen", "#0M2R\r", readRange(2),
         {.flushIn = -112073, .flushOut = -112073, .writeFailed = -101074, .writeShort = -114075,
          .drainFailed = -101074, .drainStuck = -101074, .nak = -402076, .can = -405077, .silent = -403078,
          .garbage = -404079, .missingCr = -404080, .wrongAddress = -404081, .wrongEcho = -404081,
          .overlong = -404081, .hangUp = -404080}},
        {"ParameterSchreiben", "#0V2W12.5\r",
         setCommand([] { return ZELKWD2_ParameterSchreiben(1, 0, "usoll2", 12.5); }),
         {.flushIn = -112092, .flushOut = -112092, .writeFailed = -101093, .writeShort = -101094,
          .drainFailed = -101093, .drainStuck = -101093, .nak = -402095, .can = -405096, .silent = -403097,
          .garbage = -404098, .hangUp = -403097}},
        {"MessbereichSchreiben", "#0M1W3\r", setCommand([] { return ZELKWD2_MessbereichSchreiben(1, 0, 1, 3); }),
         {.flushIn = -112092, .flushOut = -112092, .writeFailed = -101093, .writeShort = -101094,
          .drainFailed = -101093, .drainStuck = -101093, .nak = -402095, .can = -405096, .silent = -403097,
          .garbage = -404098, .hangUp = -403097}},
        {"StatusLesen1", "#0S1R\r", readStatus(1),
         {.flushIn = -124112, .flushOut = -123113, .writeFailed = -101102, .writeShort = -114103,
          .drainFailed = -101102, .drainStuck = -101102, .nak = -402104, .can = -405105, .silent = -403106,
          .garbage = -404107, .missingCr = -404108, .wrongAddress = -404109, .wrongEcho = -404110,
          .overlong = -404109, .hangUp = -404108}},
        {"StatusLesen2", "#0S2R\r", readStatus(2),
         {.flushIn = -124112, .flushOut = -123113, .writeFailed = -101102, .writeShort = -114103,
          .drainFailed = -101102, .drainStuck = -101102, .nak = -402104, .can = -405105, .silent = -403106,
          .garbage = -404107, .missingCr = -404108, .wrongAddress = -404109, .wrongEcho = -404111,
          .overlong = -404109, .hangUp = -404108}},
    };
    // clang-format on
    return cases;
}

}  // namespace drivertest
