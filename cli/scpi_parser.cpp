#include "cli/scpi_parser.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace scpi {

namespace {

struct ErrorName {
    int error;
    const char* text;
};
constexpr std::array<ErrorName, 13> kErrorTexts{{
    {kNoError, "No error"},
    {kSyntaxError, "Syntax error"},
    {kDataTypeError, "Data type error"},
    {kParameterNotAllowed, "Parameter not allowed"},
    {kMissingParameter, "Missing parameter"},
    {kUndefinedHeader, "Undefined header"},
    {kHeaderSuffixOutOfRange, "Header suffix out of range"},
    {kInvalidSuffix, "Invalid suffix"},
    {kCommandProtected, "Command protected"},
    {kDataOutOfRange, "Data out of range"},
    {kIllegalParameterValue, "Illegal parameter value"},
    {kQueueOverflow, "Queue overflow"},
    {kInputBufferOverrun, "Input buffer overrun"},
}};

bool IsAlpha(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool IsWordChar(char c) {
    return IsAlpha(c) || IsDigit(c) || c == '_';
}
char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Reads one unit from `text` at `pos`; stops before ';' or at the end.
class UnitReader {
  public:
    UnitReader(std::string_view text, std::size_t pos) : s_(text), i_(pos) {}
    std::size_t Position() const { return i_; }

    int Read(Unit& unit) {
        SkipSpace();
        if (Peek() == '*') {
            ++i_;
            unit.common = true;
            std::string name = Word();
            if (name.empty()) return kSyntaxError;
            unit.nodes.push_back(std::move(name));
        } else {
            if (Peek() == ':') {
                ++i_;
                unit.absolute = true;
            }
            for (;;) {
                if (!IsAlpha(Peek())) return kSyntaxError;
                unit.nodes.push_back(Word());
                if (Peek() != ':') break;
                ++i_;
            }
        }
        if (Peek() == '?') {
            ++i_;
            unit.query = true;
        }
        if (AtUnitEnd()) return kNoError;
        if (!IsSpace(Peek())) return kSyntaxError;
        SkipSpace();
        if (AtUnitEnd()) return kNoError;
        for (;;) {
            Parameter parameter;
            if (const int error = ReadParameter(parameter); error != kNoError) return error;
            unit.parameters.push_back(std::move(parameter));
            SkipSpace();
            if (AtUnitEnd()) return kNoError;
            if (Peek() != ',') return kSyntaxError;
            ++i_;
            SkipSpace();
        }
    }

  private:
    std::string_view s_;
    std::size_t i_;

    char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    static bool IsSpace(char c) { return c == ' ' || c == '\t'; }
    bool AtUnitEnd() const { return i_ >= s_.size() || s_[i_] == ';'; }
    void SkipSpace() {
        while (IsSpace(Peek())) ++i_;
    }
    std::string Word() {
        std::string w;
        while (IsWordChar(Peek())) w += Upper(s_[i_++]);
        return w;
    }
    std::size_t Digits() {
        const std::size_t start = i_;
        while (IsDigit(Peek())) ++i_;
        return i_ - start;
    }

    int ReadParameter(Parameter& p) {
        const char c = Peek();
        if (c == '"' || c == '\'') return ReadString(p, c);
        if (IsAlpha(c)) {
            p.kind = Parameter::Kind::kCharacters;
            p.text = Word();
            return kNoError;
        }
        if (IsDigit(c) || c == '+' || c == '-' || c == '.') return ReadNumber(p);
        return kSyntaxError;
    }

    int ReadString(Parameter& p, char quote) {
        p.kind = Parameter::Kind::kString;
        ++i_;
        for (;;) {
            if (i_ >= s_.size()) return kSyntaxError;
            const char c = s_[i_++];
            if (c != quote) {
                p.text += c;
            } else if (Peek() == quote) {
                p.text += quote;
                ++i_;
            } else {
                return kNoError;
            }
        }
    }

    int ReadNumber(Parameter& p) {
        p.kind = Parameter::Kind::kNumber;
        const std::size_t start = i_;
        if (Peek() == '+' || Peek() == '-') ++i_;
        std::size_t mantissa = Digits();
        if (Peek() == '.') {
            ++i_;
            mantissa += Digits();
        }
        if (mantissa == 0) return kSyntaxError;
        if (Peek() == 'e' || Peek() == 'E') {
            ++i_;
            if (Peek() == '+' || Peek() == '-') ++i_;
            if (Digits() == 0) return kSyntaxError;
        }
        std::string_view number = s_.substr(start, i_ - start);
        if (number.front() == '+') number.remove_prefix(1);
        const auto result = std::from_chars(number.data(), number.data() + number.size(), p.number);
        if (result.ec == std::errc::result_out_of_range || !std::isfinite(p.number)) return kDataOutOfRange;
        if (result.ec != std::errc() || result.ptr != number.data() + number.size()) return kSyntaxError;
        SkipSpace();
        while (IsAlpha(Peek())) p.text += Upper(s_[i_++]);
        return kNoError;
    }
};

// Splits "SOUR12" into "SOUR" and 12; `digits` is false when there is no suffix.
std::string_view WithoutSuffix(std::string_view node, bool& hasDigits, int& suffix) {
    std::size_t end = node.size();
    while (end > 0 && IsDigit(node[end - 1])) --end;
    hasDigits = end < node.size();
    suffix = 1;
    if (hasDigits) {
        const std::string_view digitsText = node.substr(end);
        // Long suffixes are out of range anyway; 9999 stands for them.
        suffix = digitsText.size() > 4 ? 9999 : std::stoi(std::string(digitsText));
    }
    return node.substr(0, end);
}

}  // namespace

const char* ErrorText(int error) {
    for (const ErrorName& e : kErrorTexts) {
        if (e.error == error) return e.text;
    }
    return "Unknown error";
}

std::vector<ParsedUnit> ParseMessage(std::string_view message) {
    if (!message.empty() && message.back() == '\r') message.remove_suffix(1);
    std::vector<ParsedUnit> units;
    std::size_t pos = 0;
    for (;;) {
        // A trailing ';' ends the message like its end does.
        if (message.find_first_not_of(" \t", pos) == std::string_view::npos) break;
        ParsedUnit parsed;
        UnitReader reader(message, pos);
        parsed.error = reader.Read(parsed.unit);
        units.push_back(std::move(parsed));
        if (units.back().error != kNoError) break;
        pos = reader.Position();
        if (pos >= message.size()) break;
        ++pos;  // the ';'
    }
    return units;
}

Pattern::Pattern(std::string_view text, int suffixMax) : suffixMax_(suffixMax) {
    if (!text.empty() && text.front() == '*') {
        common_ = true;
        text.remove_prefix(1);
    }
    Node node{"", "", false, false};
    bool optional = false;
    const auto finish = [&] {
        if (!node.longForm.empty()) {
            node.optional = optional;
            nodes_.push_back(node);
        }
        node = Node{"", "", false, false};
    };
    for (const char c : text) {
        if (c == '[' || c == ']' || c == ':') {
            finish();
            if (c == '[') optional = true;
            if (c == ']') optional = false;
        } else if (c == '#') {
            node.takesSuffix = true;
        } else {
            node.longForm += Upper(c);
            if (!std::islower(static_cast<unsigned char>(c))) node.shortForm += c;
        }
    }
    finish();
}

int Pattern::MatchFrom(std::size_t p, const std::vector<std::string>& input, std::size_t i, int& suffix,
                       bool& suffixWrong) const {
    if (p == nodes_.size()) return i == input.size() ? kNoError : kUndefinedHeader;
    const Node& node = nodes_[p];
    if (i < input.size()) {
        bool hasDigits = false;
        int given = 1;
        const std::string_view base = WithoutSuffix(input[i], hasDigits, given);
        const bool nameFits = input[i] == node.shortForm || input[i] == node.longForm;
        const bool baseFits = base == node.shortForm || base == node.longForm;
        if (node.takesSuffix && baseFits) {
            if (!hasDigits || (given >= 1 && given <= suffixMax_)) {
                int inner = suffix;
                if (MatchFrom(p + 1, input, i + 1, inner, suffixWrong) == kNoError) {
                    suffix = hasDigits ? given : 0;
                    return kNoError;
                }
            } else {
                suffixWrong = true;
            }
        } else if (nameFits) {
            if (MatchFrom(p + 1, input, i + 1, suffix, suffixWrong) == kNoError) return kNoError;
        } else if (hasDigits && baseFits) {
            suffixWrong = true;
        }
    }
    if (node.optional) return MatchFrom(p + 1, input, i, suffix, suffixWrong);
    return kUndefinedHeader;
}

int Pattern::Match(const Unit& unit, int& suffix) const {
    suffix = 0;
    if (unit.common != common_) return kUndefinedHeader;
    // MatchFrom sets `suffix` only on the way back from a match.
    bool suffixWrong = false;
    if (MatchFrom(0, unit.nodes, 0, suffix, suffixWrong) == kNoError) return kNoError;
    return suffixWrong ? kHeaderSuffixOutOfRange : kUndefinedHeader;
}

int ToBaseUnit(const Parameter& parameter, Quantity quantity, double& value) {
    struct UnitName {
        const char* name;
        Quantity quantity;
        double divisor;  // division keeps 12.3 mA as 12.3 after the way back
    };
    static constexpr std::array<UnitName, 6> kUnits{{
        {"V", Quantity::kVolt, 1.0},
        {"MV", Quantity::kVolt, 1000.0},
        {"A", Quantity::kAmpere, 1.0},
        {"MA", Quantity::kAmpere, 1000.0},
        {"S", Quantity::kSecond, 1.0},
        {"MS", Quantity::kSecond, 1000.0},
    }};
    if (parameter.text.empty()) {
        value = parameter.number;
        return kNoError;
    }
    for (const UnitName& u : kUnits) {
        if (parameter.text == u.name && quantity == u.quantity) {
            value = parameter.number / u.divisor;
            return kNoError;
        }
    }
    return kInvalidSuffix;
}

std::vector<std::string> NextPath(const std::vector<std::string>& path, const Unit& unit) {
    if (unit.common) return path;
    std::vector<std::string> full = unit.absolute ? std::vector<std::string>{} : path;
    full.insert(full.end(), unit.nodes.begin(), unit.nodes.end());
    full.pop_back();
    return full;
}

}  // namespace scpi
