// Pseudo-terminals for tests and benchmarks: a line opened raw so bytes pass unchanged, and a fresh
// pseudo-terminal pair whose far end a test plays itself.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace testsupport {

// Opens a terminal for reading and writing, raw (one byte satisfies a read, no time-out);
// `flags` adds e.g. O_NONBLOCK. Throws when the path cannot be opened.
inline int OpenRaw(const std::string& path, int flags = 0) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | flags);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// The master side for the test; the slave is held open raw, so that its settings stay put
// whoever opens the line by path() afterwards.
class Pty {
  public:
    Pty() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
        char name[128];
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0) {
            if (master_ >= 0) ::close(master_);
            throw std::runtime_error("no pseudo-terminal");
        }
        path_ = name;
        slave_ = OpenRaw(path_);
    }
    ~Pty() {
        ::close(slave_);
        ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master() const { return master_; }
    const std::string& path() const { return path_; }

  private:
    int master_;
    int slave_ = -1;
    std::string path_;
};

}  // namespace testsupport
