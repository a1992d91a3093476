// Runs arbitrary bytes as a step list for "kwd2ctl run". Aborts when the reader lets anything
// other than its usage error escape, when a refusal does not name the file and a line, when an
// accepted step holds a value the device would refuse (or a hold time of 0), when the line
// numbers do not rise, or when the accepted list written back as CSV does not read back the same.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "cli/steps.h"
#include "driver/zelkwd2_registers.h"

namespace {

constexpr const char* kFile = "steps.csv";

void require(bool condition) {
    if (!condition) std::abort();
}

void requireWithinCheck(const char* registerName, double value) {
    const zelkwd2::RegisterInfo* row = zelkwd2::FindRegister(registerName);
    require(row != nullptr && std::isfinite(value) && !zelkwd2::ViolatesWriteCheck(*row, value));
}

// A refusal reads "steps.csv:<line>: <problem>", the line counted from 1.
void requireNamedRefusal(const std::string& message, std::size_t lines) {
    const std::string_view text = message;
    const std::string prefix = std::string(kFile) + ":";
    require(text.substr(0, prefix.size()) == prefix);
    std::size_t at = prefix.size();
    unsigned long line = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') line = line * 10 + (text[at++] - '0');
    require(at > prefix.size() && at < text.size() && text[at] == ':');
    require(line <= lines + 1);
}

// The accepted list as the CSV a person would write for it, columns in another order; a time
// constant column only when the first step has one.
std::string written(const std::vector<kwd2ctl::Step>& steps) {
    const bool tauU = steps.front().tauVolts.has_value();
    const bool tauI = steps.front().tauMilliamps.has_value();
    std::string csv = std::string("hold_s,voltage_V,current_mA") + (tauU ? ",tau_u_s" : "") +
                      (tauI ? ", \"tau_i_s\"" : "") + "\r\n";
    for (const kwd2ctl::Step& s : steps) {
        char row[160];
        std::snprintf(row, sizeof row, "%.17g,%.17g,%.17g", s.holdSeconds, s.volts, s.milliamps);
        csv += row;
        for (const auto& [present, value] : {std::pair{tauU, s.tauVolts}, std::pair{tauI, s.tauMilliamps}}) {
            if (!present) continue;
            std::snprintf(row, sizeof row, ",%.17g", value.value_or(0.0));
            csv += row;
        }
        csv += "\n# comment\n\n";
    }
    return csv;
}

bool same(const kwd2ctl::Step& a, const kwd2ctl::Step& b) {
    return a.volts == b.volts && a.milliamps == b.milliamps && a.holdSeconds == b.holdSeconds &&
           a.tauVolts == b.tauVolts && a.tauMilliamps == b.tauMilliamps;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 0;
    for (const char c : text) lines += c == '\n';
    std::istringstream in(text);
    std::vector<kwd2ctl::Step> steps;
    try {
        steps = kwd2ctl::ParseSteps(in, kFile);
    } catch (const kwd2ctl::UsageError& e) {
        requireNamedRefusal(e.what(), lines);
        return 0;
    }
    require(!steps.empty());
    int previous = 0;
    for (const kwd2ctl::Step& s : steps) {
        require(s.line > previous && static_cast<std::size_t>(s.line) <= lines + 1);
        previous = s.line;
        requireWithinCheck("usoll1", s.volts);
        requireWithinCheck("isoll1", s.milliamps);
        require(std::isfinite(s.holdSeconds) && s.holdSeconds > 0.0 && s.holdSeconds <= 1.0e7);
        if (s.tauVolts) requireWithinCheck("tauu1", *s.tauVolts);
        if (s.tauMilliamps) requireWithinCheck("taui1", *s.tauMilliamps);
    }

    // Round trip: a column is in every row or in none, so a list whose steps differ in that
    // cannot come out of the reader.
    for (const kwd2ctl::Step& step : steps) {
        require(step.tauVolts.has_value() == steps.front().tauVolts.has_value());
        require(step.tauMilliamps.has_value() == steps.front().tauMilliamps.has_value());
    }
    std::istringstream again(written(steps));
    const std::vector<kwd2ctl::Step> reread = kwd2ctl::ParseSteps(again, kFile);
    require(reread.size() == steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) require(same(reread[i], steps[i]));
    return 0;
}
