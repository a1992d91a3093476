// SIGINT and SIGTERM as a stop request for command-line loops: a waiting loop wakes at once, and
// a blocking serial read finishes its exchange first (the caller checks the request between
// exchanges).
#pragma once

#include <chrono>

// Catches SIGINT and SIGTERM from now on. Safe to call more than once.
void StopSignal_Install();
// The same as a received signal; for callers and tests that run in one process.
void StopSignal_Raise();
// Forgets an earlier request.
void StopSignal_Reset();
// True from a request until StopSignal_Reset.
bool StopSignal_Requested();
// A descriptor that becomes readable when a stop is requested, for callers that wait in poll()
// over their own descriptors too. It stays readable until StopSignal_Reset.
int StopSignal_WaitFd();
// Sleeps until `deadline` without spinning. Returns true at once when a stop is requested
// (before or during the sleep), false when the deadline passed.
bool StopSignal_SleepUntil(std::chrono::steady_clock::time_point deadline);
