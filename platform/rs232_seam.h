// Where the serial ports' test seam reaches in (platform-internal). The hooks pointer is null in
// production, so a serial call pays one test of it; kwd2_platform_testing sets it.
#pragma once

#include "platform/rs232_testing.h"

struct Rs232Hooks {
    bool (*fault)(int port, Rs232Fault fault);  // true: this call fails as injected
    void (*opened)(int port);                   // the port was opened
    void (*byteRead)(int port, bool timedOut);  // a ComRdByte on an open port ended
    Rs232SerialIoctl serialIoctl;               // null: the system's ioctl
    const char* sysfsRoot;                      // null: /sys
};
extern const Rs232Hooks* gRs232Hooks;

// What the seam reports about an open port.
Rs232Latency Rs232_PortLatency(int port);
int Rs232_PortArmedNotifiers(int port);
