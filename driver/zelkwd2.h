// zelkwd2: the serial driver of the KWD2 sources. Every function performs one complete exchange
// (or a link operation) and returns 0 or a negative error code -(number * 1000 + site).
// Out-arguments are written only on success; the driver keeps no state between calls.
#pragma once

// Link functions.
int ZELKWD2_Open(int port);
int ZELKWD2_Close(int port);
int ZELKWD2_Timeout(int port, double timeoutSeconds);
int FlushInOut(int port);

// Identification, direct set values, start/stop and direct readback.
// idText: caller's buffer of at least 28 bytes.
int ZELKWD2_IDLesen(int port, int address, char* idText);
int ZELKWD2_UWrite(int port, int address, int selector, double value);
int ZELKWD2_IWrite(int port, int address, int selector, double value);
int ZELKWD2_DeviceFunction(int port, int address, const char* functionName);
int ZELKWD2_URead(int port, int address, double* volts);
int ZELKWD2_IRead(int port, int address, double* milliamps);

// Named registers ("usoll1", "uist", "iist4_off", ...).
int ZELKWD2_ParameterLesen(int port, int address, const char* registerName, double* value);
int ZELKWD2_ParameterSchreiben(int port, int address, const char* registerName, double value);

// Measuring range per parameter set, and the status bytes.
int ZELKWD2_MessbereichLesen(int port, int address, int parameterSet, int* measuringRange);
int ZELKWD2_MessbereichSchreiben(int port, int address, int parameterSet, int measuringRange);
int ZELKWD2_StatusLesen(int port, int address, int selector, int* statusByte);
