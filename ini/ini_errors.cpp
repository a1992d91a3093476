// Message texts for the store's status codes.
#include <cstddef>

#include "ini/ini_store.h"

namespace {
struct CodeText {
    int code;
    const char* text;
};

constexpr CodeText kToolboxTexts[] = {
    {kIniErrOpenForRead, "Could Not Open File For Reading"},
    {kIniErrReadFile, "Error Reading From File"},
    {kIniErrNoTempName, "Could Not Find Unused Temporary File Name"},
    {kIniErrCreateTemp, "Could Not Create Temporary File"},
    {kIniErrInvalidInt, "Invalid Integer Number"},
    {kIniErrInvalidUInt, "Invalid Unsigned Integer Number"},
    {kIniErrInvalidDouble, "Invalid Floating Point Number"},
    {kIniErrInvalidBoolean, "Invalid Boolean Value"},
    {kIniErrNameTooLong, "Tag Or Section Name Too Long For One Line"},
    {kIniErrInvalidEscape, "Invalid Escape Sequence"},
    {kIniErrInvalidDataText, "Invalid Binary Data Text"},
    {kIniErrNullArgument, "Missing Section Name Or Tag"},
};

constexpr CodeText kGeneralTexts[] = {
    {kIniErrOutOfMemory, "Out of memory"},
    {kIniErrFileInfo, "Unable to get file information"},
    {kIniErrIo, "General I/O error"},
    {kIniErrFileNotFound, "File not found"},
    {kIniErrAccessDenied, "Access denied"},
    {kIniErrDiskFull, "Disk is full"},
    {kIniErrFileBusy, "File is in use or on another device"},
};

template <std::size_t N>
const char* Lookup(const CodeText (&table)[N], int code) {
    for (const auto& e : table)
        if (e.code == code) return e.text;
    return nullptr;
}
}  // namespace

const char* GetToolboxErrorString(int code) {
    return Lookup(kToolboxTexts, code);
}

const char* GetGeneralErrorString(int code) {
    if (code > -169 && code < 169) {
        if (code == 0) return "No error";
        const char* text = Lookup(kGeneralTexts, code);
        return text ? text : "Unknown error";
    }
    const char* text = GetToolboxErrorString(code);
    return text ? text : "Unknown error";
}
