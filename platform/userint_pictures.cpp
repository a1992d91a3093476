// The generated pictures of a panel (logo, button symbols). They are drawn on a second thread
// from the moment the panel is loaded, while the main thread goes on building; drawing the
// logo's lettering alone costs a font of its own.
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <chrono>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "platform/userint_qt.h"

namespace uiqt {
namespace {

// A small image per name; any simple drawing tells the buttons apart.
QImage DrawPicture(const std::string& name, QImage image) {
    const QSize size = image.size();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(0, 0, size.width(), size.height()).adjusted(2, 2, -2, -2);
    painter.setPen(QPen(QColor(40, 40, 40), 1.2));
    if (name == "rechner") {
        painter.setBrush(QColor(220, 220, 200));
        painter.drawRect(box);
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                painter.drawRect(QRectF(box.left() + 2 + col * box.width() / 3.2,
                                        box.top() + box.height() / 3 + row * box.height() / 5, 2, 2));
            }
        }
    } else if (name == "laden" || name == "speichern") {
        painter.setBrush(name == "laden" ? QColor(240, 210, 120) : QColor(120, 150, 220));
        painter.drawRect(box.adjusted(0, box.height() / 3, 0, 0));
        const double x = box.center().x();
        const double top = box.top();
        const double mid = box.top() + box.height() / 2;
        if (name == "laden") {
            painter.drawLine(QPointF(x, mid), QPointF(x, top));
            painter.drawLine(QPointF(x, top), QPointF(x - 3, top + 3));
            painter.drawLine(QPointF(x, top), QPointF(x + 3, top + 3));
        } else {
            painter.drawLine(QPointF(x, top), QPointF(x, mid));
            painter.drawLine(QPointF(x, mid), QPointF(x - 3, mid - 3));
            painter.drawLine(QPointF(x, mid), QPointF(x + 3, mid - 3));
        }
    } else if (name == "kwdlesen" || name == "kwdschreiben") {
        painter.setBrush(QColor(180, 180, 180));
        painter.drawRect(box.adjusted(box.width() / 2, 0, 0, 0));
        painter.setPen(QPen(name == "kwdlesen" ? QColor(0, 130, 0) : QColor(180, 0, 0), 2));
        const double y = box.center().y();
        painter.drawLine(QPointF(box.left(), y), QPointF(box.center().x() + 2, y));
    } else {
        painter.setBrush(QColor(0, 70, 140));
        painter.drawRoundedRect(box, 4, 4);
        painter.setPen(Qt::white);
        QFont bold = painter.font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(box, Qt::AlignCenter, QStringLiteral("ZEL"));
    }
    painter.end();
    return image;
}

QSize PictureSize(const CtrlDef& def) {
    const auto sized = [&def](QSize natural) {
        return QSize(def.width > 0 ? def.width : natural.width(),
                     def.height > 0 ? def.height : natural.height());
    };
    switch (def.kind) {
        case CtrlKind::kPicture:
            return sized(QSize(48, 48));
        case CtrlKind::kPictureButton:
            return sized(QSize(22, 22)) - QSize(4, 4);  // the symbol inside the button's frame
        default:
            return QSize();
    }
}

// Transparent, as a filled pixmap is painted on. Made on the main thread: an image takes the
// screen's resolution when it is made.
QImage BlankPicture(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

using Pictures = std::shared_future<std::vector<QImage>>;

// Drawing still going on when the process ends is waited for before anything else ends: it uses
// fonts and other statics that the ending process takes down, and a thread_local of the thread
// that started it is destroyed before any static.
class PicturesInFlight {
  public:
    PicturesInFlight() = default;
    PicturesInFlight(const PicturesInFlight&) = delete;
    PicturesInFlight& operator=(const PicturesInFlight&) = delete;
    ~PicturesInFlight() {
        for (const Pictures& pictures : pending_) pictures.wait();
    }
    void Add(Pictures pictures) {
        std::erase_if(pending_, [](const Pictures& p) {
            return p.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        pending_.push_back(std::move(pictures));
    }

  private:
    std::vector<Pictures> pending_;
};

thread_local PicturesInFlight gInFlight;

}  // namespace

void StartDrawingPictures(Panel& panel) {
    std::vector<std::pair<std::string, QImage>> jobs;
    for (auto& control : panel.controls) {
        const QSize size = PictureSize(control->def);
        if (!size.isValid()) continue;
        control->pictureIndex = static_cast<int>(jobs.size());
        jobs.emplace_back(control->def.image, BlankPicture(size));
    }
    if (jobs.empty()) return;
    panel.pictures = std::async(std::launch::async, [jobs = std::move(jobs)]() mutable {
                         std::vector<QImage> drawn;
                         drawn.reserve(jobs.size());
                         for (auto& [name, image] : jobs)
                             drawn.push_back(DrawPicture(name, std::move(image)));
                         return drawn;
                     }).share();
    gInFlight.Add(panel.pictures);
}

QPixmap PanelPicture(const Control& control) {
    const Panel* panel = FindPanel(control.panel);
    if (panel != nullptr && panel->pictures.valid() && control.pictureIndex >= 0) {
        return QPixmap::fromImage(panel->pictures.get()[static_cast<std::size_t>(control.pictureIndex)]);
    }
    return QPixmap::fromImage(DrawPicture(control.def.image, BlankPicture(PictureSize(control.def))));
}

}  // namespace uiqt
