// The host side of the simulated line for tests: plain POSIX I/O on the pty, no driver involved.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>

#include "tests/support/pty.h"

namespace simtest {

// Upper bound for waiting on bytes that must come; never reached when the simulator works.
inline constexpr int kPatienceMs = 3000;

class Host {
  public:
    explicit Host(const std::string& path) : fd_(testsupport::OpenRaw(path, O_NONBLOCK)) {}
    ~Host() { ::close(fd_); }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    void send(const std::string& bytes) {
        if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("short write to pty");
        }
    }

    // Reads until `count` bytes have come, the line hangs up, or patience runs out.
    std::string read(std::size_t count) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            if (p.revents & POLLIN) {
                char buffer[64];
                const std::size_t want = std::min(sizeof buffer, count - got.size());
                const ssize_t n = ::read(fd_, buffer, want);
                if (n > 0) {
                    got.append(buffer, static_cast<std::size_t>(n));
                    continue;
                }
                if (n == 0 || errno == EIO) {
                    hungUp_ = true;
                    break;
                }
            }
            if (p.revents & (POLLHUP | POLLERR)) {
                hungUp_ = true;
                break;
            }
        }
        return got;
    }

    std::string exchange(const std::string& request, std::size_t replyBytes) {
        send(request);
        return read(replyBytes);
    }

    bool hungUp() const { return hungUp_; }

  private:
    int fd_;
    bool hungUp_ = false;
};

inline const std::string kAck = "\x06";
inline const std::string kNak = "\x15";
inline const std::string kCan = "\x18";

}  // namespace simtest

// Sends `request` and expects exactly `expected` back (reads as many bytes as it has).
#define EXPECT_REPLY(host, request, expected)                                                          \
    do {                                                                                               \
        const std::string expected_ = (expected);                                                      \
        EXPECT_EQ((host).exchange((request), expected_.size()), expected_) << "request " << (request); \
    } while (0)
