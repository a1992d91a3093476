// The painted displays, lamp and meter: each remembers what its last paint showed, so that a
// write costs a paint only when the look changes, and then only where it changes.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>

class QWidget;

namespace uiqt {

struct Control;

// The meter's number box below its dial.
constexpr int kMeterDigitalGap = 11;
constexpr int kMeterDigitalHeight = 20;

// A display-only widget that remembers what its last paint showed, so that writing a value it
// already shows costs no paint (the live readout writes the same lamps on every tick).
class PaintedDisplay {
  public:
    virtual ~PaintedDisplay() = default;
    virtual bool ShowsCurrent() const = 0;
    // Bounds what the next paint changes, in the widget's coordinates.
    virtual QRect Stale() const = 0;
};

QWidget* MakeLamp(Control& control, QWidget* parent);
QWidget* MakeMeter(Control& control, int dialHeight, QWidget* parent);
// The display widget of a lamp or meter, which knows whether a paint would change anything.
PaintedDisplay* Painted(const Control& control);

QColor Rgb(int rgb);
// A value as the panel shows it: fixed digits, "NaN", "Inf" or "-Inf".
QString FormatNumber(double value, int digits);

}  // namespace uiqt
