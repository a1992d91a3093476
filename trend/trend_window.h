// The trend window: span buttons, autoscale, "Bild speichern…" and the plot. A top-level window
// of its own; closing it only hides it.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "trend/history.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace trend {

class PlotWidget;
class Recording;

class TrendWindow : public QWidget {
  public:
    explicit TrendWindow(const History& history, QWidget* parent = nullptr);

    PlotWidget& Plot() { return *plot_; }
    // Asks for a file and writes the plot into it as PNG; a failure is shown in a message.
    void SaveImage();
    // Puts "Aufzeichnen…", "Aufzeichnung beenden" and the recording's status line into the
    // bottom row. `start` gets the file the operator chose; the window never writes itself.
    void AttachRecording(Recording& recording, std::function<void(const std::string& path)> start,
                         std::function<void()> stop);
    // Asks for a file and hands it to `start`.
    void ChooseRecordingFile();

  private:
    void SyncSpanButtons();
    void ShowRecordingState();

    PlotWidget* plot_;
    QButtonGroup* spans_;
    QCheckBox* autoscale_;
    QHBoxLayout* bottomRow_;
    const Recording* recording_ = nullptr;
    std::function<void(const std::string&)> startRecording_;
    QPushButton* recordButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QLabel* recordStatus_ = nullptr;
};

}  // namespace trend
