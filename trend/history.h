// Every live-readout tick of the run, kept in memory for the trend window: plain C++, no Qt.
// Samples live in fixed-size chunks; beyond the capacity the oldest chunk goes, so memory stays
// bounded however long the program runs. Indices count every sample ever added (they do not
// shift when old samples are dropped); [firstIndex(), endIndex()) are the ones still kept.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace trend {

enum class SampleKind : std::uint8_t {
    kReading,  // a successful tick: voltage, current and status byte 1
    kFailed,   // a tick whose reading failed: the curve breaks here
    kBreak,    // measuring switched off: the curve breaks here
};

struct Sample {
    double time;           // seconds (wall-clock based, never decreasing within a run)
    float volts;           // readings only
    float milliamps;       // readings only
    std::uint32_t series;  // id of the series the sample belongs to (see SeriesInfo)
    std::uint8_t status;   // status byte 1, readings only
    SampleKind kind;
};

// One series per stretch of readings from one bus address.
struct SeriesInfo {
    std::uint32_t id;
    int address;
    std::string identification;  // Latin-1, empty while unknown
};

enum class Quantity { kVolts = 0, kMilliamps = 1 };

class History {
  public:
    static constexpr std::size_t kChunkSamples = 1u << 14;
    static constexpr std::size_t kDefaultCapacity = 1'000'000;
    static constexpr int kAddresses = 9;  // bus addresses 0..8; 9 writes to all of them
    static constexpr int kSets = 3;       // parameter sets 1, 2 and the pulse phase
    // Per address, set and quantity; 54 of them stay below 4 MB however often values change.
    static constexpr std::size_t kMaxSetPoints = 1u << 12;

    // Keeps at least `minimumSamples` of the newest samples (rounded up to whole chunks).
    explicit History(std::size_t minimumSamples = kDefaultCapacity);

    void AddReading(double time, int address, double volts, double milliamps, int status);
    void AddFailure(double time);
    // Measuring switched off: one break, however often it is reported. True when it was added.
    bool AddBreak(double time);
    // What a device at `address` identified itself as. Labels the running series of that address
    // when it had none yet; a different identification there starts a new series.
    void SetIdentification(int address, const std::string& identification);
    // A set value written to or read back from the device at `address` (9: all addresses).
    void SetValue(double time, int address, int parameterSet, Quantity quantity, double value);

    std::uint64_t FirstIndex() const { return first_; }
    std::uint64_t EndIndex() const { return first_ + size_; }
    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return maxChunks_ * kChunkSamples; }
    bool Empty() const { return size_ == 0; }
    const Sample& At(std::uint64_t index) const;
    // First kept index whose time is not before `time` (endIndex() when none).
    std::uint64_t LowerBound(double time) const;

    // Series that still have kept samples, oldest first, and the one new readings go to.
    const std::deque<SeriesInfo>& Series() const { return series_; }
    const SeriesInfo* FindSeries(std::uint32_t id) const;

    // The set value in force at `time` for the device at `address`, NaN when none is known.
    double SetValueAt(int address, int parameterSet, Quantity quantity, double time) const;

    // Bytes held by the samples, series and set values (for the memory budget).
    std::size_t MemoryBytes() const;

  private:
    struct SetPoint {
        double time;
        double value;
    };
    using Chunk = std::array<Sample, kChunkSamples>;

    void Append(Sample sample);
    void DropOldestChunk();
    void StartSeries(int address);
    std::vector<SetPoint>& SetPoints(int address, int parameterSet, Quantity quantity);
    const std::vector<SetPoint>& SetPoints(int address, int parameterSet, Quantity quantity) const;

    std::size_t maxChunks_;
    std::deque<std::unique_ptr<Chunk>> chunks_;
    std::uint64_t first_ = 0;  // index of the oldest kept sample; it sits at chunk 0, slot 0
    std::size_t size_ = 0;

    std::deque<SeriesInfo> series_;
    bool seriesOpen_ = false;  // false: the next reading starts a new series
    std::uint32_t nextSeriesId_ = 0;
    std::array<std::string, kAddresses> identifications_{};

    std::array<std::vector<SetPoint>, kAddresses * kSets * 2> setPoints_{};
};

// Which parameter set status byte 1 reports as active (bit 0), and its current measuring range
// 1..4 (bits 1 and 2).
inline int ActiveSet(int status) {
    return (status & 1) != 0 ? 2 : 1;
}
inline int MeasuringRange(int status) {
    return ((status >> 1) & 3) + 1;
}

}  // namespace trend
