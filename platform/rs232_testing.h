// Test seam of the serial ports: makes the next calls of one operation on one port fail, so that
// every platform failure a caller must report can be provoked on a real (pseudo-)terminal; and
// counts the byte reads, so that a test can tell that nothing was read or waited for.
#pragma once

enum class Rs232Fault {
    FlushInQFails,    // FlushInQ returns an error
    FlushOutQFails,   // FlushOutQ returns an error
    ComWrtFails,      // ComWrt returns an error and sends nothing
    ComWrtShort,      // ComWrt sends all but the last byte and returns that count
    GetOutQLenFails,  // GetOutQLen returns an error
    GetOutQLenStuck,  // GetOutQLen reports bytes waiting that never leave
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

// How many of the open `port`'s event notifiers would wake the event loop (0 for a closed port).
int Rs232_ArmedNotifiers(int port);
