// Reading documents from text and writing them back; a file is replaced through a temporary file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ini/ini_internal.h"
#include "ini/linefile.h"
#include "platform/safefile.h"

using ini_detail::Item;
using ini_detail::kMaxLineChars;
using ini_detail::kPieceChars;
using ini_detail::Section;

namespace {

// --- Reading -----------------------------------------------------------------------------------

enum class LineKind { kIgnored, kHeader, kItem };

struct ParsedLine {
    LineKind kind = LineKind::kIgnored;
    std::string_view name;  // section name or tag
    std::string_view value;
};

std::string_view TrimRight(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && ini_detail::IsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(0, e);
}

ParsedLine ClassifyLine(const IniDocument* doc, std::string_view line) {
    size_t b = 0;
    while (b < line.size() && ini_detail::IsSpace(static_cast<unsigned char>(line[b]))) ++b;
    const std::string_view text = line.substr(b);
    ParsedLine out;
    if (text.empty() || text.starts_with(doc->commentMarker)) return out;
    if (text.front() == doc->sectionStart) {
        std::string_view rest = text.substr(1);
        while (!rest.empty() && ini_detail::IsSpace(static_cast<unsigned char>(rest.front())))
            rest.remove_prefix(1);
        const size_t end = rest.rfind(doc->sectionEnd);
        if (end == std::string_view::npos || !ini_detail::Trim(rest.substr(end + 1)).empty()) return out;
        out.name = TrimRight(rest.substr(0, end));
        if (!out.name.empty()) out.kind = LineKind::kHeader;
        return out;
    }
    const size_t sep = text.find(doc->valueSeparator);
    if (sep == std::string_view::npos) return out;
    out.name = TrimRight(text.substr(0, sep));
    out.value = ini_detail::Trim(text.substr(sep + doc->valueSeparator.size()));
    if (!out.name.empty() && !out.value.empty()) out.kind = LineKind::kItem;
    return out;
}

// Number of a continuation tag ("X Line0002" gives 2), or -1 when the tag is not one.
long ContinuationNumber(std::string_view tag, size_t& baseLength) {
    const size_t at = tag.find(ini_detail::kContinuation);
    if (at == std::string_view::npos) return -1;
    const std::string_view digits = tag.substr(at + ini_detail::kContinuation.size());
    if (digits.empty()) return -1;
    long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
        if (n > 2147483647L) return -1;
    }
    baseLength = at;
    return n;
}

// Joins each run "X Line1", "X Line<n != 1>"... into one item X. Everything that can fail
// happens before the section is touched, so running out of memory leaves it as it was.
void JoinContinuations(Section& s) {
    struct Run {
        size_t first, end, baseLength;
        std::string value;
    };
    std::vector<Run> runs;
    for (size_t i = 0; i < s.items.size();) {
        size_t base = 0, dummy = 0;
        if (ContinuationNumber(s.items[i]->tag, base) != 1) {
            ++i;
            continue;
        }
        Run run{i, i + 1, base, s.items[i]->value};
        while (run.end < s.items.size()) {
            const long n = ContinuationNumber(s.items[run.end]->tag, dummy);
            if (n < 0 || n == 1) break;
            run.value += s.items[run.end++]->value;
        }
        i = run.end;
        runs.push_back(std::move(run));
    }
    if (runs.empty()) return;
    std::vector<std::unique_ptr<Item>> out;
    out.reserve(s.items.size());
    size_t next = 0;
    for (Run& run : runs) {
        while (next < run.first) out.push_back(std::move(s.items[next++]));
        Item& head = *s.items[run.first];
        head.tag.resize(run.baseLength);
        head.value.swap(run.value);
        out.push_back(std::move(s.items[run.first]));
        next = run.end;
    }
    while (next < s.items.size()) out.push_back(std::move(s.items[next++]));
    s.items.swap(out);
    // The pieces just released may still sit in the item index; lookups fall back to the list
    // until the indexes are rebuilt.
    s.hasIndex = false;
    std::vector<Item*>().swap(s.index);
}

// --- Writing -----------------------------------------------------------------------------------

// Refuses a document holding a name that would not fit a line, before any line is put out.
int CheckLineLengths(const IniDocument* doc) {
    for (const auto& s : doc->sections) {
        if (ini_detail::HeaderLine(s->name) > kMaxLineChars) return kIniErrNameTooLong;
        for (const auto& it : s->items)
            if (ini_detail::LongestItemLine(doc, it->tag, it->value.size(), it->quoted) > kMaxLineChars)
                return kIniErrNameTooLong;
    }
    return 0;
}

int MapErrno(int e) {
    switch (e) {
        case ENOMEM:
            return kIniErrOutOfMemory;
        case EACCES:
        case EPERM:
            return kIniErrAccessDenied;
        case ENOSPC:
            return kIniErrDiskFull;
        default:
            return kIniErrIo;
    }
}

int MapRenameErrno(int e) {
    switch (e) {
        case ENOENT:
            return kIniErrFileNotFound;
        case EROFS:
            return kIniErrAccessDenied;
        case EBUSY:
        case EXDEV:
        case EISDIR:
        case ETXTBSY:
            return kIniErrFileBusy;
        default:
            return MapErrno(e);
    }
}

// The settings store's code for a failed step of the file replacement.
int ReplaceCode(const platform::SafeFileResult& r) {
    using Step = platform::SafeFileStep;
    if (r.ok) return 0;  // a failed directory sync leaves the complete new file in place
    switch (r.step) {
        case Step::kInspect:
            return kIniErrFileInfo;
        case Step::kCheckTarget:
            return kIniErrAccessDenied;
        case Step::kCreateTemp:
        case Step::kNameTemp:
            return r.error == EEXIST ? kIniErrNoTempName : kIniErrCreateTemp;
        case Step::kRename:
            return MapRenameErrno(r.error);
        default:
            return MapErrno(r.error);
    }
}

int PutLineToStream(void* data, const char* line) {
    auto* fp = static_cast<std::FILE*>(data);
    const size_t n = std::strlen(line);
    errno = 0;
    if (std::fwrite(line, 1, n, fp) != n || std::fwrite("\r\n", 1, 2, fp) != 2) return MapErrno(errno);
    return 0;
}

int PutLineToSafeFile(void* data, const char* line) {
    auto* file = static_cast<platform::SafeFile*>(data);
    platform::SafeFileResult r = file->Write(line, std::strlen(line));
    if (r.ok) r = file->Write("\r\n", 2);
    return ReplaceCode(r);
}

}  // namespace

// --- Public file functions ---------------------------------------------------------------------

int Ini_ReadGeneric(IniDocument* doc, IniGetLineCallback getLine, void* data) {
    const bool hadIndex = doc->hasIndex;
    int rc = 0;
    try {
        char line[kMaxLineChars + 1];
        Section* current = nullptr;
        for (;;) {
            int endOfInput = 0, lineNumber = 0;
            line[0] = '\0';
            rc = getLine(data, line, kMaxLineChars, &endOfInput, &lineNumber);
            if (rc < 0 || endOfInput) break;
            line[kMaxLineChars] = '\0';
            const ParsedLine parsed = ClassifyLine(doc, line);
            if (parsed.kind == LineKind::kHeader) {
                const std::string name(parsed.name);
                current = nullptr;
                if (doc->filter && !doc->filter(doc, doc->filterData, name.c_str())) continue;
                auto s = std::make_unique<Section>();
                s->name = name;
                s->sorted = doc->sorted;
                s->line = lineNumber;
                doc->sections.push_back(std::move(s));
                current = doc->sections.back().get();
            } else if (parsed.kind == LineKind::kItem && current) {
                auto item = std::make_unique<Item>();
                item->tag.assign(parsed.name);
                std::string_view v = parsed.value;
                if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
                    v = v.substr(1, v.size() - 2);
                    item->quoted = true;
                }
                item->value.assign(v);
                item->line = lineNumber;
                current->items.push_back(std::move(item));
            }
        }
        if (rc >= 0) {
            rc = 0;
            for (auto& s : doc->sections) JoinContinuations(*s);
        }
    } catch (const std::bad_alloc&) {
        rc = kIniErrOutOfMemory;
    }
    // Keep the sorted flags truthful even after a failed read: lookups rely on them.
    if (doc->sorted) Ini_Sort(doc);
    if (hadIndex && Ini_SortInternally(doc) < 0 && rc == 0) rc = kIniErrOutOfMemory;
    return rc;
}

namespace {
int GetLineFromLineFile(void* data, char* line, int maxChars, int* endOfInput, int* lineNumber) {
    auto* lf = static_cast<LineFile*>(data);
    const int rc = LineFile_ReadNonEmpty(lf, line, maxChars, nullptr, endOfInput);
    *lineNumber = LineFile_NumLinesRead(lf);
    return rc;
}
}  // namespace

int Ini_ReadFromFile(IniDocument* doc, const char* path) {
    std::FILE* fp = path ? std::fopen(path, "rb") : nullptr;
    if (!fp) return kIniErrOpenForRead;
    LineFile* lf = LineFile_New(LineFile_ReadFromFile, fp);
    if (!lf) {
        std::fclose(fp);
        return kIniErrOutOfMemory;
    }
    const int rc = Ini_ReadGeneric(doc, GetLineFromLineFile, lf);
    LineFile_Dispose(lf);
    std::fclose(fp);
    return rc;
}

int Ini_WriteGeneric(IniDocument* doc, IniPutLineCallback putLine, void* data) {
    if (const int rc = CheckLineLengths(doc); rc < 0) return rc;
    int rc = 0;
    try {
        std::string line;
        line.reserve(kMaxLineChars + 1);
        const std::string& sep = doc->outputSeparator;
        auto put = [&](const std::string& l) { return rc = putLine(data, l.c_str()); };
        for (const auto& s : doc->sections) {
            line.assign(1, doc->sectionStart).append(s->name).push_back(doc->sectionEnd);
            if (put(line) < 0) return rc;
            for (const auto& it : s->items) {
                const std::string& v = it->value;
                const size_t pieces =
                    v.size() <= kPieceChars ? 1 : (v.size() + kPieceChars - 1) / kPieceChars;
                for (size_t p = 0; p < pieces; ++p) {
                    line.assign(it->tag);
                    if (pieces > 1) {
                        char num[24];
                        std::snprintf(num, sizeof num, "%04zu", p + 1);
                        line.append(ini_detail::kContinuation).append(num);
                    }
                    line.append(sep);
                    if (it->quoted) line.push_back('"');
                    line.append(v, p * kPieceChars, kPieceChars);
                    if (it->quoted) line.push_back('"');
                    if (put(line) < 0) return rc;
                }
            }
            line.clear();
            if (put(line) < 0) return rc;
        }
    } catch (const std::bad_alloc&) {
        return kIniErrOutOfMemory;
    }
    return rc;
}

int Ini_WriteToFile(IniDocument* doc, const char* path) {
    if (!path) {
        const int rc = Ini_WriteGeneric(doc, PutLineToStream, stdout);
        std::fflush(stdout);
        return rc < 0 ? rc : 0;
    }
    // Refuse an unwritable document before anything on disk is touched.
    if (const int rc = CheckLineLengths(doc); rc < 0) return rc;
    platform::SafeFile file;
    if (const int rc = ReplaceCode(file.Open(path, {"ini$$", ".TMP", 1000})); rc < 0) return rc;
    if (const int rc = Ini_WriteGeneric(doc, PutLineToSafeFile, &file); rc < 0) return rc;
    return ReplaceCode(file.Commit());
}

int Ini_SetTokens(IniDocument* doc, char sectionStart, char sectionEnd, const char* valueSeparator,
                  const char* commentMarker) {
    if (sectionStart) doc->sectionStart = sectionStart;
    if (sectionEnd) doc->sectionEnd = sectionEnd;
    if (valueSeparator && *valueSeparator) {
        doc->valueSeparator.assign(valueSeparator, strnlen(valueSeparator, 7));
        doc->outputSeparator = " " + doc->valueSeparator + " ";
    }
    if (commentMarker && *commentMarker) doc->commentMarker.assign(commentMarker, strnlen(commentMarker, 7));
    return 0;
}

int Ini_SetSectionFilter(IniDocument* doc, IniSectionFilter filter, void* data) {
    doc->filter = filter;
    doc->filterData = data;
    return 0;
}
