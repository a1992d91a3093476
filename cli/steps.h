// Step lists for "kwd2ctl run": CSV with the header voltage_V,current_mA,hold_s and the optional
// columns tau_u_s and tau_i_s, in any order. Blank lines and lines starting with '#' are skipped.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace kwd2ctl {

struct Step {
    int line = 0;  // where it stands in the file, for messages
    double volts = 0.0;
    double milliamps = 0.0;
    double holdSeconds = 0.0;
    std::optional<double> tauVolts;
    std::optional<double> tauMilliamps;
};

// Reads and checks the whole list. Throws UsageError naming the line of the first bad row.
std::vector<Step> ParseSteps(std::istream& in, const std::string& fileName);

}  // namespace kwd2ctl
