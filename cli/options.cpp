#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kwd2ctl {

namespace {

std::vector<int> ParseAddresses(const std::string& text, const std::string& source) {
    std::vector<int> addresses;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string part =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (part.size() != 1 || part[0] < '0' || part[0] > '9') {
            throw UsageError("bus address must be 0 to 9 (" + source + "): '" + text + "'");
        }
        const int address = part[0] - '0';
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end()) {
            throw UsageError("bus address " + part + " given twice (" + source + ")");
        }
        addresses.push_back(address);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return addresses;
}

// True when the whole text, and nothing else, is one number.
template <typename Number>
bool WholeText(const std::string& text, Number& value) {
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(text.data(), last, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == last;
}

const std::vector<CommandOption> kGlobal = {
    {"port", 'p', true},     {"address", 'a', true}, {"timeout", 0, true},
    {"verbose", 'v', false}, {"help", 'h', false},   {"version", 0, false},
};

const CommandOption* FindOption(const std::vector<CommandOption>& options, const std::string& token) {
    for (const CommandOption& option : options) {
        if (token.size() == 2 && token[0] == '-' && token[1] != '-' && option.shortName != 0 &&
            token[1] == option.shortName) {
            return &option;
        }
        if (token == std::string("--") + option.longName) return &option;
    }
    return nullptr;
}

void ApplyGlobal(Invocation& inv, const std::string& name, const std::string& value) {
    if (name == "port") {
        ComPortNumber(value);  // a COM name outside 1..8 is refused here
        if (value.empty()) throw UsageError("empty port name");
        inv.portName = value;
    } else if (name == "address") {
        inv.addresses = ParseAddresses(value, "-a");
    } else if (name == "timeout") {
        inv.timeoutSeconds = ParseNumber(value, "--timeout");
        if (inv.timeoutSeconds <= 0.0 || inv.timeoutSeconds > 1000.0) {
            throw UsageError("--timeout must be more than 0 and at most 1000 seconds: '" + value + "'");
        }
    } else if (name == "verbose") {
        inv.verbose = true;
    } else if (name == "help") {
        inv.help = true;
    } else if (name == "version") {
        inv.version = true;
    }
}

}  // namespace

double ParseNumber(const std::string& text, const std::string& what) {
    double value = 0.0;
    if (!WholeText(text, value) || !std::isfinite(value))
        throw UsageError(what + ": not a number: '" + text + "'");
    return value;
}

long long ParseCount(const std::string& text, const std::string& what) {
    long long value = 0;
    if (!WholeText(text, value) || value <= 0) {
        throw UsageError(what + ": not a whole number above 0: '" + text + "'");
    }
    return value;
}

int ComPortNumber(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower.size() < 4 || lower.compare(0, 3, "com") != 0 ||
        !std::all_of(lower.begin() + 3, lower.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return 0;
    }
    if (lower.size() != 4 || lower[3] < '1' || lower[3] > '8') {
        throw UsageError("port must be COM1 to COM8 or a device path: '" + name + "'");
    }
    return lower[3] - '0';
}

Invocation ParseCommandLine(const std::vector<std::string>& args,
                            const std::vector<CommandOption>& (*commandOptions)(const std::string& command)) {
    Invocation inv;
    const char* port = std::getenv("KWD2_PORT");
    inv.portName = port != nullptr && *port != '\0' ? port : "COM1";
    ComPortNumber(inv.portName);
    const char* address = std::getenv("KWD2_ADDR");
    inv.addresses =
        address != nullptr && *address != '\0' ? ParseAddresses(address, "KWD2_ADDR") : std::vector<int>{0};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string token = args[i];
        const bool looksLikeOption = !optionsEnded && token.size() > 1 && token[0] == '-';
        if (!optionsEnded && token == "--") {
            optionsEnded = true;
            continue;
        }
        if (!looksLikeOption) {
            if (inv.command.empty()) {
                inv.command = token;
            } else {
                inv.arguments.push_back(token);
            }
            continue;
        }
        std::string inlineValue;
        bool hasInline = false;
        if (const auto eq = token.find('='); token.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = token.substr(eq + 1);
            token = token.substr(0, eq);
            hasInline = true;
        }
        const auto takeValue = [&](bool takes) -> std::string {
            if (!takes) {
                if (hasInline) throw UsageError("option " + token + " takes no value");
                return {};
            }
            if (hasInline) return inlineValue;
            if (i + 1 >= args.size()) throw UsageError("option " + token + " needs a value");
            return args[++i];
        };
        if (const CommandOption* g = FindOption(kGlobal, token)) {
            ApplyGlobal(inv, g->longName, takeValue(g->takesValue));
            continue;
        }
        const CommandOption* own =
            inv.command.empty() ? nullptr : FindOption(commandOptions(inv.command), token);
        if (own == nullptr) {
            throw UsageError("unknown option " + token + (inv.command.empty() ? "" : " for " + inv.command));
        }
        if (inv.options.count(own->longName) != 0) throw UsageError("option " + token + " given twice");
        inv.options[own->longName] = takeValue(own->takesValue);
    }
    return inv;
}

}  // namespace kwd2ctl
