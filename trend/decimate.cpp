#include "trend/decimate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trend {
namespace {

constexpr int kStatusBits = 7;  // parameter set (bit 0) and measuring range (bits 1 and 2)

void Widen(ValueRange& range, double value) {
    if (!std::isfinite(value)) return;
    range.low = std::min(range.low, value);
    range.high = std::max(range.high, value);
}

void Extend(Extent& extent, float value) {
    extent.low = std::min(extent.low, value);
    extent.high = std::max(extent.high, value);
    extent.last = value;
}

class Reducer {
  public:
    Reducer(const History& history, double t0, double t1, int width)
        : history_(history), t0_(t0), scale_(width / (t1 - t0)), width_(width) {
        constexpr double kInf = std::numeric_limits<double>::infinity();
        result_.volts = {kInf, -kInf};
        result_.milliamps = {kInf, -kInf};
    }

    void Add(const Sample& sample, bool inside) {
        // The common case, kept tight: one more reading in the column being filled.
        if (sample.kind == SampleKind::kReading && run_ != nullptr && sample.series == run_->series &&
            sample.time < columnEnd_ && sample.status == lastReading_.status) {
            Column& column = run_->columns.back();
            Extend(column.volts, sample.volts);
            Extend(column.milliamps, sample.milliamps);
            last_ = &sample;
            return;
        }
        AddSlowly(sample, inside);
    }

    Decimated Finish() {
        CloseRun();
        return std::move(result_);
    }

  private:
    void AddSlowly(const Sample& sample, bool inside) {
        const int x = ColumnOf(sample.time, inside);
        if (sample.kind != SampleKind::kReading) {
            if (sample.kind == SampleKind::kFailed && inside &&
                (result_.failures.empty() || result_.failures.back() != x)) {
                result_.failures.push_back(x);
            }
            CloseRun();
            return;
        }
        MarkStatus(sample, x, inside);
        if (run_ == nullptr || run_->series != sample.series) OpenRun(sample);
        if (run_->columns.empty() || run_->columns.back().x != x) {
            CloseColumn();
            run_->columns.push_back({x,
                                     {sample.volts, sample.volts, sample.volts, sample.volts},
                                     {sample.milliamps, sample.milliamps, sample.milliamps, sample.milliamps},
                                     0.0,
                                     0.0});
            columnEnd_ = x < 0         ? t0_
                         : x >= width_ ? std::numeric_limits<double>::infinity()
                                       : t0_ + (x + 1) / scale_;
        } else {
            Extend(run_->columns.back().volts, sample.volts);
            Extend(run_->columns.back().milliamps, sample.milliamps);
        }
        last_ = &sample;
    }

    // Samples inside the window fall into columns 0..width-1 (one at t1 into the last);
    // the neighbours outside into -1 and width.
    int ColumnOf(double time, bool inside) const {
        const double x = std::floor((time - t0_) * scale_);
        if (!inside) return x < 0.0 ? -1 : width_;
        return static_cast<int>(std::clamp(x, 0.0, static_cast<double>(width_ - 1)));
    }

    void MarkStatus(const Sample& sample, int x, bool inside) {
        const bool changed = lastReading_.has && lastReading_.series == sample.series &&
                             ((lastReading_.status ^ sample.status) & kStatusBits) != 0;
        if (changed && inside) {
            // Several changes within one column make one mark showing the newest state.
            if (result_.marks.empty() || result_.marks.back().x != x) {
                result_.marks.push_back({x, sample.status});
            } else {
                result_.marks.back().status = sample.status;
            }
        }
        lastReading_ = {true, sample.series, sample.status};
    }

    void OpenRun(const Sample& sample) {
        CloseRun();
        const SeriesInfo* info = history_.FindSeries(sample.series);
        result_.runs.push_back({sample.series, info != nullptr ? info->address : -1, {}});
        run_ = &result_.runs.back();
    }

    // The set values in force at the column's last reading, for the parameter set it reports.
    void CloseColumn() {
        if (run_ == nullptr || run_->columns.empty() || last_ == nullptr) return;
        Column& column = run_->columns.back();
        const int set = ActiveSet(last_->status);
        column.setVolts = history_.SetValueAt(run_->address, set, Quantity::kVolts, last_->time);
        column.setMilliamps = history_.SetValueAt(run_->address, set, Quantity::kMilliamps, last_->time);
        if (column.x >= 0 && column.x < width_) {
            Widen(result_.volts, column.volts.low);
            Widen(result_.volts, column.volts.high);
            Widen(result_.milliamps, column.milliamps.low);
            Widen(result_.milliamps, column.milliamps.high);
            Widen(result_.volts, column.setVolts);
            Widen(result_.milliamps, column.setMilliamps);
        }
    }

    void CloseRun() {
        CloseColumn();
        run_ = nullptr;
        last_ = nullptr;
        columnEnd_ = -std::numeric_limits<double>::infinity();
    }

    struct LastReading {
        bool has = false;
        std::uint32_t series = 0;
        std::uint8_t status = 0;
    };

    const History& history_;
    double t0_;
    double scale_;
    int width_;
    Decimated result_;
    Run* run_ = nullptr;
    const Sample* last_ = nullptr;
    double columnEnd_ = -std::numeric_limits<double>::infinity();  // where the open column ends
    LastReading lastReading_;
};

}  // namespace

Decimated Decimate(const History& history, double t0, double t1, int width) {
    Reducer reducer(history, t0, t1, width);
    std::uint64_t begin = history.LowerBound(t0);
    std::uint64_t end = history.LowerBound(std::nextafter(t1, std::numeric_limits<double>::infinity()));
    // One sample beyond each edge carries the curve to the border (a gap there ends it instead).
    const bool before = begin > history.FirstIndex();
    const bool after = end < history.EndIndex();
    if (before) reducer.Add(history.At(begin - 1), false);
    for (std::uint64_t i = begin; i < end; ++i) reducer.Add(history.At(i), true);
    if (after) reducer.Add(history.At(end), false);
    return reducer.Finish();
}

}  // namespace trend
