#include "driver/zelkwd2_registers.h"

#include <array>

#include "driver/kalibrierdatensatz.h"

namespace zelkwd2 {
namespace {

constexpr RegisterInfo setValue(std::string_view name, char c1, char c2, double high, int code) {
    return {name, c1, c2, 1, WriteCheck::Range, 0.0, high, code};
}
constexpr RegisterInfo timeValue(std::string_view name, char c1, char c2, int code) {
    return {name, c1, c2, 3, WriteCheck::NotNegative, 0.0, 0.0, code};
}
constexpr RegisterInfo measured(std::string_view name, char c1, char c2) {
    return {name, c1, c2, 0, WriteCheck::ReadOnly, 0.0, 0.0, 0};
}
constexpr RegisterInfo factor(std::string_view name, char c1, char c2, int code) {
    return {name, c1, c2, 6, WriteCheck::Positive, 0.0, 0.0, code};
}
constexpr RegisterInfo offset(std::string_view name, char c1, char c2) {
    return {name, c1, c2, 6, WriteCheck::None, 0.0, 0.0, 0};
}

constexpr int kIsollFactorCode = errorCode(kOutOfLimits, 84);

constexpr std::array kRegisters{
    setValue("usoll1", 'V', '1', kVoltMax, kLimitCode),
    setValue("usoll2", 'V', '2', kVoltMax, kLimitCode),
    setValue("usoll3", 'V', '3', kVoltMax, -500115),
    setValue("isoll1", 'C', '1', kMilliampMax, kLimitCode),
    setValue("isoll2", 'C', '2', kMilliampMax, kLimitCode),
    setValue("isoll3", 'C', '3', kMilliampMax, -500116),
    timeValue("tauu1", 'F', '1', kLimitCode),
    timeValue("tauu2", 'F', '2', kLimitCode),
    timeValue("taui1", 'F', '3', kLimitCode),
    timeValue("taui2", 'F', '4', kLimitCode),
    timeValue("tauu3", 'F', '5', -500117),
    timeValue("taui3", 'F', '6', -500118),
    timeValue("zeit3", 'T', '3', -500114),
    measured("uist", 'V', '0'),
    measured("iist", 'C', '0'),
    factor("usoll_v", '0', '1', kLimitCode),
    offset("usoll_off", '0', '2'),
    factor("uist_v", '0', '3', -500085),
    offset("uist_off", '0', '4'),
    factor("isoll1_v", '0', '5', kIsollFactorCode),
    offset("isoll1_off", '0', '6'),
    factor("iist1_v", '0', '7', -500086),
    offset("iist1_off", '0', '8'),
    factor("isoll2_v", '0', '9', kIsollFactorCode),
    offset("isoll2_off", '1', '0'),
    factor("iist2_v", '1', '1', -500087),
    offset("iist2_off", '1', '2'),
    factor("isoll3_v", '1', '3', kIsollFactorCode),
    offset("isoll3_off", '1', '4'),
    factor("iist3_v", '1', '5', -500088),
    offset("iist3_off", '1', '6'),
    factor("isoll4_v", '1', '7', kIsollFactorCode),
    offset("isoll4_off", '1', '8'),
    factor("iist4_v", '1', '9', -500089),
    offset("iist4_off", '2', '0'),
};
static_assert(kRegisters.size() == 35);

// The calibration record names its registers by position; they must be the table's last twenty.
constexpr bool calibrationRowsAgree() {
    constexpr std::size_t first = kRegisters.size() - kalibrierung::kRegister.size();
    for (std::size_t i = 0; i < kalibrierung::kRegister.size(); ++i) {
        if (kRegisters[first + i].name != kalibrierung::kRegister[i]) return false;
    }
    return true;
}
static_assert(calibrationRowsAgree(), "calibration registers out of step with the record");

}  // namespace

const RegisterInfo* findRegister(std::string_view name) {
    for (const RegisterInfo& row : kRegisters) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

bool violatesWriteCheck(const RegisterInfo& row, double value) {
    switch (row.check) {
        case WriteCheck::Range:
            return value < row.low || value > row.high;
        case WriteCheck::NotNegative:
            return value < 0.0;
        case WriteCheck::Positive:
            return value <= 0.0;
        case WriteCheck::ReadOnly:
        case WriteCheck::None:
            break;
    }
    return false;
}

}  // namespace zelkwd2
