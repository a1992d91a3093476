#include "platform/userint_displays.h"

#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "platform/number_glyphs.h"
#include "platform/userint_qt.h"

namespace uiqt {

QColor Rgb(int rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

QString FormatNumber(double value, int digits) {
    if (std::isnan(value)) return QStringLiteral("NaN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("Inf") : QStringLiteral("-Inf");
    return QString::number(value, 'f', digits);
}

namespace {

class LedLamp : public QWidget, public PaintedDisplay {
  public:
    LedLamp(Control& control, QWidget* parent) : QWidget(parent), control_(control) {}

    bool ShowsCurrent() const override { return painted_ && shown_ == Look(); }
    QRect Stale() const override { return rect(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor colour = Rgb(control_.onColor);
        if (control_.ival == 0) colour = colour.darker(350);
        if (control_.dimmed) {
            const int grey = qGray(colour.rgb());
            colour = QColor(grey, grey, grey).lighter(130);
        }
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        QRadialGradient shine(box.center() - QPointF(box.width() / 5, box.height() / 5), box.width() / 1.5);
        shine.setColorAt(0, colour.lighter(160));
        shine.setColorAt(1, colour);
        painter.setBrush(shine);
        painter.setPen(QPen(QColor(90, 90, 90), 1));
        painter.drawEllipse(box);
        shown_ = Look();
        painted_ = true;
    }

  private:
    struct Lit {
        int colour = 0;
        bool on = false;
        bool dimmed = false;
        QSize size;
        bool operator==(const Lit&) const = default;
    };
    Lit Look() const { return {control_.onColor, control_.ival != 0, control_.dimmed, size()}; }

    Control& control_;
    Lit shown_;
    bool painted_ = false;
};

class MeterDial : public QWidget, public PaintedDisplay {
  public:
    MeterDial(Control& control, int dialHeight, QWidget* parent)
        : QWidget(parent), control_(control), dialHeight_(dialHeight) {
        // The scale picture carries the panel's background where nothing lies beneath the meter:
        // a paint then neither fills the panel behind it first nor blends the picture onto it.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // The scale changes rarely, the needle and the number on every reading: only those two are
    // compared, once the scale is drawn for the current range, size and font. (The background
    // changes only with the panel, which then repaints every control anyway.)
    // The screen's pixel ratio is left out: a change of it repaints the whole window anyway.
    bool ShowsCurrent() const override { return ScaleUnchanged() && shown_ == Current(); }

    // With the scale unchanged only the old and the new needle and the number box change.
    QRect Stale() const override {
        if (!ScaleUnchanged()) return rect();
        return NeedleBox(shown_.needleTip) | NeedleBox(Current().needleTip) | DigitalBox();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (const Key key = ScaleKey(PlainBackground()); scale_.key != key) DrawScale(key);
        const Reading reading = Current();
        QPainter painter(this);
        if (!scale_.key.background.isValid() && testAttribute(Qt::WA_OpaquePaintEvent)) {
            // Something lies beneath: the panel is filled in here once, and paints it from the next paint on.
            painter.fillRect(rect(), parentWidget()->palette().brush(parentWidget()->backgroundRole()));
            setAttribute(Qt::WA_OpaquePaintEvent, false);
            update();
        }
        painter.drawPixmap(0, 0, scale_.picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(isEnabled() ? QColor(200, 0, 0) : Qt::gray, 2));
        painter.drawLine(scale_.centre, reading.needleTip);
        painter.setPen(isEnabled() ? Qt::black : Qt::gray);
        scale_.number.Draw(painter, DigitalBox().adjusted(2, 0, -4, 0), reading.text);
        shown_ = reading;
        painted_ = true;
    }

  private:
    struct Key {
        QSize size;
        double maximum = 0.0;
        bool enabled = true;
        QFont font;
        qreal pixelRatio = 1.0;
        QColor background;  // the panel's, when the meter covers nothing else; else invalid
        bool operator==(const Key&) const = default;
    };
    struct Scale {
        Key key;
        QPixmap picture;  // arc, ticks, labels and the empty number box
        QPointF centre;
        double radius = 0.0;
        NumberGlyphs number;
    };
    struct Reading {
        QPointF needleTip;
        QString text;
        bool operator==(const Reading&) const = default;
    };

    Key ScaleKey(const QColor& background, qreal pixelRatio) const {
        return {size(), Maximum(), isEnabled(), font(), pixelRatio, background};
    }
    Key ScaleKey(const QColor& background) const { return ScaleKey(background, devicePixelRatioF()); }
    bool ScaleUnchanged() const {
        return painted_ && scale_.key == ScaleKey(scale_.key.background, scale_.key.pixelRatio);
    }

    // The needle from the centre to its tip, with room for its width and antialiasing.
    QRect NeedleBox(const QPointF& tip) const {
        return QRectF(scale_.centre, tip).normalized().adjusted(-3, -3, 3, 3).toAlignedRect();
    }

    // The panel's background colour behind the meter, when it is a plain colour and no other
    // control lies beneath the meter.
    QColor PlainBackground() const {
        const QWidget* panel = parentWidget();
        if (panel == nullptr || !testAttribute(Qt::WA_OpaquePaintEvent)) return {};
        const QBrush& brush = panel->palette().brush(panel->backgroundRole());
        if (brush.style() != Qt::SolidPattern || !brush.isOpaque()) return {};
        for (const QObject* child : panel->children()) {
            if (child == this) return brush.color();
            const auto* below = qobject_cast<const QWidget*>(child);
            if (below != nullptr && !below->isWindow() && below->isVisible() &&
                below->geometry().intersects(geometry()))
                return {};
        }
        return {};
    }
    double Maximum() const { return control_.maxValue > 0 ? control_.maxValue : 1.0; }
    QRect DigitalBox() const {
        return QRect(width() / 2 - 40, dialHeight_ + kMeterDigitalGap, 80, kMeterDigitalHeight);
    }

    Reading Readout(const Scale& scale) const {
        double fraction = control_.dval / Maximum();
        if (!std::isfinite(fraction)) fraction = 0.0;
        fraction = std::clamp(fraction, 0.0, 1.0);
        const double angle = std::numbers::pi * (1.0 - fraction);
        return {scale.centre + QPointF(std::cos(angle), -std::sin(angle)) * (scale.radius - 3),
                FormatNumber(control_.dval, control_.def.digits)};
    }

    // The reading for the current value, worked out once per value: a write asks for it, and so
    // does the paint that follows.
    const Reading& Current() const {
        const Readable from{control_.dval, control_.def.digits, Maximum(), scale_.centre, scale_.radius};
        if (!(current_.from == from)) current_ = {from, Readout(scale_)};
        return current_.reading;
    }

    void DrawScale(const Key& key) {
        scale_.key = key;
        scale_.number.Reset(font());
        scale_.picture = QPixmap(size() * scale_.key.pixelRatio);
        scale_.picture.setDevicePixelRatio(scale_.key.pixelRatio);
        scale_.picture.fill(scale_.key.background.isValid() ? scale_.key.background
                                                            : QColor(Qt::transparent));
        QPainter painter(&scale_.picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ink = isEnabled() ? Qt::black : Qt::gray;
        QFont small = font();
        small.setPixelSize(std::max(7, QFontInfo(font()).pixelSize() - 2));
        const QFontMetricsF metrics(small);
        const double maximum = Maximum();
        constexpr int kTicks = 4;
        const auto scaleText = [maximum](int i) { return QString::number(maximum * i / kTicks, 'g', 5); };
        // The scale labels sit outside the arc, beside its ends and above its top; the dial is as
        // large as leaves them room inside the control.
        const double textHeight = metrics.height();
        const double labelWidth = metrics.horizontalAdvance(scaleText(kTicks));
        const QPointF centre(width() / 2.0, dialHeight_ - 3.0);
        const double radius =
            std::max(8.0, std::min(width() / 2.0 - labelWidth - 6.0, centre.y() - textHeight - 4.0));
        scale_.centre = centre;
        scale_.radius = radius;
        painter.setPen(QPen(ink, 1.5));
        painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 0,
                        180 * 16);
        painter.setFont(small);
        for (int i = 0; i <= kTicks; ++i) {
            const double angle = std::numbers::pi * (1.0 - static_cast<double>(i) / kTicks);
            const QPointF direction(std::cos(angle), -std::sin(angle));
            painter.drawLine(centre + direction * radius, centre + direction * (radius - 5));
            if (i % 2 == 0) {
                const QString text = scaleText(i);
                const double textWidth = metrics.horizontalAdvance(text);
                // Pushed outwards along the tick so that the near edge of the text meets the arc.
                const QPointF middle =
                    centre + direction * (radius + 3) +
                    QPointF(direction.x() * (textWidth / 2 + 1), direction.y() * textHeight / 2);
                painter.drawText(QRectF(middle.x() - textWidth / 2 - 1, middle.y() - textHeight / 2,
                                        textWidth + 2, textHeight),
                                 Qt::AlignCenter, text);
            }
        }
        painter.setPen(QColor(100, 100, 100));
        painter.setBrush(Qt::white);
        painter.drawRect(DigitalBox().adjusted(0, 0, -1, -1));
    }

    struct Readable {
        double value =
            std::numeric_limits<double>::quiet_NaN();  // never equal: a first reading is worked out
        int digits = 0;
        double maximum = 0.0;
        QPointF centre;
        double radius = 0.0;
        bool operator==(const Readable&) const = default;
    };

    Control& control_;
    int dialHeight_;
    Scale scale_;
    Reading shown_;
    mutable struct {
        Readable from;
        Reading reading;
    } current_;
    bool painted_ = false;
};

}  // namespace

QWidget* MakeLamp(Control& control, QWidget* parent) {
    return new LedLamp(control, parent);
}

QWidget* MakeMeter(Control& control, int dialHeight, QWidget* parent) {
    return new MeterDial(control, dialHeight, parent);
}

// The display widget of a lamp or meter, which knows whether a paint would change anything.
PaintedDisplay* Painted(const Control& control) {
    switch (control.def.kind) {
        case CtrlKind::kLed:
            return static_cast<LedLamp*>(control.widget);
        case CtrlKind::kMeter:
            return static_cast<MeterDial*>(control.widget);
        default:
            return nullptr;
    }
}

}  // namespace uiqt
