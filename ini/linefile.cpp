// Line reader over a block-buffered byte stream.
#include "ini/linefile.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {
constexpr int kBlockSize = 2048;
constexpr int kNoTerminator = -1;  // no line has ended yet: a leading CR or LF is a line of its own
}  // namespace

struct LineFile {
    void* data = nullptr;
    LineFileReadCallback read = nullptr;
    std::unique_ptr<char[]> block;
    int bytesLeft = 0;
    const char* pos = nullptr;
    int linesRead = 0;
    int bytesDelivered = 0;
    int lastTerminator = kNoTerminator;
    int offsetOfLastLine = -1;
    int extraTermChars = 0;
    int charsInEmptyLines = 0;
};

namespace {
inline bool IsTerminator(unsigned char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

// Finds the first terminator in [p, end), or end.
inline const char* FindTerminator(const char* p, const char* end) {
    while (p < end && !IsTerminator(static_cast<unsigned char>(*p))) ++p;
    return p;
}

bool IsBlank(const char* s, int n) {
    for (int i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c != ' ' && (c < '\t' || c > '\r')) return false;
    }
    return true;
}
}  // namespace

LineFile* LineFile_New(LineFileReadCallback read, void* data) {
    auto* lf = new (std::nothrow) LineFile;
    if (!lf) return nullptr;
    lf->block.reset(new (std::nothrow) char[kBlockSize]);
    if (!lf->block) {
        delete lf;
        return nullptr;
    }
    lf->data = data;
    lf->read = read ? read : LineFile_ReadFromFile;
    lf->pos = lf->block.get();
    return lf;
}

void LineFile_Dispose(LineFile* lf) {
    delete lf;
}

int LineFile_Read(LineFile* lf, char* line, int maxChars, int* numCharsStored, int* endOfInput) {
    *endOfInput = 0;
    lf->extraTermChars = 0;
    lf->offsetOfLastLine = lf->bytesDelivered - lf->bytesLeft;
    int stored = 0;
    bool atStart = true;
    bool complete = false;
    int result = 0;
    while (!complete && !*endOfInput) {
        bool deliveredNothing = false;
        if (lf->bytesLeft == 0) {
            int got = 0;
            result = lf->read(lf->data, kBlockSize, &got, lf->block.get());
            if (result < 0) break;
            if (got < 0 || got > kBlockSize) got = 0;  // a misbehaving callback ends the stream
            lf->pos = lf->block.get();
            lf->bytesLeft = got;
            lf->bytesDelivered += got;
            deliveredNothing = got == 0;
        }
        if (lf->bytesLeft > 0) {
            const unsigned char c = static_cast<unsigned char>(*lf->pos);
            if (IsTerminator(c)) {
                ++lf->pos;
                --lf->bytesLeft;
                if (atStart && lf->lastTerminator != kNoTerminator && c != lf->lastTerminator) {
                    ++lf->offsetOfLastLine;  // second half of CR LF or LF CR
                    ++lf->extraTermChars;
                } else {
                    lf->lastTerminator = c;
                    complete = true;
                }
            } else {
                // Copy the run of ordinary bytes up to the next terminator in one go.
                const char* end = FindTerminator(lf->pos, lf->pos + lf->bytesLeft);
                const int run = static_cast<int>(end - lf->pos);
                const int room = maxChars - stored;
                const int take = run < room ? run : (room > 0 ? room : 0);
                std::memcpy(line + stored, lf->pos, static_cast<size_t>(take));
                stored += take;
                lf->pos = end;
                lf->bytesLeft -= run;
            }
            atStart = false;
        }
        if (lf->bytesLeft == 0 && deliveredNothing) {
            if (stored == 0)
                *endOfInput = 1;
            else
                complete = true;
        }
    }
    line[stored] = '\0';
    if (numCharsStored) *numCharsStored = stored;
    if (result < 0) return result;
    if (complete) ++lf->linesRead;
    return 0;
}

int LineFile_ReadNonEmpty(LineFile* lf, char* line, int maxChars, int* numCharsStored, int* endOfInput) {
    int skipped = 0;
    int result = 0;
    for (;;) {
        int stored = 0;
        result = LineFile_Read(lf, line, maxChars, &stored, endOfInput);
        if (numCharsStored) *numCharsStored = stored;
        if (result < 0 || *endOfInput || !IsBlank(line, stored)) break;
        skipped += stored + lf->extraTermChars + 1;
    }
    lf->charsInEmptyLines = skipped;
    return result;
}

int LineFile_NumLinesRead(const LineFile* lf) {
    return lf->linesRead;
}
int LineFile_OffsetOfLastLine(const LineFile* lf) {
    return lf->offsetOfLastLine;
}
int LineFile_NumExtraLineTermChars(const LineFile* lf) {
    return lf->extraTermChars;
}
int LineFile_NumCharsInEmptyLines(const LineFile* lf) {
    return lf->charsInEmptyLines;
}

int LineFile_ReadFromFile(void* file, int maxBytes, int* bytesRead, char* buffer) {
    auto* fp = static_cast<std::FILE*>(file);
    const size_t n = std::fread(buffer, 1, maxBytes > 0 ? static_cast<size_t>(maxBytes) : 0, fp);
    *bytesRead = static_cast<int>(n);
    if (std::ferror(fp)) return -5002;
    return 0;
}
