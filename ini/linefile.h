// Line reader: cuts a byte stream, read in 2048-byte blocks through a callback, into text lines.
// CR, LF, CR LF, LF CR and NUL all end a line.
#pragma once

struct LineFile;

// Reads up to maxBytes into buffer; *bytesRead == 0 means end of stream. Negative result: error.
using LineFileReadCallback = int (*)(void* data, int maxBytes, int* bytesRead, char* buffer);

// Null when out of memory. A null read reads a FILE* through LineFile_ReadFromFile.
LineFile* LineFile_New(LineFileReadCallback read, void* data);
void LineFile_Dispose(LineFile* lf);
// line must hold maxChars + 1 bytes; longer lines are cut and their rest is skipped. Both return
// 0 (with *endOfInput set at the end) or the read callback's negative code.
int LineFile_Read(LineFile* lf, char* line, int maxChars, int* numCharsStored, int* endOfInput);
int LineFile_ReadNonEmpty(LineFile* lf, char* line, int maxChars, int* numCharsStored, int* endOfInput);
// Counters of what has been read so far: complete lines, the byte offset where the last line
// began, the terminator bytes beyond the first of the last line, and the bytes of the blank lines
// the last LineFile_ReadNonEmpty skipped.
int LineFile_NumLinesRead(const LineFile* lf);
int LineFile_OffsetOfLastLine(const LineFile* lf);
int LineFile_NumExtraLineTermChars(const LineFile* lf);
int LineFile_NumCharsInEmptyLines(const LineFile* lf);
// Read callback over a FILE* passed as data: 0, or -5002 when the stream reports an error.
int LineFile_ReadFromFile(void* file, int maxBytes, int* bytesRead, char* buffer);
