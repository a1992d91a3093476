// Test seam of the trend window: a clock tests control, the history and the window itself.
#pragma once

#include "trend/history.h"

namespace trend {
class Recording;
class TrendWindow;
}  // namespace trend

namespace trendtest {

// Seconds the hooks stamp their samples with; nullptr returns to the real clock.
void SetClock(double (*clock)());
const trend::History& History();
// The window, created on first use (without showing it).
trend::TrendWindow& Window();
const trend::Recording& Recording();

}  // namespace trendtest
