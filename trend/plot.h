// Strip chart of the history: voltage and current in two stacked panes over one time axis, set
// values as dashed steps, status changes as marks, gaps where readings failed or measuring was
// off. Each repaint reduces the visible window to pixel columns (see decimate.h), so its cost
// follows the width of the plot, not the number of samples behind it.
#pragma once

#include <QFont>
#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <vector>

#include "trend/decimate.h"
#include "trend/history.h"

class QPainter;

namespace trend {

struct TimeWindow {
    double t0;
    double t1;
};

class PlotWidget : public QWidget {
  public:
    explicit PlotWidget(const History& history, QWidget* parent = nullptr);

    // Seconds shown when not zoomed; 0 shows the whole history.
    void SetSpan(double seconds);
    double Span() const { return span_; }
    // Newest data at the right edge, the chosen span, no zoom.
    void FollowLive();
    bool Live() const { return live_; }
    bool Zoomed() const { return zoomed_; }
    void SetFullScale(double volts, double milliamps);
    void SetAutoscale(bool on);
    bool Autoscale() const { return autoscale_; }

    TimeWindow ShownWindow() const;
    // The two value axes as drawn last: [low, high] of voltage and current.
    ValueRange VoltsAxis() const { return voltsAxis_; }
    ValueRange MilliampsAxis() const { return milliampsAxis_; }
    // Where the two panes were drawn last (time runs left to right across its width).
    QRect DataArea() const { return dataArea_; }
    QImage Image();

    // Called after the view changed by the mouse (zoom, pan, back to live).
    std::function<void()> viewChanged;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    struct Pane {
        QRectF rect;
        ValueRange axis;
        double step;  // between grid lines
    };
    struct LegendEntry {
        QString text;
        QPen pen;
        bool operator==(const LegendEntry&) const = default;
    };
    // The legend as drawn last: its entries, for which width and font, and the picture of it.
    struct Legend {
        std::vector<LegendEntry> entries;
        int width = -1;
        QFont font;
        qreal ratio = 1.0;
        QPixmap picture;
        int height = 0;
    };
    int DrawLegend(QPainter& painter, const Decimated& data) const;
    void DrawLegendPicture() const;
    void DrawTimeAxis(QPainter& painter, const QRect& area, TimeWindow window) const;
    void DrawPane(QPainter& painter, const Pane& pane, const Decimated& data, Quantity quantity,
                  const char* title) const;
    void DrawMarks(QPainter& painter, const QRect& area, const Decimated& data) const;
    void Changed();

    const History& history_;
    double span_ = 600.0;
    bool live_ = true;
    bool zoomed_ = false;
    double zoomSpan_ = 0.0;
    double end_ = 0.0;  // right edge while not live
    double fullVolts_ = 250.0;
    double fullMilliamps_ = 6000.0;
    bool autoscale_ = true;
    ValueRange voltsAxis_{0.0, 250.0};
    ValueRange milliampsAxis_{0.0, 6000.0};
    QRect dataArea_{0, 0, 1, 1};  // of the last paint, for the mouse
    bool dragging_ = false;
    double dragX_ = 0.0;
    TimeWindow dragWindow_{0.0, 1.0};
    mutable Legend legend_;
};

}  // namespace trend
