// Path and start-up utilities.
#pragma once

// Splits a full path into drive ("" on POSIX, "C:" on Windows), directory (with its trailing
// separator) and file name. Any output may be null. Always returns 0.
int SplitPath(const char* pathName, char* driveName, char* directoryName, char* fileName);
