// Binary files behind small integer handles.
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/formatio.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::vector<FilePtr>& Files() {
    static std::vector<FilePtr> gFiles;
    return gFiles;
}

std::FILE* FileOf(int handle) {
    auto& files = Files();
    if (handle < 0 || handle >= static_cast<int>(files.size())) return nullptr;
    return files[static_cast<std::size_t>(handle)].get();
}

const char* ModeFor(int readWriteMode, int action) {
    switch (readWriteMode) {
        case VAL_READ_ONLY:
            return "rb";
        case VAL_WRITE_ONLY:
            return action == VAL_TRUNCATE ? "wb" : (action == VAL_APPEND ? "ab" : "r+b");
        case VAL_READ_WRITE:
            return action == VAL_TRUNCATE ? "w+b" : (action == VAL_APPEND ? "a+b" : "r+b");
        default:
            return nullptr;
    }
}

}  // namespace

int OpenFile(const char* fileName, int readWriteMode, int action, int /*fileType*/) {
    if (fileName == nullptr || *fileName == '\0') return -1;
    if (action != VAL_TRUNCATE && action != VAL_APPEND && action != VAL_OPEN_AS_IS) return -1;
    const char* mode = ModeFor(readWriteMode, action);
    if (mode == nullptr) return -1;
    std::FILE* raw = std::fopen(fileName, mode);
    if (raw == nullptr && readWriteMode == VAL_READ_WRITE && action == VAL_OPEN_AS_IS) {
        raw = std::fopen(fileName, "w+b");  // open as is creates a missing file
    }
    if (raw == nullptr && readWriteMode == VAL_WRITE_ONLY && action == VAL_OPEN_AS_IS) {
        raw = std::fopen(fileName, "wb");  // as is: an existing file is not cut, a missing one created
    }
    if (raw == nullptr) return -1;
    auto& files = Files();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i] == nullptr) {
            files[i].reset(raw);
            return static_cast<int>(i);
        }
    }
    files.emplace_back(raw);
    return static_cast<int>(files.size() - 1);
}

int ReadFile(int fileHandle, char* buffer, int count) {
    std::FILE* file = FileOf(fileHandle);
    if (file == nullptr || buffer == nullptr || count < 0) return -1;
    const std::size_t read = std::fread(buffer, 1, static_cast<std::size_t>(count), file);
    if (read < static_cast<std::size_t>(count) && std::ferror(file) != 0) return -1;
    return static_cast<int>(read);
}

int WriteFile(int fileHandle, const char* buffer, int count) {
    std::FILE* file = FileOf(fileHandle);
    if (file == nullptr || buffer == nullptr || count < 0) return -1;
    const std::size_t written = std::fwrite(buffer, 1, static_cast<std::size_t>(count), file);
    if (written != static_cast<std::size_t>(count)) return -1;
    return static_cast<int>(written);
}

int CloseFile(int fileHandle) {
    std::FILE* file = FileOf(fileHandle);
    if (file == nullptr) return -1;
    // Buffered data reaches the disk here; a failing flush is a failed close.
    const int result = std::fclose(Files()[static_cast<std::size_t>(fileHandle)].release());
    return result == 0 ? 0 : -1;
}
