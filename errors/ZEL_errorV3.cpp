// Error codes to message texts, and the popups that show them.
#include "errors/ZEL_errorV3.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "errors/ZEL_errorV3_catalogue.h"
#include "platform/userint.h"

namespace {

constexpr int kEnglish = 2;
constexpr int kSilentKey = -6;  // error number 6: nothing is shown

constexpr const char* kFallbackGerman = "Ein unbekannter Fehler ist aufgetreten";
constexpr const char* kFallbackEnglish = "A unknown error occured";

int gCurrentLanguage = 1;

// Every lookup lands here; callers use the text before the next lookup.
std::array<char, 200> gMessageBuffer{};

bool IsEnglish() {
    return gCurrentLanguage == kEnglish;
}

// The error number, negated; integer division truncates toward zero, so -999..999 give 0.
int KeyOf(int code) {
    return code / 1000;
}

const char* TextFor(int key) {
    const auto rows = zel_error::Catalogue();
    const int number = -key;
    const auto row = std::lower_bound(rows.begin(), rows.end(), number,
                                      [](const zel_error::CatalogueRow& r, int n) { return r.number < n; });
    if (row == rows.end() || row->number != number) {
        return IsEnglish() ? kFallbackEnglish : kFallbackGerman;
    }
    return IsEnglish() ? row->english : row->german;
}

// The number the operator sees. Computed wide so that the most negative code cannot overflow.
long long ShownNumber(int code) {
    return -static_cast<long long>(code);
}

}  // namespace

const char* ZEL_Fehlermeldung(int code) {
    const std::string_view text = TextFor(KeyOf(code));
    const std::size_t length = std::min(text.size(), gMessageBuffer.size() - 1);
    std::memcpy(gMessageBuffer.data(), text.data(), length);
    gMessageBuffer[length] = '\0';
    return gMessageBuffer.data();
}

void ZEL_Fehlerpopup(int code) {
    if (KeyOf(code) == kSilentKey) {
        return;
    }
    std::array<char, 52> title{};
    std::snprintf(title.data(), title.size(), IsEnglish() ? "Error #%lld" : "Fehler #%lld",
                  ShownNumber(code));
    MessagePopup(title.data(), ZEL_Fehlermeldung(code));
}

void ZEL_Fehlerpopup2(int code, const char* callerTitle) {
    if (KeyOf(code) == kSilentKey) {
        return;
    }
    std::array<char, 100> title{};
    std::array<char, 24> suffix{};
    const int suffixLength = std::snprintf(suffix.data(), suffix.size(), " #%lld", ShownNumber(code));
    // A caller's title too long for the buffer is cut, never the number behind it.
    const std::string_view given = callerTitle != nullptr ? callerTitle : "";
    const std::size_t room = title.size() - 1 - static_cast<std::size_t>(suffixLength);
    const std::size_t kept = std::min(given.size(), room);
    std::memcpy(title.data(), given.data(), kept);
    std::memcpy(title.data() + kept, suffix.data(), static_cast<std::size_t>(suffixLength) + 1);
    MessagePopup(title.data(), ZEL_Fehlermeldung(code));
}

void ZEL_Fehlersprache(int language) {
    gCurrentLanguage = language;
}
