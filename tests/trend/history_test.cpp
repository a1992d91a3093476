// The history buffer and its reduction to pixel columns: what is kept, where curves break,
// how series split, which set value is in force, and the memory bound.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "trend/decimate.h"
#include "trend/history.h"

namespace {

using trend::Decimate;
using trend::History;
using trend::Quantity;
using trend::SampleKind;

// One step of a scripted session: 'r' reading (address, volts, status), 'f' failed tick,
// 'b' measuring off, 'i' identification of an address.
struct Step {
    char what;
    int address = 0;
    double volts = 0.0;
    int status = 0;
    const char* id = "";
};

void Play(History& h, const std::vector<Step>& steps) {
    double t = 0.0;
    for (const Step& s : steps) {
        t += 0.5;
        switch (s.what) {
            case 'r':
                h.AddReading(t, s.address, s.volts, s.volts * 10, s.status);
                break;
            case 'f':
                h.AddFailure(t);
                break;
            case 'b':
                h.AddBreak(t);
                break;
            default:
                h.SetIdentification(s.address, s.id);
        }
    }
}

TEST(History, SessionsBecomeSamplesRunsAndSeries) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::string kinds;                // R reading, F failed, B break
        std::vector<std::size_t> runs;    // columns per run (one column per sample here)
        std::vector<std::string> series;  // "address:identification"
    };
    const Case cases[] = {
        {"readings grow one run", {{'r', 1, 1}, {'r', 1, 2}, {'r', 1, 3}}, "RRR", {3}, {"1:"}},
        {"a failed tick breaks the curve", {{'r', 1, 1}, {'f'}, {'r', 1, 3}}, "RFR", {1, 1}, {"1:"}},
        {"off breaks once, and not after a failure",
         {{'r', 1, 1}, {'b'}, {'b'}, {'r', 1, 2}, {'f'}, {'b'}, {'r', 1, 3}},
         "RBRFR",
         {1, 1, 1},
         {"1:"}},
        {"an address change starts a labelled series",
         {{'i', 4, 0, 0, "ZEL-KWD2-A"}, {'r', 1, 1}, {'r', 4, 2}, {'r', 4, 3}},
         "RRR",
         {1, 2},
         {"1:", "4:ZEL-KWD2-A"}},
        {"a late identification labels the running series",
         {{'r', 2, 1}, {'i', 2, 0, 0, "ZEL-KWD2-B"}, {'r', 2, 2}},
         "RR",
         {2},
         {"2:ZEL-KWD2-B"}},
        {"another device at the same address splits",
         {{'i', 2, 0, 0, "ZEL-KWD2-B"}, {'r', 2, 1}, {'i', 2, 0, 0, "ZEL-KWD2-C"}, {'r', 2, 2}},
         "RR",
         {1, 1},
         {"2:ZEL-KWD2-B", "2:ZEL-KWD2-C"}},
        {"addresses outside 0..8 are not readings", {{'r', 9, 1}, {'r', -1, 1}}, "", {}, {}},
    };
    constexpr char kKind[] = {'R', 'F', 'B'};
    for (const Case& c : cases) {
        History h;
        Play(h, c.steps);
        std::string kinds;
        for (auto i = h.FirstIndex(); i < h.EndIndex(); ++i) kinds += kKind[static_cast<int>(h.At(i).kind)];
        EXPECT_EQ(kinds, c.kinds) << c.name;
        // 100 columns over 50 s: every sample (0.5 s apart) gets a column of its own.
        const trend::Decimated d = Decimate(h, 0.0, 50.0, 100);
        std::vector<std::size_t> runs;
        for (const trend::Run& run : d.runs) runs.push_back(run.columns.size());
        EXPECT_EQ(runs, c.runs) << c.name;
        std::vector<std::string> series;
        for (const trend::SeriesInfo& s : h.Series())
            series.push_back(std::to_string(s.address) + ":" + s.identification);
        EXPECT_EQ(series, c.series) << c.name;
    }
}

TEST(History, ColumnsKeepSpikesStatusChangesAndFailures) {
    History h;
    for (int i = 0; i < 1000; ++i) h.AddReading(i * 0.01, 0, i == 333 ? 99.0 : 1.0, 5.0, i < 500 ? 0 : 7);
    h.AddFailure(10.0);
    const trend::Decimated d = Decimate(h, 0.0, 10.0, 10);
    ASSERT_EQ(d.runs.size(), 1u);
    ASSERT_EQ(d.runs[0].columns.size(), 10u);
    const trend::Column& spike = d.runs[0].columns[3];
    EXPECT_EQ(spike.volts.low, 1.0f);
    EXPECT_EQ(spike.volts.high, 99.0f);
    EXPECT_EQ(spike.volts.first, 1.0f);
    EXPECT_EQ(spike.volts.last, 1.0f);
    ASSERT_EQ(d.marks.size(), 1u);
    EXPECT_EQ(d.marks[0].x, 5);
    EXPECT_EQ(d.marks[0].status, 7);
    EXPECT_EQ(d.failures, std::vector<int>{9});  // t1 itself falls into the last column
    EXPECT_EQ(d.volts.high, 99.0);
    EXPECT_EQ(d.milliamps.low, 5.0);
}

TEST(History, SetValueInForceFollowsWritesAddressesAndTheActiveSet) {
    History h;
    h.SetValue(10.0, 2, 1, Quantity::kVolts, 12.5);
    h.SetValue(20.0, 9, 1, Quantity::kVolts, 30.0);  // all devices
    h.SetValue(20.0, 2, 2, Quantity::kVolts, 7.0);
    h.SetValue(15.0, 2, 1, Quantity::kMilliamps, 100.0);
    struct Lookup {
        int address;
        int set;
        Quantity quantity;
        double time;
        double expected;  // NaN: unknown
    };
    const double unknown = std::nan("");
    const Lookup lookups[] = {
        {2, 1, Quantity::kVolts, 9.9, unknown},      {2, 1, Quantity::kVolts, 10.0, 12.5},
        {2, 1, Quantity::kVolts, 19.9, 12.5},        {2, 1, Quantity::kVolts, 20.0, 30.0},
        {5, 1, Quantity::kVolts, 25.0, 30.0},        {5, 2, Quantity::kVolts, 25.0, unknown},
        {2, 2, Quantity::kVolts, 25.0, 7.0},         {2, 1, Quantity::kMilliamps, 16.0, 100.0},
        {2, 3, Quantity::kMilliamps, 16.0, unknown},
    };
    for (const Lookup& l : lookups) {
        const double got = h.SetValueAt(l.address, l.set, l.quantity, l.time);
        if (std::isnan(l.expected)) {
            EXPECT_TRUE(std::isnan(got)) << l.address << "/" << l.set << " at " << l.time;
        } else {
            EXPECT_EQ(got, l.expected) << l.address << "/" << l.set << " at " << l.time;
        }
    }
    // A column shows the value of the set that status byte 1 reports (bit 0: set 2).
    h.AddReading(25.0, 2, 1.0, 1.0, 0);
    h.AddReading(25.5, 2, 1.0, 1.0, 1);
    const trend::Decimated d = Decimate(h, 24.0, 26.0, 4);
    ASSERT_EQ(d.runs.size(), 1u);
    ASSERT_EQ(d.runs[0].columns.size(), 2u);
    EXPECT_EQ(d.runs[0].columns[0].setVolts, 30.0);
    EXPECT_EQ(d.runs[0].columns[1].setVolts, 7.0);
}

TEST(History, OldestChunksGoBeyondTheCapacity) {
    constexpr std::size_t kMinimum = 2 * History::kChunkSamples;
    History h(kMinimum);
    h.SetValue(0.0, 1, 1, Quantity::kVolts, 5.0);
    const std::size_t total = 5 * History::kChunkSamples + 7;
    for (std::size_t i = 0; i < total; ++i) {
        h.AddReading(static_cast<double>(i), i < History::kChunkSamples ? 0 : 1, 1.0, 1.0, 0);
    }
    EXPECT_GE(h.Size(), kMinimum);
    EXPECT_LE(h.Size(), kMinimum + History::kChunkSamples);
    EXPECT_EQ(h.EndIndex(), total);
    EXPECT_EQ(h.At(h.FirstIndex()).time, static_cast<double>(h.FirstIndex()));
    EXPECT_EQ(h.LowerBound(static_cast<double>(total - 10)), total - 10);
    EXPECT_EQ(h.LowerBound(0.0), h.FirstIndex());
    ASSERT_EQ(h.Series().size(), 1u);  // the series of address 0 has no samples left
    EXPECT_EQ(h.Series().front().address, 1);
    EXPECT_EQ(h.SetValueAt(1, 1, Quantity::kVolts, static_cast<double>(total)), 5.0);  // still in force
}

TEST(History, AMillionTicksFitIn64Megabytes) {
    History h;
    EXPECT_GE(h.Capacity(), 1'000'000u);
    for (int i = 0; i < 1'000'000; ++i) h.AddReading(i * 0.5, i / 200'000, 1.0, 2.0, i & 7);
    EXPECT_EQ(h.Size(), 1'000'000u);
    EXPECT_LE(h.MemoryBytes(), 64u << 20);
    EXPECT_LE(h.Capacity() * sizeof(trend::Sample), 64u << 20);
}

}  // namespace
