// kwd2ctl: the KWD2 bus from a terminal and from scripts.
//   kwd2ctl [-p PORT] [-a ADDR] [--timeout SECONDS] [-v] COMMAND [ARGS...]
// Exit status: 0 success, 1 a device, line or file error, 2 a usage error.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kwd2ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The program's version, as "kwd2ctl --version" prints it after the name.
const char* Version();

// Runs one command line (without the program name) and returns its exit status (kExit*). Data
// goes to `out`, messages to `err`.
// SIGINT and SIGTERM end monitor and run only when the caller has installed the stop signals
// (StopSignal_Install); StopSignal_Raise does the same from inside the process.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kwd2ctl
