// A device that answers every request with bytes the test chose, behind a fresh pseudo-terminal
// opened as COM2. It lets tests send replies no well-behaved device would, byte for byte.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "driver/zelkwd2.h"

class ScriptedDevice {
  public:
    ScriptedDevice() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname_r");
        path_ = name;
        // Held open and raw, so that bytes pass unchanged whoever opens the line.
        slave_ = ::open(name, O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(slave_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedDevice() {
        stopping_ = true;
        thread_.join();
        ::close(slave_);
        ::close(master_);
    }
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    const std::string& path() const { return path_; }
    // What every following request (up to its CR) gets back.
    void answer(std::string bytes) {
        std::lock_guard lock(mutex_);
        answer_ = std::move(bytes);
    }

  private:
    void serve() {
        std::string request;
        while (!stopping_) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0 || (fd.revents & POLLIN) == 0) continue;
            char byte = 0;
            if (::read(master_, &byte, 1) != 1) continue;
            if (byte != '\r') continue;
            std::string reply;
            {
                std::lock_guard lock(mutex_);
                reply = answer_;
            }
            if (!reply.empty() && ::write(master_, reply.data(), reply.size()) < 0) return;
        }
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::mutex mutex_;
    std::string answer_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class ScriptedLine : public ::testing::Test {
  protected:
    static constexpr int kPort = 2;

    void SetUp() override {
        ::setenv("KWD2_COM2", device_.path().c_str(), 1);
        ASSERT_EQ(ZELKWD2_Open(kPort), 0);
        ASSERT_EQ(ZELKWD2_Timeout(kPort, 0.2), 0);
    }
    void TearDown() override { ZELKWD2_Close(kPort); }

    ScriptedDevice& device() { return device_; }

  private:
    ScriptedDevice device_;
};
