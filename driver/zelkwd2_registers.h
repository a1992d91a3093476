// The device's named registers: wire code, written precision and the write check of each.
#pragma once

#include <string_view>

namespace zelkwd2 {

// A code is -(error number * 1000 + site): what went wrong, and where it was found.
constexpr int ErrorCode(int number, int site) {
    return -(number * 1000 + site);
}
inline constexpr int kInvalidAddress = 400;  // error numbers of the catalogue
inline constexpr int kFormatFailed = 202;
inline constexpr int kOutOfLimits = 500;
// The limit code most writes share, the range write included.
inline constexpr int kLimitCode = ErrorCode(kOutOfLimits, 83);

// Highest set values the device takes, for the registers and the direct write commands alike.
inline constexpr double kVoltMax = 250.0;
inline constexpr double kMilliampMax = 6000.0;

enum class WriteCheck {
    kReadOnly,     // cannot be written
    kRange,        // low <= value <= high
    kNotNegative,  // value >= 0
    kPositive,     // value > 0
    kNone,         // any value that fits the request
};

struct RegisterInfo {
    std::string_view name;
    char code1;
    char code2;
    int decimals;  // written precision; 0 for read-only rows
    WriteCheck check;
    double low;
    double high;
    int limitCode;  // returned when the write check fails
};

// Exact, case-sensitive lookup; nullptr when the name is unknown.
const RegisterInfo* FindRegister(std::string_view name);

// True when the check of the row rejects the value. The comparisons are written so that a NaN
// passes them; such a value is refused later because its request text cannot be built.
bool ViolatesWriteCheck(const RegisterInfo& row, double value);

}  // namespace zelkwd2
