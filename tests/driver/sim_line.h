// A simulated bus behind a fresh pseudo-terminal, opened as COM1 through KWD2_COM1.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "driver/zelkwd2.h"
#include "platform/rs232_testing.h"
#include "sim/kwd2sim.h"

class SimLine : public ::testing::Test {
  protected:
    static constexpr int kPort = 1;

    void SetUp() override {
        sim_ = std::make_unique<kwd2sim::Simulator>();
        sim_->AddKwd2(0);
        sim_->AddKwd2(3);
        sim_->AddForeign(5, "OTHER-DEVICE-2");
        sim_->Start();
        ::setenv("KWD2_COM1", sim_->Path().c_str(), 1);
        ASSERT_EQ(ZELKWD2_Open(kPort), 0);
        ASSERT_EQ(ZELKWD2_Timeout(kPort, 0.2), 0);
        sim_->ClearTrace();
    }

    void TearDown() override {
        Rs232_ClearFaults();
        ZELKWD2_Close(kPort);
        sim_.reset();
    }

    kwd2sim::Simulator& sim() { return *sim_; }

    // What the host sent; waits (bounded) until at least `expected` bytes have reached the device,
    // for requests that nobody acknowledges.
    std::string sent(std::size_t expected = 0) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (sim_->HostBytes().size() < expected && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return sim_->HostBytes();
    }

  private:
    std::unique_ptr<kwd2sim::Simulator> sim_;
};
