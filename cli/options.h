// Command line of kwd2ctl: the global options, the command and its own options and arguments.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kwd2ctl {

// A mistake in the command line: exit status 2 with a hint to --help.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Invocation {
    std::string portName;        // as given: "COM1", "/dev/ttyUSB0"
    std::vector<int> addresses;  // one, or several for monitor
    double timeoutSeconds = 1.0;
    bool verbose = false;
    bool help = false;
    bool version = false;
    std::string command;
    std::vector<std::string> arguments;          // positional arguments after the command
    std::map<std::string, std::string> options;  // the command's own options, by long name

    // The value of a command option; nullopt when it was not given.
    std::optional<std::string> Option(const std::string& longName) const {
        const auto it = options.find(longName);
        return it == options.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

// What a command accepts besides its positional arguments.
struct CommandOption {
    const char* longName;  // "interval"
    char shortName;        // 'i', or 0
    bool takesValue;
};

// Splits the command line. `commandOptions` tells which options the named command takes;
// global options may stand before or after the command. Environment defaults: KWD2_PORT,
// KWD2_ADDR. Throws UsageError.
Invocation ParseCommandLine(const std::vector<std::string>& args,
                            const std::vector<CommandOption>& (*commandOptions)(const std::string& command));

// Strict numbers: the whole text, finite. Throw UsageError naming `what`.
double ParseNumber(const std::string& text, const std::string& what);
long long ParseCount(const std::string& text, const std::string& what);
// "COM1".."COM8" (any case) gives 1..8; another COM name throws; a path gives 0.
int ComPortNumber(const std::string& name);

}  // namespace kwd2ctl
