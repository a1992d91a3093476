// A device that answers every request with bytes the test chose, behind a fresh pseudo-terminal
// opened as COM2. It lets tests send replies no well-behaved device would, byte for byte.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "driver/zelkwd2.h"
#include "tests/support/pty.h"

class ScriptedDevice {
  public:
    ScriptedDevice() : thread_([this] { serve(); }) {}
    ~ScriptedDevice() {
        stopping_ = true;
        thread_.join();
    }
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    const std::string& path() const { return pty_.path(); }
    // What every following request (up to its CR) gets back.
    void answer(std::string bytes) {
        std::lock_guard lock(mutex_);
        answer_ = std::move(bytes);
    }

  private:
    void serve() {
        std::string request;
        while (!stopping_) {
            pollfd fd{pty_.master(), POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0 || (fd.revents & POLLIN) == 0) continue;
            char byte = 0;
            if (::read(pty_.master(), &byte, 1) != 1) continue;
            if (byte != '\r') continue;
            std::string reply;
            {
                std::lock_guard lock(mutex_);
                reply = answer_;
            }
            if (!reply.empty() && ::write(pty_.master(), reply.data(), reply.size()) < 0) return;
        }
    }

    testsupport::Pty pty_;
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
