// An in-memory serial line for the driver's fuzz target: what the host writes is kept, what it
// reads comes from a byte string, and an exhausted string is an instant time-out.
#pragma once

#include <cstddef>
#include <string>

namespace memoryline {

struct Faults {
    bool writeFails = false;
    bool writeShort = false;
    bool flushInFails = false;
    bool flushOutFails = false;
    bool outQueueFails = false;
};

// Starts a new exchange: the device will answer with `reply`.
void Reset(const unsigned char* reply, std::size_t size, Faults faults);
// Everything the host wrote since Reset.
const std::string& Written();
// Bytes the host took from the reply since Reset.
std::size_t BytesRead();

}  // namespace memoryline
