#include "trend/trend_window.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <string>
#include <utility>

#include "platform/safefile.h"
#include "platform/userint.h"
#include "trend/plot.h"
#include "trend/recording.h"

namespace trend {
namespace {

struct SpanChoice {
    const char* label;
    double seconds;  // 0: the whole history
};
constexpr std::array<SpanChoice, 4> kSpans{{{"1 min", 60}, {"10 min", 600}, {"1 h", 3600}, {"Alle", 0}}};
constexpr int kDefaultSpan = 1;   // 10 minutes
constexpr int kPathBuffer = 512;  // the dialog returns at most 259 characters

bool WritePng(const QImage& image, const QString& path) {
    // Encoded first, then put in place whole: a failed write leaves an older file whole.
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
    const std::string target = QFile::encodeName(path).toStdString();
    return platform::SafeFile_Replace(target, {}, png.constData(), static_cast<std::size_t>(png.size())).ok;
}

}  // namespace

TrendWindow::TrendWindow(const History& history, QWidget* parent)
    : QWidget(parent, Qt::Window),
      plot_(new PlotWidget(history, this)),
      spans_(new QButtonGroup(this)),
      autoscale_(new QCheckBox(QStringLiteral("Autoskalierung"), this)),
      bottomRow_(new QHBoxLayout) {
    setWindowTitle(QStringLiteral("KWD2-Steuerung V1.5 \u2013 Verlauf"));
    // Closing hides the window; it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(920, 600);

    auto* toolbar = new QHBoxLayout;
    toolbar->addWidget(new QLabel(QStringLiteral("Zeitraum:"), this));
    for (int i = 0; i < static_cast<int>(kSpans.size()); ++i) {
        auto* button = new QPushButton(QString::fromLatin1(kSpans[i].label), this);
        button->setCheckable(true);
        spans_->addButton(button, i);
        toolbar->addWidget(button);
    }
    spans_->button(kDefaultSpan)->setChecked(true);
    plot_->SetSpan(kSpans[kDefaultSpan].seconds);
    connect(spans_, &QButtonGroup::idClicked, this, [this](int id) {
        plot_->SetSpan(kSpans[static_cast<std::size_t>(id)].seconds);
        SyncSpanButtons();
    });

    auto* live = new QPushButton(QStringLiteral("Live"), this);
    live->setToolTip(QStringLiteral("Neueste Werte rechts zeigen (auch: Doppelklick in die Grafik)"));
    connect(live, &QPushButton::clicked, this, [this] {
        plot_->FollowLive();
        SyncSpanButtons();
    });
    toolbar->addSpacing(12);
    toolbar->addWidget(live);

    autoscale_->setChecked(plot_->Autoscale());
    autoscale_->setToolTip(QStringLiteral("Aus: Achsen von 0 bis zum Skalenendwert des Hauptfensters"));
    connect(autoscale_, &QCheckBox::toggled, this, [this](bool on) { plot_->SetAutoscale(on); });
    toolbar->addSpacing(12);
    toolbar->addWidget(autoscale_);
    toolbar->addStretch(1);

    auto* save = new QPushButton(QStringLiteral("Bild speichern\u2026"), this);
    connect(save, &QPushButton::clicked, this, [this] { SaveImage(); });
    toolbar->addWidget(save);

    plot_->setToolTip(
        QStringLiteral("Mausrad: Zeitachse zoomen \u2013 Ziehen: verschieben \u2013 "
                       "Doppelklick: zur\u00fcck zu den neuesten Werten"));
    plot_->viewChanged = [this] { SyncSpanButtons(); };

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(toolbar);
    layout->addWidget(plot_, 1);
    layout->addLayout(bottomRow_);
}

// A zoomed view shows none of the fixed spans.
void TrendWindow::SyncSpanButtons() {
    spans_->setExclusive(false);
    for (int i = 0; i < static_cast<int>(kSpans.size()); ++i) {
        spans_->button(i)->setChecked(!plot_->Zoomed() &&
                                      plot_->Span() == kSpans[static_cast<std::size_t>(i)].seconds);
    }
    spans_->setExclusive(true);
}

void TrendWindow::SaveImage() {
    std::array<char, kPathBuffer> path{};
    const int chosen = FileSelectPopup("", "verlauf.png", "*.png", "Bild speichern", VAL_SAVE_BUTTON, 0, 1, 1,
                                       1, path.data());
    if (chosen == VAL_NO_FILE_SELECTED) return;
    path.back() = '\0';
    if (!WritePng(plot_->Image(), QFile::decodeName(path.data()))) {
        const std::string text = std::string("Das Bild konnte nicht gespeichert werden:\n") + path.data();
        MessagePopup("Bild speichern", text.c_str());
    }
}

}  // namespace trend

namespace trend {

void TrendWindow::AttachRecording(Recording& recording, std::function<void(const std::string&)> start,
                                  std::function<void()> stop) {
    recording_ = &recording;
    startRecording_ = std::move(start);
    recordButton_ = new QPushButton(QStringLiteral("Aufzeichnen\u2026"), this);
    recordButton_->setToolTip(QStringLiteral("Jede Messung als Zeile an eine CSV-Datei anh\u00e4ngen"));
    stopButton_ = new QPushButton(QStringLiteral("Aufzeichnung beenden"), this);
    recordStatus_ = new QLabel(this);
    recordStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(recordButton_, &QPushButton::clicked, this, [this] { ChooseRecordingFile(); });
    connect(stopButton_, &QPushButton::clicked, this, [stop = std::move(stop)] { stop(); });
    bottomRow_->addWidget(recordButton_);
    bottomRow_->addWidget(stopButton_);
    bottomRow_->addSpacing(12);
    bottomRow_->addWidget(recordStatus_, 1);
    recording.changed = [this] { ShowRecordingState(); };
    ShowRecordingState();
}

void TrendWindow::ChooseRecordingFile() {
    std::array<char, kPathBuffer> path{};
    // An existing log is continued, not replaced: the rows are appended to it.
    const int chosen =
        FileSelectPopup("", "messung.csv", "*.csv", "Aufzeichnen", VAL_SAVE_BUTTON, 0, 1, 1, 1, path.data());
    if (chosen < 0 || chosen == VAL_NO_FILE_SELECTED) return;
    path.back() = '\0';
    if (startRecording_) startRecording_(path.data());
}

void TrendWindow::ShowRecordingState() {
    const RecordingState& s = recording_->State();
    recordButton_->setEnabled(!s.active);
    stopButton_->setEnabled(s.active);
    const QString file = QFileInfo(QFile::decodeName(s.path.c_str())).fileName();
    const QString rows = QStringLiteral(" \u2013 %1 Zeilen").arg(s.rows);
    QString text;
    if (s.active) {
        text = QStringLiteral("Aufzeichnung: ") + file + rows;
    } else if (s.error != 0) {
        text = QStringLiteral("Aufzeichnung abgebrochen (Fehler %1): ").arg(-s.error) + file + rows;
        if (!s.reason.empty()) text += QStringLiteral(" \u2013 ") + QString::fromLocal8Bit(s.reason.c_str());
    } else if (!s.path.empty()) {
        text = QStringLiteral("Aufzeichnung beendet: ") + file + rows;
    } else {
        text = QStringLiteral("Keine Aufzeichnung");
    }
    recordStatus_->setText(text);
    recordStatus_->setToolTip(QFile::decodeName(s.path.c_str()));
}

}  // namespace trend
