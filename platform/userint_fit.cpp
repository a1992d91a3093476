// Fitting texts into the places the panels give them. The panels were laid out for a narrower
// font than some systems have; a smaller font keeps every text whole inside its box.
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "platform/userint_qt.h"

namespace uiqt {
namespace {

// The parent's font at its pixel size, for a widget to shrink from.
QFont StartFont(const QWidget* widget) {
    QFont font = widget->parentWidget() != nullptr ? widget->parentWidget()->font() : widget->font();
    font.setPixelSize(QFontInfo(font).pixelSize());
    return font;
}

// Shrinks a widget's font, a pixel at a time, until its text fits.
template <typename Fits>
void ShrinkUntil(QWidget* widget, Fits fits) {
    QFont font = StartFont(widget);
    widget->setFont(font);
    while (font.pixelSize() > 8 && !fits()) {
        font.setPixelSize(font.pixelSize() - 1);
        widget->setFont(font);
    }
}

// Shrinks like ShrinkUntil, but measures candidate fonts without giving them to the widget (each
// would make it lay its text out anew); the widget gets the chosen one once.
template <typename Fits>
void SetFittingFont(QWidget* widget, Fits fits) {
    QFont font = StartFont(widget);
    while (font.pixelSize() > 8 && !fits(font)) font.setPixelSize(font.pixelSize() - 1);
    widget->setFont(font);
}

// A label whose size hint is its text's bounding box and nothing else: no picture, no rich text,
// no wrapping, frame, margin, indent or shortcut. Only such a label is measured here; any other
// one asks its own size hint.
bool PlainTextLabel(const QLabel* label) {
    const QString text = label->text();
    const bool plain = label->textFormat() == Qt::PlainText ||
                       (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(text));
    return plain && !text.isEmpty() && label->pixmap().isNull() && !label->wordWrap() &&
           label->margin() == 0 && label->indent() <= 0 && label->frameWidth() == 0 &&
           label->contentsMargins().isNull() && label->buddy() == nullptr;
}

// What QLabel::sizeHint() gives for a plain-text label with this font: the text laid out once
// in a box as wide as the label's own (2000 pixels) instead of three times per hint.
QSize PlainTextSize(const QLabel* label, const QFont& font) {
    // Centring only moves the text; the label leaves it out of its measure as well.
    const int flags = QStyle::visualAlignment(label->layoutDirection(), label->alignment()) &
                      ~(Qt::AlignVCenter | Qt::AlignHCenter);
    return QFontMetrics(font)
        .boundingRect(0, 0, 2000, 2000, flags, label->text())
        .size()
        .expandedTo(label->minimumSize());
}

}  // namespace

QFont PanelFont() {
    // The panels were laid out for "Microsoft Sans Serif" at 11 pixels. Where it is missing, a
    // font of the same widths stands in (Arial and its metric twins) before the wider default.
    static const QString kFamily = QStringLiteral("Microsoft Sans Serif");
    if (QFont::substitutes(kFamily).isEmpty()) {
        QFont::insertSubstitutions(
            kFamily, {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    }
    QFont font(kFamily);
    font.setPixelSize(11);
    return font;
}

void FitCaption(QPushButton* button, int width) {
    if (width <= 0) return;
    const QString text = button->text().remove(QLatin1Char('&'));
    SetFittingFont(button, [button, &text, width](const QFont& font) {
        return QFontMetrics(font.resolve(button->font())).horizontalAdvance(text) <= width - 8;
    });
}

void FitRing(QComboBox* ring, int width) {
    if (width > 0) ShrinkUntil(ring, [ring, width] { return ring->sizeHint().width() <= width; });
}

QSize LabelSize(QLabel* label) {
    // Measured after polishing, as the label measures itself.
    label->ensurePolished();
    return PlainTextLabel(label) ? PlainTextSize(label, label->font()) : label->sizeHint();
}

void ShrinkLabel(QLabel* label, const std::function<bool(QSize)>& fits) {
    label->ensurePolished();
    if (!PlainTextLabel(label)) {
        ShrinkUntil(label, [label, &fits] { return fits(label->sizeHint()); });
        return;
    }
    SetFittingFont(label, [label, &fits](const QFont& font) {
        return fits(PlainTextSize(label, font.resolve(label->font())));
    });
}

}  // namespace uiqt
