#include "platform/appendfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

AppendFile::~AppendFile() {
    Close();
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      sizeAtOpen_(other.sizeAtOpen_),
      lastByteAtOpen_(other.lastByteAtOpen_),
      errorText_(std::move(other.errorText_)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        sizeAtOpen_ = other.sizeAtOpen_;
        lastByteAtOpen_ = other.lastByteAtOpen_;
        errorText_ = std::move(other.errorText_);
    }
    return *this;
}

bool AppendFile::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        errorText_ = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        errorText_ = std::strerror(errno);
        ::close(fd);
        return false;
    }
    // A pipe or a device (a live consumer, /dev/stderr) has no size and no earlier content.
    const bool regular = S_ISREG(st.st_mode);
    fd_ = fd;
    sizeAtOpen_ = regular ? static_cast<long long>(st.st_size) : 0;
    lastByteAtOpen_ = -1;
    if (regular && st.st_size > 0) {
        // Read through a second descriptor: this one is write-only.
        const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        unsigned char last = 0;
        if (reader >= 0 && ::pread(reader, &last, 1, st.st_size - 1) == 1) lastByteAtOpen_ = last;
        if (reader >= 0) ::close(reader);
    }
    errorText_.clear();
    return true;
}

bool AppendFile::Write(const char* data, std::size_t count) {
    if (fd_ < 0) {
        errorText_ = "file not open";
        return false;
    }
    ssize_t written;
    do {
        written = ::write(fd_, data, count);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        errorText_ = std::strerror(errno);
        return false;
    }
    if (static_cast<std::size_t>(written) != count) {
        errorText_ = "short write";
        return false;
    }
    return true;
}

bool AppendFile::Close() {
    if (fd_ < 0) return true;
    const bool ok = ::close(std::exchange(fd_, -1)) == 0;
    if (!ok) errorText_ = std::strerror(errno);
    return ok;
}

}  // namespace platform
