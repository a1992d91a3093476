// How long characters take on a serial line. Header-only and free of any dependency, so that the
// simulator paces its answers with the same arithmetic the program waits by.
#pragma once

#include <chrono>

// The device's line: 9600 baud; start bit, 7 data bits, parity and stop bit make 10 bits.
inline constexpr long kKwd2Baud = 9600;
inline constexpr int kKwd2BitsPerCharacter = 10;

// Returns the time `bytes` characters of `bitsPerCharacter` bits take at `baud`, rounded down to
// whole nanoseconds; a baud rate below 1 counts as 1.
constexpr std::chrono::nanoseconds Rs232WireTime(long long bytes,
                                                 int bitsPerCharacter = kKwd2BitsPerCharacter,
                                                 long baud = kKwd2Baud) {
    return std::chrono::nanoseconds(bytes * bitsPerCharacter * 1'000'000'000LL / (baud < 1 ? 1 : baud));
}
