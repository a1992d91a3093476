#include "driver/zelkwd2_registers.h"

#include <array>

#include "driver/kalibrierdatensatz.h"

namespace zelkwd2 {
namespace {

constexpr RegisterInfo SetValue(std::string_view name, char c1, char c2, double high, int code) {
    return {name, c1, c2, 1, WriteCheck::kRange, 0.0, high, code};
}
constexpr RegisterInfo TimeValue(std::string_view name, char c1, char c2, int code) {
    return {name, c1, c2, 3, WriteCheck::kNotNegative, 0.0, 0.0, code};
}
constexpr RegisterInfo Measured(std::string_view name, char c1, char c2) {
    return {name, c1, c2, 0, WriteCheck::kReadOnly, 0.0, 0.0, 0};
}
constexpr RegisterInfo Factor(std::string_view name, char c1, char c2, int code) {
    return {name, c1, c2, 6, WriteCheck::kPositive, 0.0, 0.0, code};
}
constexpr RegisterInfo Offset(std::string_view name, char c1, char c2) {
    return {name, c1, c2, 6, WriteCheck::kNone, 0.0, 0.0, 0};
}

constexpr int kIsollFactorCode = ErrorCode(kOutOfLimits, 84);

constexpr std::array kRegisters{
    SetValue("usoll1", 'V', '1', kVoltMax, kLimitCode),
    SetValue("usoll2", 'V', '2', kVoltMax, kLimitCode),
    SetValue("usoll3", 'V', '3', kVoltMax, -500115),
    SetValue("isoll1", 'C', '1', kMilliampMax, kLimitCode),
    SetValue("isoll2", 'C', '2', kMilliampMax, kLimitCode),
    SetValue("isoll3", 'C', '3', kMilliampMax, -500116),
    TimeValue("tauu1", 'F', '1', kLimitCode),
    TimeValue("tauu2", 'F', '2', kLimitCode),
    TimeValue("taui1", 'F', '3', kLimitCode),
    TimeValue("taui2", 'F', '4', kLimitCode),
    TimeValue("tauu3", 'F', '5', -500117),
    TimeValue("taui3", 'F', '6', -500118),
    TimeValue("zeit3", 'T', '3', -500114),
    Measured("uist", 'V', '0'),
    Measured("iist", 'C', '0'),
    Factor("usoll_v", '0', '1', kLimitCode),
    Offset("usoll_off", '0', '2'),
    Factor("uist_v", '0', '3', -500085),
    Offset("uist_off", '0', '4'),
    Factor("isoll1_v", '0', '5', kIsollFactorCode),
    Offset("isoll1_off", '0', '6'),
    Factor("iist1_v", '0', '7', -500086),
    Offset("iist1_off", '0', '8'),
    Factor("isoll2_v", '0', '9', kIsollFactorCode),
    Offset("isoll2_off", '1', '0'),
    Factor("iist2_v", '1', '1', -500087),
    Offset("iist2_off", '1', '2'),
    Factor("isoll3_v", '1', '3', kIsollFactorCode),
    Offset("isoll3_off", '1', '4'),
    Factor("iist3_v", '1', '5', -500088),
    Offset("iist3_off", '1', '6'),
    Factor("isoll4_v", '1', '7', kIsollFactorCode),
    Offset("isoll4_off", '1', '8'),
    Factor("iist4_v", '1', '9', -500089),
    Offset("iist4_off", '2', '0'),
};
static_assert(kRegisters.size() == 35);

// The calibration record names its registers by position; they must be the table's last twenty.
constexpr bool CalibrationRowsAgree() {
    constexpr std::size_t kFirst = kRegisters.size() - kalibrierung::kRegister.size();
    for (std::size_t i = 0; i < kalibrierung::kRegister.size(); ++i) {
        if (kRegisters[kFirst + i].name != kalibrierung::kRegister[i]) return false;
    }
    return true;
}
static_assert(CalibrationRowsAgree(), "calibration registers out of step with the record");

}  // namespace

const RegisterInfo* FindRegister(std::string_view name) {
    for (const RegisterInfo& row : kRegisters) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

bool ViolatesWriteCheck(const RegisterInfo& row, double value) {
    switch (row.check) {
        case WriteCheck::kRange:
            return value < row.low || value > row.high;
        case WriteCheck::kNotNegative:
            return value < 0.0;
        case WriteCheck::kPositive:
            return value <= 0.0;
        case WriteCheck::kReadOnly:
        case WriteCheck::kNone:
            break;
    }
    return false;
}

}  // namespace zelkwd2
