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

}  // namespace drivertest
