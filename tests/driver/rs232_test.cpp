// Serial ports on a pseudo-terminal: mapping, buffered reads, time-outs, hang-up, queues, seam.
#include <linux/serial.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/rs232.h"
#include "platform/wiretime.h"
#include "sim_line.h"
#include "tests/support/temp_dir.h"

namespace {

class Rs232 : public SimLine {
  protected:
    // Reads what the simulator pushed, byte by byte, until `n` bytes or a failure.
    std::string readBytes(std::size_t n) {
        std::string got;
        while (got.size() < n) {
            const int b = ComRdByte(kPort);
            if (b < 0) break;
            got += static_cast<char>(b);
        }
        return got;
    }
};

TEST(Rs232Ports, RefusesBadArgumentsAndClosedPorts) {
    EXPECT_EQ(OpenComConfig(0, "com1", 9600, 1, 7, 1, 512, 512), RS232_INVALID_PORT);
    EXPECT_EQ(OpenComConfig(1, "com1", 9600, 9, 7, 1, 512, 512), RS232_INVALID_PORT);
    EXPECT_EQ(OpenComConfig(1, "com1", 9600, 1, 9, 1, 512, 512), RS232_INVALID_PORT);
    EXPECT_EQ(OpenComConfig(1, nullptr, 9600, 1, 7, 1, 512, 512), RS232_INVALID_PORT);
    EXPECT_EQ(OpenComConfig(3, "/nonexistent/tty", 9600, 1, 7, 1, 512, 512), RS232_CANNOT_OPEN);
    EXPECT_EQ(CloseCom(3), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(SetComTime(3, 1.0), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(ComWrt(3, "x", 1), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(ComRdByte(3), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(GetOutQLen(3), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(FlushInQ(3), RS232_PORT_NOT_OPEN);
    EXPECT_EQ(FlushOutQ(3), RS232_PORT_NOT_OPEN);
}

// Driver, serial layer, simulator and benchmark all pace by this one figure.
TEST(Rs232Ports, WireTimeCountsEveryBitAtTheLineSpeed) {
    struct Row {
        long long bytes;
        int bits;
        long baud;
        long long nanoseconds;
    };
    for (const Row& r :
         {Row{1, 10, 9600, 1'041'666}, Row{32, 10, 9600, 33'333'333}, Row{24, 10, 9600, 25'000'000},
          Row{512, 11, 115200, 48'888'888}, Row{3, 10, 0, 30'000'000'000}, Row{0, 10, 9600, 0}}) {
        EXPECT_EQ(Rs232WireTime(r.bytes, r.bits, r.baud).count(), r.nanoseconds)
            << r.bytes << " at " << r.baud;
    }
    EXPECT_EQ(Rs232WireTime(32), Rs232WireTime(32, 10, 9600));
}

TEST_F(Rs232, ReadsArrivedBytesInOrderThenTimesOut) {
    sim().InjectBytes(std::string("\x06#0\xff\r", 5));
    EXPECT_EQ(readBytes(5), std::string("\x06#0\xff\r", 5));
    EXPECT_EQ(ComRdByte(kPort), RS232_TIMEOUT_ERR);
    EXPECT_EQ(Rs232_ReadCounts(kPort).reads, 6);
    EXPECT_EQ(Rs232_ReadCounts(kPort).timedOut, 1);
}

TEST_F(Rs232, WritesReachTheLineAndTheQueueDrains) {
    EXPECT_EQ(ComWrt(kPort, "#0IDR\r", 6), 6);
    EXPECT_EQ(sent(6), "#0IDR\r");
    EXPECT_EQ(readBytes(1), "\x06");
    // Once the device has answered, the request has surely left the queue.
    EXPECT_EQ(GetOutQLen(kPort), 0);
}

TEST_F(Rs232, FlushInQDiscardsWhatHasArrived) {
    sim().InjectBytes("stray bytes");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let them reach the host's queue
    EXPECT_EQ(readBytes(1), "s");  // the rest is now read from the line and held by the port
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(FlushOutQ(kPort), 0);
    EXPECT_EQ(ComRdByte(kPort), RS232_TIMEOUT_ERR);
}

// What the event loop takes from the line between two reads is newer than what a read already took.
TEST_F(Rs232, BytesTakenByTheEventLoopComeAfterThoseAlreadyRead) {
    sim().InjectBytes("AB");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(readBytes(1), "A");
    sim().InjectBytes("CD");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QCoreApplication::processEvents();
    EXPECT_EQ(readBytes(3), "BCD");
}

TEST_F(Rs232, ReopeningAPortReplacesTheEarlierLine) {
    EXPECT_EQ(OpenComConfig(kPort, "COM1", 9600, 1, 7, 1, 512, 512), 0);
    EXPECT_EQ(ComWrt(kPort, "#3IDR\r", 6), 6);
    EXPECT_EQ(readBytes(1), "\x06");
}

TEST_F(Rs232, SeamFailsExactlyTheNextCalls) {
    Rs232_InjectFault(kPort, Rs232Fault::kComWrtShort);
    EXPECT_EQ(ComWrt(kPort, "#0IDR\r", 6), 5);
    EXPECT_EQ(sent(5), "#0IDR");
    Rs232_InjectFault(kPort, Rs232Fault::kComWrtFails, 2);
    EXPECT_LT(ComWrt(kPort, "x", 1), 0);
    EXPECT_LT(ComWrt(kPort, "x", 1), 0);
    Rs232_InjectFault(kPort, Rs232Fault::kGetOutQLenFails);
    EXPECT_LT(GetOutQLen(kPort), 0);
    Rs232_InjectFault(kPort, Rs232Fault::kGetOutQLenStuck);
    EXPECT_GT(GetOutQLen(kPort), 0);
    Rs232_InjectFault(kPort, Rs232Fault::kFlushInQFails);
    EXPECT_LT(FlushInQ(kPort), 0);
    Rs232_InjectFault(kPort, Rs232Fault::kFlushOutQFails);
    EXPECT_LT(FlushOutQ(kPort), 0);
    // All used up: everything works again, nothing more went out.
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(FlushOutQ(kPort), 0);
    EXPECT_EQ(GetOutQLen(kPort), 0);
    EXPECT_EQ(sim().HostBytes(), "#0IDR");
}

TEST_F(Rs232, HangUpEndsAWaitingReadAtOnce) {
    ASSERT_EQ(SetComTime(kPort, 10.0), 0);
    sim().SetFault(0, kwd2sim::Fault::kHangUp);
    ASSERT_EQ(ComWrt(kPort, "#0DF2\r", 6), 6);
    Rs232_ResetReadCounts(kPort);
    // A read error, not the time-out's code: neither read waited for the 10 s.
    EXPECT_EQ(ComRdByte(kPort), RS232_READ_ERR);
    EXPECT_EQ(ComRdByte(kPort), RS232_READ_ERR);
    EXPECT_EQ(Rs232_ReadCounts(kPort).reads, 2);
    EXPECT_EQ(Rs232_ReadCounts(kPort).timedOut, 0);
}

// An adapter driver as the open sees it: records the serial-settings requests and takes or
// refuses the change.
std::vector<unsigned long> gSerialRequests;
int gSetFlags = 0;
bool gAdapterTakes = false;

int AdapterIoctl(int, unsigned long request, void* argument) {
    gSerialRequests.push_back(request);
    auto* line = static_cast<serial_struct*>(argument);
    if (request == TIOCGSERIAL) {
        line->flags = ASYNC_SKIP_TEST;
        return 0;
    }
    gSetFlags = line->flags;
    return gAdapterTakes ? 0 : -1;
}

TEST_F(Rs232, OpenAsksForLowLatencyAndARefusalIsNoError) {
    // A pseudo-terminal has no serial settings at all.
    EXPECT_TRUE(Rs232_Latency(kPort).requested);
    EXPECT_FALSE(Rs232_Latency(kPort).granted);
    EXPECT_EQ(Rs232_Latency(kPort).latencyTimerMs, -1);

    // An adapter whose latency timer sysfs shows under the terminal's name.
    const testsupport::TempDir root("kwd2sysfs");
    const std::filesystem::path tty = std::filesystem::canonical(sim().Path()).filename();
    const std::filesystem::path adapter = root / "bus/usb-serial/devices" / tty;
    std::filesystem::create_directories(adapter);
    std::ofstream(adapter / "latency_timer") << "16\n";
    Rs232_SetSysfsRoot(root.path().c_str());
    Rs232_SetSerialIoctl(AdapterIoctl);
    for (const bool takes : {true, false}) {
        gAdapterTakes = takes;
        gSerialRequests.clear();
        ASSERT_EQ(OpenComConfig(kPort, "COM1", 9600, 1, 7, 1, 512, 512), 0) << takes;
        EXPECT_EQ(gSerialRequests, (std::vector<unsigned long>{TIOCGSERIAL, TIOCSSERIAL}));
        EXPECT_EQ(gSetFlags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);  // the rest left as it was
        EXPECT_EQ(Rs232_Latency(kPort).granted, takes);
        EXPECT_EQ(Rs232_Latency(kPort).latencyTimerMs, 16);
        EXPECT_EQ(ComWrt(kPort, "#3IDR\r", 6), 6);  // the line works either way
        std::string reply;
        for (int b = 0; reply.find('\r') == std::string::npos && (b = ComRdByte(kPort)) >= 0;)
            reply += static_cast<char>(b);
        EXPECT_EQ(reply.substr(0, 1), "\x06");
        EXPECT_EQ(reply.back(), '\r');
    }
    Rs232_SetSerialIoctl(nullptr);
    Rs232_SetSysfsRoot(nullptr);
}

// The adapter pulled while the line is idle and while a read waits for an answer: the line counts
// as lost, no notifier is left to wake the event loop for it, and every operation fails at once.
TEST_F(Rs232, PulledLineLeavesNothingArmedAndFailsAtOnce) {
    const struct {
        const char* moment;
        bool duringRead;
    } moments[] = {{"between exchanges", false}, {"while a read waits", true}};
    // A line that comes back on the same path, as an adapter does.
    const testsupport::TempDir dir("kwd2_rs232_test");
    kwd2sim::Options options;
    options.linkPath = (dir / "line").string();
    kwd2sim::Simulator sim(options);
    sim.AddKwd2(0);
    sim.Start();
    ::setenv("KWD2_COM1", options.linkPath.c_str(), 1);
    for (const auto& m : moments) {
        ASSERT_EQ(ZELKWD2_Open(kPort), 0);
        ASSERT_EQ(SetComTime(kPort, 10.0), 0);
        ASSERT_EQ(ComWrt(kPort, "#0DF2\r", 6), 6);
        EXPECT_EQ(readBytes(1), "\x06") << m.moment;
        ASSERT_GT(Rs232_ArmedNotifiers(kPort), 0) << "nothing to check";
        if (m.duringRead) {
            sim.SetFault(0, kwd2sim::Fault::kSilent);
            ASSERT_EQ(ComWrt(kPort, "#0DF2\r", 6), 6);
            std::thread pull([&sim] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                sim.Unplug();
            });
            EXPECT_EQ(ComRdByte(kPort), RS232_READ_ERR) << m.moment;
            pull.join();
        } else {
            sim.Unplug();
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(Rs232_LineLost(kPort), 1) << m.moment;
        EXPECT_EQ(Rs232_ArmedNotifiers(kPort), 0) << m.moment;
        Rs232_ResetReadCounts(kPort);
        EXPECT_EQ(ComRdByte(kPort), RS232_READ_ERR) << m.moment;
        EXPECT_EQ(ComWrt(kPort, "#0DF2\r", 6), RS232_WRITE_ERR) << m.moment;
        EXPECT_LT(GetOutQLen(kPort), 0) << m.moment;
        EXPECT_LT(FlushInQ(kPort), 0) << m.moment;
        EXPECT_EQ(Rs232_ReadCounts(kPort).timedOut, 0) << m.moment;
        QCoreApplication::processEvents();
        EXPECT_EQ(Rs232_ArmedNotifiers(kPort), 0) << m.moment << ": a later call armed it again";
        sim.Replug();
        sim.SetFault(0, kwd2sim::Fault::kNone);
    }
    CloseCom(kPort);
}

}  // namespace
