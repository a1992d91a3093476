#include "trend/history.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trend {

History::History(std::size_t minimumSamples)
    : maxChunks_(std::max<std::size_t>(1, (minimumSamples + kChunkSamples - 1) / kChunkSamples) + 1) {}

const Sample& History::At(std::uint64_t index) const {
    const std::uint64_t offset = index - first_;
    return (*chunks_[offset / kChunkSamples])[offset % kChunkSamples];
}

std::uint64_t History::LowerBound(double time) const {
    std::uint64_t low = FirstIndex();
    std::uint64_t high = EndIndex();
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (At(middle).time < time) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

void History::Append(Sample sample) {
    // Lookups by time need sorted times: a clock that stepped back counts from the last sample.
    if (size_ > 0) sample.time = std::max(sample.time, At(EndIndex() - 1).time);
    const std::size_t slot = size_ % kChunkSamples;
    if (slot == 0) {
        // One chunk more than the minimum is allowed, so dropping a whole chunk still leaves at
        // least the minimum behind.
        if (chunks_.size() == maxChunks_) DropOldestChunk();
        chunks_.push_back(std::make_unique<Chunk>());
    }
    (*chunks_.back())[size_ % kChunkSamples] = sample;
    ++size_;
}

void History::DropOldestChunk() {
    chunks_.pop_front();
    first_ += kChunkSamples;
    size_ -= kChunkSamples;
    if (size_ == 0) return;
    const Sample& oldest = At(first_);
    while (series_.size() > 1 && series_.front().id < oldest.series) series_.pop_front();
    // Keep the last set point before the oldest sample: it is still the value in force there.
    for (std::vector<SetPoint>& points : setPoints_) {
        auto firstNeeded = std::upper_bound(points.begin(), points.end(), oldest.time,
                                            [](double t, const SetPoint& p) { return t < p.time; });
        if (firstNeeded != points.begin()) points.erase(points.begin(), firstNeeded - 1);
    }
}

void History::StartSeries(int address) {
    series_.push_back({nextSeriesId_++, address, identifications_[static_cast<std::size_t>(address)]});
    seriesOpen_ = true;
}

void History::AddReading(double time, int address, double volts, double milliamps, int status) {
    if (address < 0 || address >= kAddresses) return;
    if (!seriesOpen_ || series_.back().address != address) StartSeries(address);
    Append({time, static_cast<float>(volts), static_cast<float>(milliamps), series_.back().id,
            static_cast<std::uint8_t>(status & 0xff), SampleKind::kReading});
}

void History::AddFailure(double time) {
    Append({time, 0.0f, 0.0f, series_.empty() ? 0u : series_.back().id, 0, SampleKind::kFailed});
}

bool History::AddBreak(double time) {
    // A failure already broke the curve; and off stays off until the next reading.
    if (Empty() || At(EndIndex() - 1).kind != SampleKind::kReading) return false;
    Append({time, 0.0f, 0.0f, series_.back().id, 0, SampleKind::kBreak});
    return true;
}

void History::SetIdentification(int address, const std::string& identification) {
    if (address < 0 || address >= kAddresses) return;
    identifications_[static_cast<std::size_t>(address)] = identification;
    if (!seriesOpen_ || series_.back().address != address) return;
    SeriesInfo& current = series_.back();
    if (current.identification.empty()) {
        current.identification = identification;
    } else if (current.identification != identification) {
        seriesOpen_ = false;  // another device answers at this address now
    }
}

const SeriesInfo* History::FindSeries(std::uint32_t id) const {
    if (series_.empty() || id < series_.front().id || id > series_.back().id) return nullptr;
    return &series_[id - series_.front().id];
}

std::vector<History::SetPoint>& History::SetPoints(int address, int parameterSet, Quantity quantity) {
    return setPoints_[static_cast<std::size_t>((address * kSets + parameterSet - 1) * 2 +
                                               static_cast<int>(quantity))];
}

const std::vector<History::SetPoint>& History::SetPoints(int address, int parameterSet,
                                                         Quantity quantity) const {
    return setPoints_[static_cast<std::size_t>((address * kSets + parameterSet - 1) * 2 +
                                               static_cast<int>(quantity))];
}

void History::SetValue(double time, int address, int parameterSet, Quantity quantity, double value) {
    if (parameterSet < 1 || parameterSet > kSets || address < 0 || address > kAddresses) return;
    const int lowest = address == kAddresses ? 0 : address;
    const int highest = address == kAddresses ? kAddresses - 1 : address;
    for (int a = lowest; a <= highest; ++a) {
        std::vector<SetPoint>& points = SetPoints(a, parameterSet, quantity);
        // A clock that went back must not unsort the points: the write counts from the last one.
        if (!points.empty()) time = std::max(time, points.back().time);
        if (!points.empty() && points.back().value == value) continue;  // nothing changed
        if (!points.empty() && points.back().time == time) {
            points.back().value = value;
        } else {
            if (points.size() == kMaxSetPoints)
                points.erase(points.begin(), points.begin() + kMaxSetPoints / 4);
            points.push_back({time, value});
        }
    }
}

double History::SetValueAt(int address, int parameterSet, Quantity quantity, double time) const {
    if (parameterSet < 1 || parameterSet > kSets || address < 0 || address >= kAddresses) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const std::vector<SetPoint>& points = SetPoints(address, parameterSet, quantity);
    auto after = std::upper_bound(points.begin(), points.end(), time,
                                  [](double t, const SetPoint& p) { return t < p.time; });
    return after == points.begin() ? std::numeric_limits<double>::quiet_NaN() : (after - 1)->value;
}

std::size_t History::MemoryBytes() const {
    std::size_t bytes = chunks_.size() * sizeof(Chunk);
    for (const SeriesInfo& s : series_) bytes += sizeof(SeriesInfo) + s.identification.capacity();
    for (const std::vector<SetPoint>& points : setPoints_) bytes += points.capacity() * sizeof(SetPoint);
    return bytes;
}

}  // namespace trend
