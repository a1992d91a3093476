// Typed access to single items: numbers, Booleans, raw and escaped strings, binary data.
#include <locale.h>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "ini/ini_internal.h"

using ini_detail::EqualNoCase;
using ini_detail::FindItem;
using ini_detail::IsSpace;
using ini_detail::Item;
using ini_detail::StoreItem;

namespace {

// --- Numbers as text ---------------------------------------------------------------------------

template <typename T>
std::string NumberText(T value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// "%.16g" without depending on the process locale (a German locale would write a comma).
std::string DoubleText(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 16);
    return std::string(buf, r.ptr);
}

bool IsBlankText(const std::string& s) {
    return ini_detail::Trim(s).empty();
}

// Whole-text decimal integer: blanks, optional sign, digits, blanks. Magnitude within 2^32 - 1.
bool ParseInteger(const std::string& text, bool& negative, std::uint64_t& magnitude) {
    const char* p = text.c_str();
    while (IsSpace(static_cast<unsigned char>(*p))) ++p;
    negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (magnitude > 429496729u || (magnitude == 429496729u && digit > 5)) return false;
        magnitude = magnitude * 10 + digit;
    }
    while (IsSpace(static_cast<unsigned char>(*p))) ++p;
    return *p == '\0';
}

locale_t CLocale() {
    static const locale_t kC = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return kC;
}

// --- Escapes -----------------------------------------------------------------------------------

// The control characters written as a backslash and a letter: kEscapeLetters[k] stands for
// kEscapedControls[k].
constexpr std::string_view kEscapeLetters = "nrt";
constexpr std::string_view kEscapedControls = "\n\r\t";

std::string Escape(const char* s) {
    static const char kHex[] = "0123456789abcdef";
    const size_t n = std::strlen(s);
    std::string out;
    out.reserve(4 * n + 1);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (const size_t k = kEscapedControls.find(static_cast<char>(c));
                   k != std::string_view::npos) {
            out += '\\';
            out += kEscapeLetters[k];
        } else if (c < 32 || c == 127) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Unescapes text into out (room for text.size() + 1); returns the length or a negative code.
long Unescape(const std::string& text, char* out) {
    const size_t n = text.size();
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c != '\\') {
            out[o++] = c;
            continue;
        }
        if (++i == n) break;  // a lone backslash at the very end is dropped
        if (const size_t k = kEscapeLetters.find(text[i]); k != std::string_view::npos) {
            out[o++] = kEscapedControls[k];
        } else if (text[i] == 'x') {
            const int hi = i + 1 < n ? HexDigit(static_cast<unsigned char>(text[i + 1])) : -1;
            const int lo = i + 2 < n ? HexDigit(static_cast<unsigned char>(text[i + 2])) : -1;
            if (hi < 0 || lo < 0) return kIniErrInvalidEscape;
            out[o++] = static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out[o++] = text[i];
        }
    }
    out[o] = '\0';
    return static_cast<long>(o);
}

// Unescaped value in the document's string buffer (never shrinks, multiples of 1024 bytes).
int UnescapeIntoDocument(IniDocument* doc, const Item& item, const char** result) {
    const size_t want = ((item.value.size() + 1) / 1024 + 1) * 1024;
    try {
        if (doc->stringBuffer.size() < want) doc->stringBuffer.resize(want);
    } catch (const std::bad_alloc&) {
        return kIniErrOutOfMemory;
    }
    const long n = Unescape(item.value, doc->stringBuffer.data());
    if (n < 0) return static_cast<int>(n);
    *result = doc->stringBuffer.data();
    return 1;
}

// --- Six-bit data text -------------------------------------------------------------------------

std::string DataToText(const unsigned char* d, size_t n) {
    std::string out;
    out.reserve(n / 3 * 4 + 4);
    for (size_t i = 0; i < n; i += 3) {
        const size_t g = n - i < 3 ? n - i : 3;
        unsigned top = 0;
        for (size_t k = 0; k < 3; ++k) top = top * 4 + (k < g ? d[i + k] >> 6 : 0);
        out += static_cast<char>(48 + top);
        for (size_t k = 0; k < g; ++k) out += static_cast<char>(48 + (d[i + k] & 63));
    }
    return out;
}

// Decodes six-bit text; false for a length or a character that no encoding produces.
bool TextToData(const std::string& t, std::string& out) {
    const size_t n = t.size();
    if (n % 4 == 1) return false;
    for (unsigned char c : t)
        if (c < 48 || c > 111) return false;
    out.clear();
    out.reserve(n / 4 * 3 + 2);
    for (size_t i = 0; i < n; i += 4) {
        const size_t g = (n - i < 4 ? n - i : 4) - 1;  // bytes in this group
        const unsigned top = static_cast<unsigned char>(t[i]) - 48u;
        for (size_t k = 0; k < g; ++k) {
            const unsigned shift = 4 - 2 * static_cast<unsigned>(k);
            const unsigned low = static_cast<unsigned char>(t[i + 1 + k]) - 48u;
            out += static_cast<char>((((top >> shift) & 3u) << 6) | low);
        }
    }
    return true;
}

// Heap copy that the caller releases with free().
char* MallocCopy(const char* s, size_t n) {
    auto* p = static_cast<char*>(std::malloc(n + 1));
    if (!p) return nullptr;
    std::memcpy(p, s, n);
    p[n] = '\0';
    return p;
}

void CopyIntoBuffer(const char* s, char* buffer, int bufferSize) {
    const size_t room = static_cast<size_t>(bufferSize) - 1;
    const size_t n = std::min(std::strlen(s), room);
    std::memcpy(buffer, s, n);
    buffer[n] = '\0';
}

int PutText(IniDocument* doc, const char* section, const char* tag, std::string text, bool quoted) {
    return StoreItem(doc, section, tag, std::move(text), quoted);
}

template <typename F>
int PutGuarded(F&& makeText, IniDocument* doc, const char* section, const char* tag, bool quoted) {
    try {
        return PutText(doc, section, tag, makeText(), quoted);
    } catch (const std::bad_alloc&) {
        return kIniErrOutOfMemory;
    }
}

}  // namespace

// --- Puts --------------------------------------------------------------------------------------

int Ini_PutInt(IniDocument* doc, const char* section, const char* tag, int value) {
    return PutGuarded([&] { return NumberText(value); }, doc, section, tag, false);
}

int Ini_PutUInt(IniDocument* doc, const char* section, const char* tag, unsigned int value) {
    return PutGuarded([&] { return NumberText(value); }, doc, section, tag, false);
}

int Ini_PutDouble(IniDocument* doc, const char* section, const char* tag, double value) {
    return PutGuarded([&] { return DoubleText(value); }, doc, section, tag, false);
}

int Ini_PutBoolean(IniDocument* doc, const char* section, const char* tag, int value) {
    return PutGuarded([&] { return std::string(value ? "True" : "False"); }, doc, section, tag, false);
}

int Ini_PutRawString(IniDocument* doc, const char* section, const char* tag, const char* value) {
    return PutGuarded([&] { return std::string(value ? value : ""); }, doc, section, tag, true);
}

int Ini_PutString(IniDocument* doc, const char* section, const char* tag, const char* value) {
    return PutGuarded([&] { return Escape(value ? value : ""); }, doc, section, tag, true);
}

int Ini_PutData(IniDocument* doc, const char* section, const char* tag, const void* data, long size) {
    const size_t n = data && size > 0 ? static_cast<size_t>(size) : 0;
    return PutGuarded([&] { return DataToText(static_cast<const unsigned char*>(data), n); }, doc, section,
                      tag, true);
}

// --- Gets --------------------------------------------------------------------------------------

int Ini_GetInt(IniDocument* doc, const char* section, const char* tag, int* value) {
    const Item* item = FindItem(doc, section, tag);
    if (!item || IsBlankText(item->value)) return 0;
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ParseInteger(item->value, negative, magnitude) || magnitude > (negative ? 2147483648u : 2147483647u))
        return kIniErrInvalidInt;
    *value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude)) : static_cast<int>(magnitude);
    return 1;
}

int Ini_GetUInt(IniDocument* doc, const char* section, const char* tag, unsigned int* value) {
    const Item* item = FindItem(doc, section, tag);
    if (!item || IsBlankText(item->value)) return 0;
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ParseInteger(item->value, negative, magnitude) || negative) return kIniErrInvalidUInt;
    *value = static_cast<unsigned int>(magnitude);
    return 1;
}

int Ini_GetDouble(IniDocument* doc, const char* section, const char* tag, double* value) {
    const Item* item = FindItem(doc, section, tag);
    if (!item || IsBlankText(item->value)) return 0;
    const std::string& t = item->value;
    if (EqualNoCase(t, "+Inf") || EqualNoCase(t, "Inf")) {
        *value = HUGE_VAL;
        return 1;
    }
    if (EqualNoCase(t, "-Inf")) {
        *value = -HUGE_VAL;
        return 1;
    }
    // Decimal point regardless of the process locale, as the writer uses.
    char* end = nullptr;
    errno = 0;
    *value = strtod_l(t.c_str(), &end, CLocale());
    if (errno != 0 || end != t.c_str() + t.size()) return kIniErrInvalidDouble;
    return 1;
}

int Ini_GetBoolean(IniDocument* doc, const char* section, const char* tag, int* value) {
    const Item* item = FindItem(doc, section, tag);
    if (!item || IsBlankText(item->value)) return 0;
    if (EqualNoCase(item->value, "True")) {
        *value = 1;
    } else if (EqualNoCase(item->value, "False")) {
        *value = 0;
    } else {
        return kIniErrInvalidBoolean;
    }
    return 1;
}

int Ini_GetPointerToRawString(IniDocument* doc, const char* section, const char* tag, const char** value) {
    const Item* item = FindItem(doc, section, tag);
    *value = item ? item->value.c_str() : nullptr;
    return item ? 1 : 0;
}

int Ini_GetRawStringCopy(IniDocument* doc, const char* section, const char* tag, char** value) {
    *value = nullptr;
    const Item* item = FindItem(doc, section, tag);
    if (!item) return 0;
    *value = MallocCopy(item->value.c_str(), item->value.size());
    return *value ? 1 : kIniErrOutOfMemory;
}

int Ini_GetRawStringIntoBuffer(IniDocument* doc, const char* section, const char* tag, char* buffer,
                               int bufferSize) {
    if (!buffer || bufferSize < 1) return FindItem(doc, section, tag) ? 1 : 0;
    buffer[0] = '\0';
    const Item* item = FindItem(doc, section, tag);
    if (!item) return 0;
    CopyIntoBuffer(item->value.c_str(), buffer, bufferSize);
    return 1;
}

int Ini_GetPointerToString(IniDocument* doc, const char* section, const char* tag, const char** value) {
    *value = nullptr;
    const Item* item = FindItem(doc, section, tag);
    return item ? UnescapeIntoDocument(doc, *item, value) : 0;
}

int Ini_GetStringCopy(IniDocument* doc, const char* section, const char* tag, char** value) {
    *value = nullptr;
    const char* text = nullptr;
    const int rc = Ini_GetPointerToString(doc, section, tag, &text);
    if (rc != 1) return rc;
    *value = MallocCopy(text, std::strlen(text));
    return *value ? 1 : kIniErrOutOfMemory;
}

int Ini_GetStringIntoBuffer(IniDocument* doc, const char* section, const char* tag, char* buffer,
                            int bufferSize) {
    if (buffer && bufferSize >= 1) buffer[0] = '\0';
    const char* text = nullptr;
    const int rc = Ini_GetPointerToString(doc, section, tag, &text);
    if (rc == 1 && buffer && bufferSize >= 1) CopyIntoBuffer(text, buffer, bufferSize);
    return rc;
}

int Ini_GetData(IniDocument* doc, const char* section, const char* tag, unsigned char** data, long* size) {
    *data = nullptr;
    if (size) *size = 0;
    const Item* item = FindItem(doc, section, tag);
    if (!item) return 0;
    std::string bytes;
    try {
        if (!TextToData(item->value, bytes)) return kIniErrInvalidDataText;
    } catch (const std::bad_alloc&) {
        return kIniErrOutOfMemory;
    }
    if (bytes.empty()) return 1;
    *data = static_cast<unsigned char*>(std::malloc(bytes.size()));
    if (!*data) return kIniErrOutOfMemory;
    std::memcpy(*data, bytes.data(), bytes.size());
    if (size) *size = static_cast<long>(bytes.size());
    return 1;
}
