#include "cli/steps.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "cli/options.h"
#include "driver/zelkwd2_registers.h"

namespace kwd2ctl {

namespace {

struct ColumnInfo {
    const char* header;
    const char* registerName;  // whose write check the value must pass; nullptr for the hold time
    bool required;
    void (*store)(Step&, double);
};
constexpr std::array<ColumnInfo, 5> kColumnInfo{{
    {"voltage_V", "usoll1", true, [](Step& s, double v) { s.volts = v; }},
    {"current_mA", "isoll1", true, [](Step& s, double v) { s.milliamps = v; }},
    {"hold_s", nullptr, true, [](Step& s, double v) { s.holdSeconds = v; }},
    {"tau_u_s", "tauu1", false, [](Step& s, double v) { s.tauVolts = v; }},
    {"tau_i_s", "taui1", false, [](Step& s, double v) { s.tauMilliamps = v; }},
}};
constexpr std::size_t kColumns = kColumnInfo.size();

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    std::string field = text.substr(first, last - first + 1);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.substr(1, field.size() - 2);
    return field;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        fields.push_back(
            Trim(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

}  // namespace

std::vector<Step> ParseSteps(std::istream& in, const std::string& fileName) {
    std::array<int, kColumns> position{};
    position.fill(-1);
    std::size_t columnCount = 0;
    std::vector<Step> steps;
    std::string line;
    int number = 0;
    bool haveHeader = false;
    const auto fail = [&](const std::string& problem) {
        throw UsageError(fileName + ":" + std::to_string(number) + ": " + problem);
    };
    while (std::getline(in, line)) {
        ++number;
        if (const std::string t = Trim(line); t.empty() || t[0] == '#') continue;
        const std::vector<std::string> fields = SplitFields(line);
        if (!haveHeader) {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const auto found =
                    std::find_if(kColumnInfo.begin(), kColumnInfo.end(),
                                 [&](const ColumnInfo& info) { return fields[i] == info.header; });
                if (found == kColumnInfo.end()) fail("unknown column '" + fields[i] + "'");
                int& at = position[static_cast<std::size_t>(found - kColumnInfo.begin())];
                if (at >= 0) fail("column '" + fields[i] + "' twice");
                at = static_cast<int>(i);
            }
            for (std::size_t c = 0; c < kColumns; ++c) {
                if (kColumnInfo[c].required && position[c] < 0) {
                    fail(std::string("column '") + kColumnInfo[c].header +
                         "' missing (header voltage_V,current_mA,hold_s)");
                }
            }
            columnCount = fields.size();
            haveHeader = true;
            continue;
        }
        if (fields.size() != columnCount) {
            fail(std::to_string(fields.size()) + " fields where the header has " +
                 std::to_string(columnCount));
        }
        Step step;
        step.line = number;
        for (std::size_t c = 0; c < kColumns; ++c) {
            if (position[c] < 0) continue;
            const std::string& field = fields[static_cast<std::size_t>(position[c])];
            const ColumnInfo& info = kColumnInfo[c];
            double value = 0.0;
            try {
                value = ParseNumber(field, info.header);
            } catch (const UsageError& e) {
                fail(e.what());
            }
            if (info.registerName != nullptr) {
                const auto* row = zelkwd2::FindRegister(info.registerName);
                if (row != nullptr && zelkwd2::ViolatesWriteCheck(*row, value)) {
                    fail(std::string(info.header) + " out of range: " + field);
                }
            } else if (value <= 0.0 || value > 1.0e7) {
                fail("hold_s must be more than 0 seconds: " + field);
            }
            info.store(step, value);
        }
        steps.push_back(step);
    }
    if (!haveHeader) fail("no header line (voltage_V,current_mA,hold_s)");
    if (steps.empty()) fail("no steps");
    return steps;
}

}  // namespace kwd2ctl
