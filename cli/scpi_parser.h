// The SCPI message parser of kwd2ctl serve: program messages (one line, units separated by ';')
// into headers and parameters, header matching against command patterns with optional nodes
// and numeric suffixes, and numbers with units. Plain C++, no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scpi {

// SCPI error numbers the bridge raises itself.
enum Error : int {
    kNoError = 0,
    kSyntaxError = -102,
    kDataTypeError = -104,
    kParameterNotAllowed = -108,
    kMissingParameter = -109,
    kUndefinedHeader = -113,
    kHeaderSuffixOutOfRange = -114,
    kInvalidSuffix = -131,
    kCommandProtected = -203,
    kDataOutOfRange = -222,
    kIllegalParameterValue = -224,
    kQueueOverflow = -350,
    kInputBufferOverrun = -363,
};
// The standard text of one of the numbers above.
const char* ErrorText(int error);

struct Parameter {
    enum class Kind { kNumber, kCharacters, kString };
    Kind kind = Kind::kNumber;
    double number = 0.0;  // Number: the value as written, before its unit
    std::string text;     // Number: the unit in capitals ("" when none); Characters: in capitals;
                          // String: the contents with doubled quotes undone
};

// One unit of a program message: a header with its parameters.
struct Unit {
    bool common = false;             // "*IDN?" and the like; `nodes` holds the one mnemonic
    bool absolute = false;           // began with ':'
    std::vector<std::string> nodes;  // mnemonics in capitals, numeric suffixes still attached
    bool query = false;
    std::vector<Parameter> parameters;
};

struct ParsedUnit {
    int error = kNoError;  // a syntax error ends the message here
    Unit unit;
};

// Splits a program message (without its LF; a trailing CR is ignored) into units. Parsing stops
// at the first malformed unit, whose error is the last entry. An empty message gives no units.
std::vector<ParsedUnit> ParseMessage(std::string_view message);

// A command pattern such as "[SOURce#:]VOLTage[:LEVel]" (capitals: the short form; '#': a numeric
// suffix; brackets: an optional node) or "*IDN".
class Pattern {
  public:
    Pattern(std::string_view text, int suffixMax);
    // kNoError on a match, `suffix` then holding the numeric suffix given (0 when none). Otherwise
    // the result says why: kUndefinedHeader, or kHeaderSuffixOutOfRange when only a suffix was wrong.
    int Match(const Unit& unit, int& suffix) const;

  private:
    struct Node {
        std::string shortForm;
        std::string longForm;
        bool optional;
        bool takesSuffix;
    };
    bool common_ = false;
    std::vector<Node> nodes_;
    int suffixMax_;
    int MatchFrom(std::size_t p, const std::vector<std::string>& input, std::size_t i, int& suffix,
                  bool& suffixWrong) const;
};

// Units a number may carry, and the factor to the base unit.
enum class Quantity { kNone, kVolt, kAmpere, kSecond };
// The value in the base unit (V, A, s): kNoError, or kInvalidSuffix when the unit does not fit
// `quantity`.
int ToBaseUnit(const Parameter& parameter, Quantity quantity, double& value);

// Path rule of ';' chains: a unit that does not start with ':' continues below the path of the
// unit before it (its nodes without the last). Common commands leave the path as it is.
std::vector<std::string> NextPath(const std::vector<std::string>& path, const Unit& unit);

}  // namespace scpi
