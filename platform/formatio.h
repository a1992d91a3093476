// Formatted request and reply texts, and binary files.
#pragma once

// Fmt(buffer, "%s<...", values...): writes the formatted text and a terminating zero into buffer.
// Codes: %c (int), %i / %d (int), %i[w1] (one character wide), %f[pN] (double, N decimals, rounded),
// %f (double), %s (const char*), %x[w2] (int, two hexadecimal digits).
// Returns the number of characters written (without the zero), negative on a malformed format.
int Fmt(char* buffer, const char* format, ...);

// Scan(text, "%s>...", targets...): fills targets in order (int* for %c %i %d %x, double* for %f,
// char* for %s) and returns how many it filled. %s stops at white space.
int Scan(const char* source, const char* format, ...);

// Binary files. OpenFile: readWriteMode 1 read, 2 write, 3 read/write; action 0 truncate, 1 append,
// 2 open as is; fileType 0 binary, 1 ASCII. Returns a handle >= 0, or -1.
constexpr int VAL_READ_ONLY = 1;
constexpr int VAL_WRITE_ONLY = 2;
constexpr int VAL_READ_WRITE = 3;
constexpr int VAL_TRUNCATE = 0;
constexpr int VAL_APPEND = 1;
constexpr int VAL_OPEN_AS_IS = 2;
constexpr int VAL_BINARY = 0;
constexpr int VAL_ASCII = 1;

int OpenFile(const char* fileName, int readWriteMode, int action, int fileType);
// Return the number of bytes read / written, -1 on error.
int ReadFile(int fileHandle, char* buffer, int count);
int WriteFile(int fileHandle, const char* buffer, int count);
// 0, or -1 for an unknown handle or when the buffered data could not be written.
int CloseFile(int fileHandle);
