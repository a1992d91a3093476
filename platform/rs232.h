// RS-232 services: ports 1 to 8 opened by device name ("com1".."com8").
// The name maps to the environment variable KWD2_COM<n> when set, else to the system's n-th port.
#pragma once

// Returns 0 on success, a negative error otherwise. parity: 0 none, 1 odd, 2 even.
int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize);
// CloseCom, SetComTime, FlushInQ and FlushOutQ return 0 or one of the negative codes below.
int CloseCom(int port);
// Every later ComRdByte waits at most this long for one byte.
int SetComTime(int port, double timeoutSeconds);
// Returns the number of bytes written, negative on error.
int ComWrt(int port, const char* buffer, int count);
// Returns the next received byte (0..255), or a negative error when none arrives within the time-out,
// the read fails or the line has hung up.
int ComRdByte(int port);
// Bytes still waiting to be sent, the operating system's queue included; negative on error.
int GetOutQLen(int port);
int FlushInQ(int port);
int FlushOutQ(int port);

// Negative results.
constexpr int RS232_TIMEOUT_ERR = -99;
constexpr int RS232_PORT_NOT_OPEN = -3;
constexpr int RS232_INVALID_PORT = -2;
constexpr int RS232_CANNOT_OPEN = -6;
constexpr int RS232_WRITE_ERR = -4;
constexpr int RS232_READ_ERR = -5;
// Another program (or another open of the same line) holds the line.
constexpr int RS232_PORT_IN_USE = -7;

// A line belongs to one program at a time: an open takes an exclusive advisory lock on the device
// and fails with RS232_PORT_IN_USE while someone else holds it.
// What the last OpenComConfig on `port` returned (0 when it succeeded or never ran).
int Rs232_LastOpenResult(int port);
// 1 when a read on the open `port` found the line gone (hang-up, adapter unplugged), else 0.
int Rs232_LineLost(int port);
// The device that `deviceName` opens ("com3" -> KWD2_COM3 or the system's third port; a path as
// it is), as zero-terminated text in `path`. Returns its length, negative when it does not fit.
int Rs232_DevicePath(const char* deviceName, char* path, int pathSize);
