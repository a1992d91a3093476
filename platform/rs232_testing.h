// Test seam of the serial ports (target kwd2_platform_testing, linked by tests only): makes the
// next calls of one operation on one port fail, so that every platform failure a caller must
// report can be provoked on a real (pseudo-)terminal; and counts the byte reads, so that a test
// can tell that nothing was read or waited for; and shows and steers the low-latency request an
// open makes.
#pragma once

enum class Rs232Fault {
    kFlushInQFails,    // FlushInQ returns an error
    kFlushOutQFails,   // FlushOutQ returns an error
    kComWrtFails,      // ComWrt returns an error and sends nothing
    kComWrtShort,      // ComWrt sends all but the last byte and returns that count
    kGetOutQLenFails,  // GetOutQLen returns an error
    kGetOutQLenStuck,  // GetOutQLen reports bytes waiting that never leave
};

// The next `count` calls of the operation on `port` fail as described.
void Rs232_InjectFault(int port, Rs232Fault fault, int count = 1);
// Removes every injected fault on every port.
void Rs232_ClearFaults();

// ComRdByte calls on one port since it was opened or the counts were reset, and how many of them
// ended because no byte came within the time-out.
struct Rs232ReadCounts {
    int reads = 0;
    int timedOut = 0;
};
Rs232ReadCounts Rs232_ReadCounts(int port);
void Rs232_ResetReadCounts(int port);

// What opening a port asked of the line for low latency and what came of it.
struct Rs232Latency {
    bool requested = false;   // the low-latency mode was asked for
    bool granted = false;     // the driver took it
    int latencyTimerMs = -1;  // the USB adapter's latency timer as sysfs shows it, -1 when none
};
Rs232Latency Rs232_Latency(int port);
// Replaces the ioctl through which the line's serial settings are read and written on open (a
// pseudo-terminal refuses them; a test can act as an adapter that takes them). nullptr restores it.
using Rs232SerialIoctl = int (*)(int fd, unsigned long request, void* argument);
void Rs232_SetSerialIoctl(Rs232SerialIoctl serialIoctl);
// Where sysfs is looked for (a test lays out an adapter's files elsewhere); nullptr restores /sys.
void Rs232_SetSysfsRoot(const char* root);
// How many of the open `port`'s event notifiers would wake the event loop (0 for a closed port).
int Rs232_ArmedNotifiers(int port);
