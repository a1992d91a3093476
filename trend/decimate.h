// Reduces the samples of a time window to what a plot of `width` pixel columns can show: per
// column the first, lowest, highest and last value of each quantity (so every spike stays
// visible), split into runs wherever the curve must break. Plain C++; the plot only draws this.
#pragma once

#include <cstdint>
#include <vector>

#include "trend/history.h"

namespace trend {

struct Extent {
    float first;
    float low;
    float high;
    float last;
};

struct Column {
    int x;  // pixel column; -1 and `width` stand for the neighbours just outside the window
    Extent volts;
    Extent milliamps;
    double setVolts;  // set value of the active parameter set, NaN when unknown
    double setMilliamps;
};

// Readings of one series without a gap between them.
struct Run {
    std::uint32_t series;
    int address;
    std::vector<Column> columns;
};

// Status byte 1 changed (parameter set or measuring range) between two readings of a series.
struct StatusMark {
    int x;
    int status;  // the new status byte
};

struct ValueRange {
    double low;
    double high;
    bool Any() const { return low <= high; }
};

struct Decimated {
    std::vector<Run> runs;
    std::vector<StatusMark> marks;
    std::vector<int> failures;  // columns holding a failed tick
    ValueRange volts;           // readings and set values inside the window
    ValueRange milliamps;
};

// Samples with t0 <= time <= t1, plus the reading just outside each edge so that the curve runs
// on to the border. Requires t1 > t0 and width > 0.
Decimated Decimate(const History& history, double t0, double t1, int width);

}  // namespace trend
