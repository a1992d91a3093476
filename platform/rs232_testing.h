// Test seam of the serial ports: makes the next calls of one operation on one port fail, so that
// every platform failure a caller must report can be provoked on a real (pseudo-)terminal.
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
