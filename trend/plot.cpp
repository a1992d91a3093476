#include "trend/plot.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QTimeZone>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

namespace trend {
namespace {

constexpr int kLeftMargin = 64;
constexpr int kRightMargin = 16;
constexpr int kBottomMargin = 26;
constexpr int kPaneGap = 12;
constexpr int kMinTimeLabelSpacing = 90;
constexpr double kMinSpan = 5.0;              // seconds: the deepest zoom
constexpr double kMaxSpan = 400.0 * 86400.0;  // beyond any history the buffer holds
constexpr double kMinAllSpan = 60.0;          // "all" of a short history still shows a minute
constexpr double kWheelFactor = 0.8;          // one wheel notch in: 80 % of the span
constexpr std::size_t kMaxLegendSeries = 8;

constexpr std::array<QRgb, 8> kSeriesColours{0x1f77b4, 0xd62728, 0x2ca02c, 0x9467bd,
                                             0xff7f0e, 0x8c564b, 0xe377c2, 0x17becf};
const QColor kGrid(0xe4, 0xe4, 0xe4);
const QColor kFrame(0x90, 0x90, 0x90);
const QColor kMark(0x50, 0x50, 0x50);
const QColor kFailure(0xdd, 0x00, 0x00);

QColor SeriesColour(std::uint32_t id) {
    return QColor(kSeriesColours[id % kSeriesColours.size()]);
}

QString SeriesLabel(const SeriesInfo& info) {
    QString label = QStringLiteral("Adresse %1").arg(info.address);
    if (!info.identification.empty()) {
        label += QStringLiteral(" \u2013 ") + QString::fromLatin1(info.identification.c_str());
    }
    return label;
}

double NiceStep(double raw) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normalised = raw / magnitude;
    const double nice = normalised <= 1.0 ? 1.0 : normalised <= 2.0 ? 2.0 : normalised <= 5.0 ? 5.0 : 10.0;
    return nice * magnitude;
}

struct Axis {
    ValueRange range;
    double step;
};

// Without autoscale the axis runs from 0 to the full-scale value; either way it grows to show
// every visible value and ends on a round number.
Axis ValueAxis(const ValueRange& data, double fullScale, bool autoscale) {
    const ValueRange full{0.0, fullScale > 0.0 ? fullScale : 1.0};
    ValueRange r = full;
    if (autoscale && data.Any()) {
        const double pad =
            std::max((data.high - data.low) * 0.05, std::max(std::fabs(data.high) * 0.01, 0.01));
        r = {data.low - pad, data.high + pad};
        if (data.low >= 0.0 && r.low < 0.0) r.low = 0.0;
    } else if (data.Any()) {
        r = {std::min(r.low, data.low), std::max(r.high, data.high)};
    }
    const double step = NiceStep((r.high - r.low) / 4.0);
    // The full scale stays the exact top while every value fits under it.
    if (r.low == full.low && r.high == full.high) return {full, step};
    return {{std::floor(r.low / step) * step, std::ceil(r.high / step) * step}, step};
}

double TimeStep(double span, int width) {
    static constexpr std::array<double, 20> kSteps{1,     2,     5,     10,    15,     30,    60,
                                                   120,   300,   600,   900,   1800,   3600,  7200,
                                                   10800, 21600, 43200, 86400, 172800, 604800};
    const double wanted = span * kMinTimeLabelSpacing / std::max(width, 1);
    for (double step : kSteps) {
        if (step >= wanted) return step;
    }
    return kSteps.back() * std::ceil(wanted / kSteps.back());
}

// Local time in `zone`, the system's zone looked up once by the caller (the plain local-time
// conversion would check the system's zone file again for every label).
QDateTime LocalAt(qint64 msecs, const QTimeZone& zone) {
    return zone.isValid() ? QDateTime::fromMSecsSinceEpoch(msecs, zone)
                          : QDateTime::fromMSecsSinceEpoch(msecs);
}

QString TimeLabel(double time, double step, const QTimeZone& zone) {
    const QDateTime at = LocalAt(static_cast<qint64>(std::llround(time * 1000.0)), zone);
    if (step < 60.0) return at.toString(QStringLiteral("HH:mm:ss"));
    if (step < 86400.0) return at.toString(QStringLiteral("HH:mm"));
    return at.toString(QStringLiteral("dd.MM. HH:mm"));
}

QString StatusText(int status) {
    return QStringLiteral("P%1 B%2").arg(ActiveSet(status)).arg(MeasuringRange(status));
}

}  // namespace

PlotWidget::PlotWidget(const History& history, QWidget* parent) : QWidget(parent), history_(history) {
    setMinimumSize(420, 260);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void PlotWidget::SetSpan(double seconds) {
    if (!live_) {
        // Stay where the user looked: the right edge keeps its time.
        end_ = ShownWindow().t1;
    }
    span_ = std::max(seconds, 0.0);
    zoomed_ = false;
    update();
}

void PlotWidget::FollowLive() {
    live_ = true;
    zoomed_ = false;
    update();
}

void PlotWidget::SetFullScale(double volts, double milliamps) {
    fullVolts_ = volts;
    fullMilliamps_ = milliamps;
    update();
}

void PlotWidget::SetAutoscale(bool on) {
    autoscale_ = on;
    update();
}

TimeWindow PlotWidget::ShownWindow() const {
    const bool none = history_.Empty();
    const double oldest = none ? 0.0 : history_.At(history_.FirstIndex()).time;
    const double newest = none ? 0.0 : history_.At(history_.EndIndex() - 1).time;
    if (zoomed_) {
        const double t1 = live_ ? newest : end_;
        return {t1 - zoomSpan_, t1};
    }
    if (span_ <= 0.0) {
        if (live_) return {oldest, std::max(newest, oldest + kMinAllSpan)};
        const double span = std::max(newest - oldest, kMinAllSpan);
        return {end_ - span, end_};
    }
    const double t1 = live_ ? newest : end_;
    return {t1 - span_, t1};
}

QImage PlotWidget::Image() {
    return grab().toImage();
}

void PlotWidget::Changed() {
    update();
    if (viewChanged) viewChanged();
}

// ---- Mouse: wheel zooms the time axis around the pointer, drag pans, double-click goes live ----

void PlotWidget::wheelEvent(QWheelEvent* event) {
    // 120 is one notch of a wheel; touchpads send fractions of it.
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0.0) return;
    const TimeWindow w = ShownWindow();
    const double span = w.t1 - w.t0;
    const double newSpan = std::clamp(span * std::pow(kWheelFactor, notches), kMinSpan, kMaxSpan);
    const double fraction =
        std::clamp((event->position().x() - dataArea_.left()) / dataArea_.width(), 0.0, 1.0);
    const double anchor = w.t0 + fraction * span;
    zoomed_ = true;
    live_ = false;
    zoomSpan_ = newSpan;
    end_ = anchor + (1.0 - fraction) * newSpan;
    event->accept();
    Changed();
}

void PlotWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragX_ = event->position().x();
    dragWindow_ = ShownWindow();
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const double span = dragWindow_.t1 - dragWindow_.t0;
    const double shift = (event->position().x() - dragX_) * span / dataArea_.width();
    if (shift == 0.0) return;
    zoomed_ = true;  // the span in view stays as it is, also for "all"
    zoomSpan_ = span;
    live_ = false;
    end_ = dragWindow_.t1 - shift;
    Changed();
}

void PlotWidget::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void PlotWidget::mouseDoubleClickEvent(QMouseEvent*) {
    dragging_ = false;
    live_ = true;
    zoomed_ = false;
    Changed();
}

// ---- Painting ----

int PlotWidget::DrawLegend(QPainter& painter, const Decimated& data) const {
    // What the legend says changes rarely (a new series, another width): it is drawn once into a
    // picture and only copied on the repaint of every tick.
    std::vector<LegendEntry> entries;
    // The series in view, in order; a long session of address changes cannot flood the legend.
    std::vector<std::uint32_t> series;
    for (const Run& run : data.runs) {
        if (std::find(series.begin(), series.end(), run.series) == series.end()) series.push_back(run.series);
    }
    for (std::size_t i = 0; i < std::min(series.size(), kMaxLegendSeries); ++i) {
        if (const SeriesInfo* info = history_.FindSeries(series[i])) {
            entries.push_back({SeriesLabel(*info), QPen(SeriesColour(info->id), 2)});
        }
    }
    if (series.size() > kMaxLegendSeries) {
        entries.push_back({QStringLiteral("%1 weitere Serien").arg(series.size() - kMaxLegendSeries),
                           QPen(Qt::lightGray, 2)});
    }
    entries.push_back({QStringLiteral("Sollwert"), QPen(Qt::darkGray, 1, Qt::DashLine)});
    entries.push_back(
        {QStringLiteral("Statuswechsel (P Parametersatz, B Messbereich)"), QPen(kMark, 1, Qt::DotLine)});
    entries.push_back({QStringLiteral("Messung fehlgeschlagen"), QPen(kFailure, 3)});

    Legend wanted{std::move(entries), width(), font(), devicePixelRatioF(), QPixmap(), 0};
    if (!(legend_.entries == wanted.entries && legend_.width == wanted.width && legend_.font == wanted.font &&
          legend_.ratio == wanted.ratio)) {
        legend_ = std::move(wanted);
        DrawLegendPicture();
    }
    painter.drawPixmap(0, 0, legend_.picture);
    return legend_.height;
}

void PlotWidget::DrawLegendPicture() const {
    const QFontMetrics metrics(font());
    const int lineHeight = metrics.height() + 4;
    const int right = width() - kRightMargin;
    // Where each entry goes: as many to a line as fit.
    std::vector<QPoint> at;
    int x = kLeftMargin;
    int y = 6;
    for (const LegendEntry& e : legend_.entries) {
        const int entryWidth = 28 + metrics.horizontalAdvance(e.text);
        if (x > kLeftMargin && x + entryWidth > right) {
            x = kLeftMargin;
            y += lineHeight;
        }
        at.emplace_back(x, y);
        x += entryWidth + 18;
    }
    legend_.height = y + lineHeight + 4;

    legend_.picture = QPixmap(QSize(width(), legend_.height) * legend_.ratio);
    legend_.picture.setDevicePixelRatio(legend_.ratio);
    legend_.picture.fill(Qt::white);
    QPainter painter(&legend_.picture);
    painter.setFont(font());
    for (std::size_t i = 0; i < at.size(); ++i) {
        const int left = at[i].x();
        const int top = at[i].y();
        painter.setPen(legend_.entries[i].pen);
        painter.drawLine(left, top + lineHeight / 2, left + 22, top + lineHeight / 2);
        painter.setPen(Qt::black);
        painter.drawText(QRect(left + 28, top, right - left, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         legend_.entries[i].text);
    }
}

void PlotWidget::DrawTimeAxis(QPainter& painter, const QRect& area, TimeWindow window) const {
    const double span = window.t1 - window.t0;
    const double step = TimeStep(span, area.width());
    // Steps align with the local clock (full minutes, hours, days).
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime start = LocalAt(static_cast<qint64>(window.t0 * 1000.0), zone);
    const double offset = start.offsetFromUtc();
    const QFontMetrics metrics(font());
    for (double t = std::ceil((window.t0 + offset) / step) * step - offset; t <= window.t1; t += step) {
        const int x = area.left() + static_cast<int>(std::lround((t - window.t0) / span * area.width()));
        painter.setPen(kGrid);
        painter.drawLine(x, area.top(), x, area.bottom());
        const QString label = TimeLabel(t, step, zone);
        const int w = metrics.horizontalAdvance(label);
        painter.setPen(Qt::black);
        // Labels at the ends stay inside the widget.
        const int left = std::clamp(x - w / 2 - 2, 0, std::max(0, width() - w - 4));
        painter.drawText(QRect(left, area.bottom() + 4, w + 4, metrics.height()), Qt::AlignCenter, label);
    }
}

void PlotWidget::DrawPane(QPainter& painter, const Pane& pane, const Decimated& data, Quantity quantity,
                          const char* title) const {
    const QRectF& r = pane.rect;
    const double low = pane.axis.low;
    const double scale = r.height() / (pane.axis.high - low);
    auto y = [&](double value) { return r.bottom() - (value - low) * scale; };

    // Grid and value labels.
    const QFontMetrics metrics(font());
    const double step = pane.step;
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    for (double v = low; v <= pane.axis.high + step * 1e-6; v += step) {
        const double yy = y(v);
        painter.setPen(kGrid);
        painter.drawLine(QPointF(r.left(), yy), QPointF(r.right(), yy));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, yy - metrics.height() / 2.0, kLeftMargin - 6, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', decimals));
    }

    painter.save();
    painter.setClipRect(r.adjusted(0, -1, 1, 1));
    const bool volts = quantity == Quantity::kVolts;
    QPolygonF line;
    for (const Run& run : data.runs) {
        const QColor colour = SeriesColour(run.series);
        // Measured values: per column first, extremes, last, so no spike is lost.
        line.clear();
        for (const Column& c : run.columns) {
            const Extent& e = volts ? c.volts : c.milliamps;
            const double x = r.left() + c.x + 0.5;
            line << QPointF(x, y(e.first));
            if (e.low != e.high) {
                const bool rising = e.first <= e.last;
                line << QPointF(x, y(rising ? e.low : e.high)) << QPointF(x, y(rising ? e.high : e.low));
            }
            if (e.last != e.first) line << QPointF(x, y(e.last));
        }
        painter.setPen(QPen(colour, 1));
        if (line.size() == 1) {
            painter.drawPoint(line.front());
        } else {
            painter.drawPolyline(line);
        }

        // Set values as steps: corners only where the value changes; an unknown value
        // interrupts the line.
        painter.setPen(QPen(colour.darker(130), 1, Qt::DashLine));
        line.clear();
        double previous = std::nan("");
        double lastX = 0.0;
        auto flush = [&] {
            if (!line.isEmpty()) line << QPointF(lastX, y(previous));
            if (line.size() > 1) painter.drawPolyline(line);
            line.clear();
        };
        for (const Column& c : run.columns) {
            const double value = volts ? c.setVolts : c.setMilliamps;
            const double x = r.left() + c.x + 0.5;
            if (!std::isfinite(value)) {
                flush();
            } else if (value != previous || line.isEmpty()) {
                if (!line.isEmpty()) line << QPointF(x, y(previous));
                line << QPointF(x, y(value));
            }
            previous = value;
            lastX = x;
        }
        if (std::isfinite(previous)) flush();
    }
    painter.restore();

    // Failed ticks: a short red stroke at the bottom edge.
    painter.setPen(QPen(kFailure, 3));
    for (int x : data.failures) {
        if (x >= 0)
            painter.drawLine(QPointF(r.left() + x + 0.5, r.bottom()),
                             QPointF(r.left() + x + 0.5, r.bottom() - 7));
    }

    painter.setPen(kFrame);
    painter.drawRect(r);
    painter.setPen(Qt::black);
    painter.drawText(r.adjusted(6, 3, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(title));
}

void PlotWidget::DrawMarks(QPainter& painter, const QRect& area, const Decimated& data) const {
    // All lines in one call, then the labels that have room.
    QVector<QLine> lines;
    for (const StatusMark& mark : data.marks) {
        if (mark.x >= 0 && mark.x < area.width()) {
            lines.append(QLine(area.left() + mark.x, area.top(), area.left() + mark.x, area.bottom()));
        }
    }
    painter.setPen(QPen(kMark, 1, Qt::DotLine));
    painter.drawLines(lines);

    const QFontMetrics metrics(font());
    painter.setPen(kMark);
    int labelEnd = area.left() - 1000;
    for (const StatusMark& mark : data.marks) {
        const int x = area.left() + mark.x;
        if (mark.x < 0 || mark.x >= area.width() || x + 2 < labelEnd) continue;  // crowded: the line says it
        const QString text = StatusText(mark.status);
        const QRect box(x + 2, area.top() + metrics.height() + 6, metrics.horizontalAdvance(text) + 6,
                        metrics.height());
        painter.fillRect(box, Qt::white);
        painter.drawText(box, Qt::AlignCenter, text);
        labelEnd = box.right() + 4;
    }
}

void PlotWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const int plotWidth = std::max(1, width() - kLeftMargin - kRightMargin);
    const TimeWindow window = ShownWindow();
    const Decimated data = Decimate(history_, window.t0, window.t1, plotWidth);
    const int legendHeight = DrawLegend(painter, data);
    const QRect area(kLeftMargin, legendHeight, plotWidth,
                     std::max(2 * kPaneGap, height() - legendHeight - kBottomMargin));
    dataArea_ = area;
    const Axis volts = ValueAxis(data.volts, fullVolts_, autoscale_);
    const Axis milliamps = ValueAxis(data.milliamps, fullMilliamps_, autoscale_);
    voltsAxis_ = volts.range;
    milliampsAxis_ = milliamps.range;

    const double paneHeight = (area.height() - kPaneGap) / 2.0;
    const Pane top{QRectF(area.left(), area.top(), area.width(), paneHeight), volts.range, volts.step};
    const Pane bottom{QRectF(area.left(), area.top() + paneHeight + kPaneGap, area.width(), paneHeight),
                      milliamps.range, milliamps.step};

    if (!history_.Empty()) DrawTimeAxis(painter, area, window);
    DrawPane(painter, top, data, Quantity::kVolts, "Spannung / V");
    DrawPane(painter, bottom, data, Quantity::kMilliamps, "Strom / mA");
    DrawMarks(painter, area, data);
    if (history_.Empty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(area, Qt::AlignCenter,
                         QStringLiteral("Noch keine Messwerte \u2013 \u201eMessen\u201c einschalten"));
    }
}

}  // namespace trend
