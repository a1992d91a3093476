// Helpers shared by the store's tests: documents from and to in-memory text, scratch folders.
#pragma once

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "ini/ini_store.h"
#include "ini/linefile.h"
#include "tests/support/temp_dir.h"

namespace ini_test {

// Owns a document for the length of a test.
struct DocDeleter {
    void operator()(IniDocument* d) const { Ini_Dispose(d); }
};
using Doc = std::unique_ptr<IniDocument, DocDeleter>;

struct MemoryStream {
    std::string bytes;
    size_t pos = 0;
};

inline int ReadMemory(void* data, int maxBytes, int* bytesRead, char* buffer) {
    auto* m = static_cast<MemoryStream*>(data);
    const size_t n = std::min(static_cast<size_t>(maxBytes), m->bytes.size() - m->pos);
    std::memcpy(buffer, m->bytes.data() + m->pos, n);
    m->pos += n;
    *bytesRead = static_cast<int>(n);
    return 0;
}

inline int GetLine(void* data, char* line, int maxChars, int* endOfInput, int* lineNumber) {
    auto* lf = static_cast<LineFile*>(data);
    const int rc = LineFile_ReadNonEmpty(lf, line, maxChars, nullptr, endOfInput);
    *lineNumber = LineFile_NumLinesRead(lf);
    return rc;
}

inline int ReadText(IniDocument* doc, const std::string& text) {
    MemoryStream m{text};
    LineFile* lf = LineFile_New(ReadMemory, &m);
    const int rc = Ini_ReadGeneric(doc, GetLine, lf);
    LineFile_Dispose(lf);
    return rc;
}

inline int AppendLine(void* data, const char* line) {
    static_cast<std::string*>(data)->append(line).append("\r\n");
    return 0;
}

inline std::string WriteText(IniDocument* doc) {
    std::string out;
    Ini_WriteGeneric(doc, AppendLine, &out);
    return out;
}

inline std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void Spit(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A fresh scratch folder per test, removed afterwards.
struct ScratchDir : testsupport::TempDir {
    ScratchDir() : TempDir("ini_test") {}
    // Everything in the folder except the names given.
    int CountOthers(std::initializer_list<std::string> known) const {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(path()))
            if (std::find(known.begin(), known.end(), e.path().filename().string()) == known.end()) ++n;
        return n;
    }
};

}  // namespace ini_test
