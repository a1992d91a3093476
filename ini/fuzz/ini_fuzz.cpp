// Reads a document from arbitrary bytes, exercises every typed Get on every item, writes it
// back and reads the written text again. Aborts when the writer produces a line the reader
// would cut, or when the second read loses or invents a section.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ini/ini_store.h"
#include "ini/linefile.h"

namespace {
struct Memory {
    const char* data;
    size_t size;
    size_t pos = 0;
};

int ReadMemory(void* data, int maxBytes, int* bytesRead, char* buffer) {
    auto* m = static_cast<Memory*>(data);
    const size_t n = std::min(static_cast<size_t>(maxBytes), m->size - m->pos);
    std::memcpy(buffer, m->data + m->pos, n);
    m->pos += n;
    *bytesRead = static_cast<int>(n);
    return 0;
}

int GetLine(void* data, char* line, int maxChars, int* endOfInput, int* lineNumber) {
    auto* lf = static_cast<LineFile*>(data);
    const int rc = LineFile_ReadNonEmpty(lf, line, maxChars, nullptr, endOfInput);
    *lineNumber = LineFile_NumLinesRead(lf);
    return rc;
}

int PutLine(void* data, const char* line) {
    if (std::strlen(line) > 255) std::abort();
    static_cast<std::string*>(data)->append(line).append("\r\n");
    return 0;
}

int Read(IniDocument* doc, const char* bytes, size_t size) {
    Memory m{bytes, size};
    LineFile* lf = LineFile_New(ReadMemory, &m);
    const int rc = Ini_ReadGeneric(doc, GetLine, lf);
    LineFile_Dispose(lf);
    return rc;
}

void TouchItems(IniDocument* doc) {
    const char* section = nullptr;
    for (int s = 1; Ini_NthSectionName(doc, s, &section); ++s) {
        const std::string name = section;
        const char* tag = nullptr;
        for (int i = 1; Ini_NthItemName(doc, name.c_str(), i, &tag); ++i) {
            const std::string t = tag;
            int iv = 0;
            unsigned uv = 0;
            double dv = 0;
            char buf[16];
            char* copy = nullptr;
            unsigned char* blob = nullptr;
            long size = 0;
            Ini_GetInt(doc, name.c_str(), t.c_str(), &iv);
            Ini_GetUInt(doc, name.c_str(), t.c_str(), &uv);
            Ini_GetDouble(doc, name.c_str(), t.c_str(), &dv);
            Ini_GetBoolean(doc, name.c_str(), t.c_str(), &iv);
            Ini_GetStringIntoBuffer(doc, name.c_str(), t.c_str(), buf, sizeof buf);
            if (Ini_GetStringCopy(doc, name.c_str(), t.c_str(), &copy) == 1) std::free(copy);
            if (Ini_GetData(doc, name.c_str(), t.c_str(), &blob, &size) == 1) std::free(blob);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool sorted = size > 0 && (data[0] & 1);
    IniDocument* doc = Ini_New(sorted);
    if (size > 0 && (data[0] & 2)) Ini_SortInternally(doc);
    Read(doc, reinterpret_cast<const char*>(data), size);
    TouchItems(doc);
    std::string text;
    if (Ini_WriteGeneric(doc, PutLine, &text) >= 0) {
        IniDocument* again = Ini_New(sorted);
        Read(again, text.data(), text.size());
        if (Ini_NumberOfSections(again) != Ini_NumberOfSections(doc)) std::abort();
        Ini_Dispose(again);
    }
    Ini_Dispose(doc);
    return 0;
}
