// Fmt and Scan for the request and reply texts of the serial protocol. Numbers are formatted and
// parsed with std::to_chars/from_chars, so the process locale (a German LC_NUMERIC with a decimal
// comma) never changes what goes on the wire.
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/formatio.h"

namespace {

struct Conversion {
    char code = 0;
    std::optional<int> width;      // [wN]
    std::optional<int> precision;  // [pN]
};

// Reads one "%x[..]" at format[pos] (just after '%'); advances pos. nullopt on a malformed conversion.
std::optional<Conversion> ParseConversion(std::string_view format, std::size_t& pos) {
    if (pos >= format.size()) return std::nullopt;
    Conversion conv;
    conv.code = format[pos++];
    if (std::string_view("cidfsx").find(conv.code) == std::string_view::npos) return std::nullopt;
    if (pos < format.size() && format[pos] == '[') {
        const std::size_t close = format.find(']', pos);
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view mods = format.substr(pos + 1, close - pos - 1);
        while (!mods.empty()) {
            const char kind = mods.front();
            int number = 0;
            const auto [end, ec] = std::from_chars(mods.data() + 1, mods.data() + mods.size(), number);
            if (ec != std::errc() || end == mods.data() + 1 || number < 0) return std::nullopt;
            if (kind == 'w') {
                conv.width = number;
            } else if (kind == 'p') {
                conv.precision = number;
            } else {
                return std::nullopt;
            }
            mods.remove_prefix(static_cast<std::size_t>(end - mods.data()));
        }
        pos = close + 1;
    }
    return conv;
}

// Strips the leading "%s<" (Fmt) or "%s>" (Scan) that names the string side.
std::string_view Body(const char* format, char direction) {
    std::string_view text = format;
    if (text.size() >= 3 && text[0] == '%' && text[1] == 's' && text[2] == direction) text.remove_prefix(3);
    return text;
}

// Pads to the width; a text wider than its field does not fit and is refused, never cut.
bool FitWidth(std::string& text, const Conversion& conv, char pad) {
    if (!conv.width) return true;
    const auto width = static_cast<std::size_t>(*conv.width);
    if (text.size() > width) return false;
    text.insert(0, width - text.size(), pad);
    return true;
}

std::optional<std::string> FormatReal(double value, const Conversion& conv) {
    if (!std::isfinite(value)) return std::nullopt;
    std::array<char, 400> digits{};
    const int precision = conv.precision.value_or(6);
    const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                         std::chars_format::fixed, precision);
    if (ec != std::errc()) return std::nullopt;
    std::string text(digits.data(), end);
    // A value that rounds to zero is not negative.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string FormatInteger(int value, int base) {
    std::array<char, 16> digits{};
    const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), value, base);
    std::string text(digits.data(), end);
    if (base == 16) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::optional<std::string> FormatOne(const Conversion& conv, va_list& args) {
    std::string text;
    switch (conv.code) {
        case 'c':
            text.assign(1, static_cast<char>(va_arg(args, int)));
            break;
        case 'i':
        case 'd':
            text = FormatInteger(va_arg(args, int), 10);
            return FitWidth(text, conv, ' ') ? std::optional(text) : std::nullopt;
        case 'x':
            text = FormatInteger(va_arg(args, int), 16);
            return FitWidth(text, conv, '0') ? std::optional(text) : std::nullopt;
        case 'f': {
            auto real = FormatReal(va_arg(args, double), conv);
            if (!real || !FitWidth(*real, conv, ' ')) return std::nullopt;
            return real;
        }
        case 's': {
            const char* s = va_arg(args, const char*);
            if (s == nullptr) return std::nullopt;
            text = s;
            break;
        }
        default:
            return std::nullopt;
    }
    return text;
}

// Scanning: each reader consumes from `in` and returns false when the text does not match.
bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The longest prefix that is a decimal number: [sign] digits [. digits] [e [sign] digits].
std::size_t RealLength(std::string_view in) {
    std::size_t i = 0;
    if (i < in.size() && (in[i] == '-' || in[i] == '+')) ++i;
    std::size_t mantissaDigits = 0;
    while (i < in.size() && std::isdigit(static_cast<unsigned char>(in[i]))) ++i, ++mantissaDigits;
    if (i < in.size() && in[i] == '.') {
        ++i;
        while (i < in.size() && std::isdigit(static_cast<unsigned char>(in[i]))) ++i, ++mantissaDigits;
    }
    if (mantissaDigits == 0) return 0;
    if (i < in.size() && (in[i] == 'e' || in[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < in.size() && (in[j] == '-' || in[j] == '+')) ++j;
        const std::size_t digitsStart = j;
        while (j < in.size() && std::isdigit(static_cast<unsigned char>(in[j]))) ++j;
        if (j > digitsStart) i = j;
    }
    return i;
}

std::size_t IntegerLength(std::string_view in, int base) {
    std::size_t i = 0;
    if (base == 10 && i < in.size() && (in[i] == '-' || in[i] == '+')) ++i;
    const std::size_t digitsStart = i;
    while (i < in.size() && (base == 16 ? std::isxdigit(static_cast<unsigned char>(in[i]))
                                        : std::isdigit(static_cast<unsigned char>(in[i])))) {
        ++i;
    }
    return i > digitsStart ? i : 0;
}

// Converts the first `length` characters of `in` (a leading '+' allowed) as a whole and consumes
// them; `base` is the integer base, none for a real number.
template <typename T, typename... Base>
bool ScanNumber(std::string_view& in, std::size_t length, T* target, Base... base) {
    if (length == 0) return false;
    std::string_view text = in.substr(0, length);
    if (text.front() == '+') text.remove_prefix(1);
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base...);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    *target = value;
    in.remove_prefix(length);
    return true;
}

bool ScanInteger(std::string_view& in, const Conversion& conv, int base, int* target) {
    std::size_t length = IntegerLength(in, base);
    if (conv.width) {
        // Exactly that many characters, all of them part of the number.
        const auto width = static_cast<std::size_t>(*conv.width);
        if (width == 0 || in.size() < width || length < width) return false;
        length = width;
    }
    return ScanNumber(in, length, target, base);
}

bool ScanOne(std::string_view& in, const Conversion& conv, va_list& args) {
    switch (conv.code) {
        case 'c': {
            int* target = va_arg(args, int*);
            if (in.empty()) return false;
            *target = static_cast<unsigned char>(in.front());
            in.remove_prefix(1);
            return true;
        }
        case 'i':
        case 'd':
            return ScanInteger(in, conv, 10, va_arg(args, int*));
        case 'x':
            return ScanInteger(in, conv, 16, va_arg(args, int*));
        case 'f':
            return ScanNumber(in, RealLength(in), va_arg(args, double*));
        case 's': {
            // Up to the first white space; the target must hold the source text and its zero.
            char* target = va_arg(args, char*);
            std::size_t length = 0;
            while (length < in.size() && !IsSpace(in[length])) ++length;
            if (length == 0) return false;
            std::memcpy(target, in.data(), length);
            target[length] = '\0';
            in.remove_prefix(length);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

int Fmt(char* buffer, const char* format, ...) {
    if (buffer == nullptr || format == nullptr) return -1;
    const std::string_view pattern = Body(format, '<');
    std::string out;
    va_list args;
    va_start(args, format);
    bool ok = true;
    for (std::size_t pos = 0; ok && pos < pattern.size();) {
        if (pattern[pos] != '%') {
            out += pattern[pos++];
            continue;
        }
        ++pos;
        const auto parsed = ParseConversion(pattern, pos);
        const auto text = parsed ? FormatOne(*parsed, args) : std::nullopt;
        if (text) {
            out += *text;
        } else {
            ok = false;
        }
    }
    va_end(args);
    if (!ok) return -1;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}

int Scan(const char* source, const char* format, ...) {
    if (source == nullptr || format == nullptr) return -1;
    const std::string_view pattern = Body(format, '>');
    std::string_view in = source;
    int filled = 0;
    va_list args;
    va_start(args, format);
    for (std::size_t pos = 0; pos < pattern.size();) {
        if (pattern[pos] != '%') {
            if (in.empty() || in.front() != pattern[pos]) break;
            in.remove_prefix(1);
            ++pos;
            continue;
        }
        ++pos;
        const auto parsed = ParseConversion(pattern, pos);
        if (!parsed || !ScanOne(in, *parsed, args)) break;
        ++filled;
    }
    va_end(args);
    return filled;
}
