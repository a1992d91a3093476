// Internal layout of an IniDocument, shared by the store's translation units only.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ini/ini_store.h"

namespace ini_detail {

constexpr int kMaxLineChars = 255;  // longest line the reader takes and the writer produces
constexpr size_t kPieceChars = 80;  // longer values go out as numbered continuation items
constexpr std::string_view kContinuation = " Line";

struct Item {
    std::string tag;
    std::string value;
    int line = 0;
    bool quoted = false;
};

struct Section {
    std::string name;
    std::vector<std::unique_ptr<Item>> items;
    std::vector<Item*> index;  // sorted by tag; only meaningful while hasIndex
    bool hasIndex = false;
    bool sorted = false;
    int line = 0;
};

// Case-insensitive (ASCII) three-way comparison, the order of every lookup and sort.
int CompareNoCase(std::string_view a, std::string_view b);
inline bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}
inline bool IsSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
std::string_view Trim(std::string_view s);

// Store one item (the common step of every Put). Returns 0 or a negative code.
int StoreItem(IniDocument* doc, const char* section, const char* tag, std::string value, bool quoted);
// Find the value of an item (the common step of every Get); null when absent.
const Item* FindItem(IniDocument* doc, const char* section, const char* tag);
// Longest line an item or header would take when written with the document's tokens.
size_t LongestItemLine(const IniDocument* doc, std::string_view tag, size_t valueLength, bool quoted);
size_t HeaderLine(std::string_view name);

}  // namespace ini_detail

struct IniDocument {
    std::vector<std::unique_ptr<ini_detail::Section>> sections;
    std::vector<ini_detail::Section*> index;  // sorted by name; only meaningful while hasIndex
    bool hasIndex = false;
    ini_detail::Section* cache = nullptr;
    bool sorted = false;
    int lineOfLastAccess = -1;
    std::string valueSeparator = "=";
    std::string outputSeparator = " = ";
    char sectionStart = '[';
    char sectionEnd = ']';
    std::string commentMarker = ";";
    bool duplicateChecking = true;
    IniSectionFilter filter = nullptr;
    void* filterData = nullptr;
    std::vector<char> stringBuffer;
};
