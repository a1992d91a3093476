// Append-only files for logs that must survive a crash: every write goes to the operating system
// in one call on a descriptor opened for appending, so nothing waits in a user-space buffer and a
// crash never leaves a torn record before the last one.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    AppendFile(AppendFile&& other) noexcept;
    AppendFile& operator=(AppendFile&& other) noexcept;

    // Opens `path` for appending, creating it when missing (mode 0644 before the umask).
    // Returns false on failure; errorText() then says why.
    bool Open(const std::string& path);
    // Size of the file when it was opened, and its last byte then (-1 when it was empty). A pipe
    // or a device counts as empty.
    long long SizeAtOpen() const { return sizeAtOpen_; }
    int LastByteAtOpen() const { return lastByteAtOpen_; }
    // One write call with all `count` bytes. False when it fails or writes fewer.
    bool Write(const char* data, std::size_t count);
    // False when closing reports an error.
    bool Close();
    const std::string& ErrorText() const { return errorText_; }

  private:
    int fd_ = -1;
    long long sizeAtOpen_ = 0;
    int lastByteAtOpen_ = -1;
    std::string errorText_;
};

}  // namespace platform
