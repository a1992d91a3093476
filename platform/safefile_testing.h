// Test seam of the safe file replacement: makes one step fail with a chosen error, and records the
// steps every replacement tried, in order, so a test can tell that one was skipped or moved.
#pragma once

#include <vector>

#include "platform/safefile.h"

namespace platform {

// Every later replacement fails at `step` with the system error `error` (an errno) until cleared;
// the record of steps tried starts afresh.
void SafeFile_InjectFault(SafeFileStep step, int error);
// Removes the injected fault and forgets the steps recorded so far.
void SafeFile_ClearFaults();
// The steps tried since the last clear, the failed one included.
const std::vector<SafeFileStep>& SafeFile_StepsTried();

}  // namespace platform
