// RS-232 services: ports 1 to 8 opened by device name ("com1".."com8").
// The name maps to the environment variable KWD2_COM<n> when set, else to the system's n-th port.
#pragma once

// Returns 0 on success, a negative error otherwise. parity: 0 none, 1 odd, 2 even.
int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize);
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
