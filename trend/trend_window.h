// The trend window: span buttons, autoscale, "Bild speichern…" and the plot. A top-level window
// of its own; closing it only hides it.
#pragma once

#include <QWidget>

#include "trend/history.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QHBoxLayout;

namespace trend {

class PlotWidget;

class TrendWindow : public QWidget {
  public:
    explicit TrendWindow(const History& history, QWidget* parent = nullptr);

    PlotWidget& plot() { return *plot_; }
    // Asks for a file and writes the plot into it as PNG; a failure is shown in a message.
    void saveImage();
    // The row under the plot, kept for the recording controls.
    QHBoxLayout& bottomRow() { return *bottomRow_; }

  private:
    void syncSpanButtons();

    PlotWidget* plot_;
    QButtonGroup* spans_;
    QCheckBox* autoscale_;
    QHBoxLayout* bottomRow_;
};

}  // namespace trend
