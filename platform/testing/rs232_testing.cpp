// The serial ports' test seam: injected faults, read counts, a stand-in ioctl and sysfs root.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "platform/rs232_seam.h"

namespace {

constexpr int kMaxPort = 32;
constexpr int kFaultKinds = 6;

struct Seam {
    std::array<std::array<int, kFaultKinds>, kMaxPort + 1> faults{};
    std::array<Rs232ReadCounts, kMaxPort + 1> readCounts{};
    std::string sysfsRoot;
    Rs232Hooks hooks{};
};

bool ValidPort(int port) {
    return port >= 1 && port <= kMaxPort;
}

Seam& TheSeam();

// Consumes one injected fault of this kind, if any.
bool TakeFault(int port, Rs232Fault fault) {
    if (!ValidPort(port)) return false;
    int& left = TheSeam().faults[static_cast<std::size_t>(port)][static_cast<std::size_t>(fault)];
    if (left <= 0) return false;
    --left;
    return true;
}

void Opened(int port) {
    if (ValidPort(port)) TheSeam().readCounts[static_cast<std::size_t>(port)] = {};
}

void ByteRead(int port, bool timedOut) {
    if (!ValidPort(port)) return;
    Rs232ReadCounts& counts = TheSeam().readCounts[static_cast<std::size_t>(port)];
    ++counts.reads;
    if (timedOut) ++counts.timedOut;
}

// Installed as soon as a test binary starts, so read counts cover every port it opens.
Seam& TheSeam() {
    static Seam gSeam;
    return gSeam;
}

const bool kInstalled = [] {
    Seam& seam = TheSeam();
    seam.hooks = {TakeFault, Opened, ByteRead, nullptr, nullptr};
    gRs232Hooks = &seam.hooks;
    return true;
}();

}  // namespace

void Rs232_InjectFault(int port, Rs232Fault fault, int count) {
    if (!ValidPort(port)) return;
    TheSeam().faults[static_cast<std::size_t>(port)][static_cast<std::size_t>(fault)] = std::max(0, count);
}

void Rs232_ClearFaults() {
    TheSeam().faults = {};
}

Rs232ReadCounts Rs232_ReadCounts(int port) {
    return ValidPort(port) ? TheSeam().readCounts[static_cast<std::size_t>(port)] : Rs232ReadCounts{};
}

void Rs232_ResetReadCounts(int port) {
    if (ValidPort(port)) TheSeam().readCounts[static_cast<std::size_t>(port)] = {};
}

Rs232Latency Rs232_Latency(int port) {
    return Rs232_PortLatency(port);
}

void Rs232_SetSerialIoctl(Rs232SerialIoctl serialIoctl) {
    TheSeam().hooks.serialIoctl = serialIoctl;
}

void Rs232_SetSysfsRoot(const char* root) {
    Seam& seam = TheSeam();
    seam.sysfsRoot = root != nullptr ? root : "";
    seam.hooks.sysfsRoot = root != nullptr ? seam.sysfsRoot.c_str() : nullptr;
}

int Rs232_ArmedNotifiers(int port) {
    return Rs232_PortArmedNotifiers(port);
}
