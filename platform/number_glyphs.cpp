#include "platform/number_glyphs.h"

#include <QGlyphRun>
#include <QPainter>
#include <QPointF>
#include <QVector>

namespace uiqt {

void NumberGlyphs::Reset(const QFont& font) {
    font_ = font;
    raw_ = QRawFont::fromFont(font);
    known_.fill(Known::kNotYet);
}

bool NumberGlyphs::Lookup(char16_t character) {
    if (character >= known_.size() || !raw_.isValid()) return false;
    Known& known = known_[character];
    if (known == Known::kNotYet) {
        const QChar text(character);
        QVector<quint32> glyphs = raw_.glyphIndexesForString(QString(text));
        known = Known::kMissing;
        if (glyphs.size() == 1 && glyphs.front() != 0) {
            glyph_[character] = glyphs.front();
            advance_[character] = raw_.advancesForGlyphIndexes(glyphs).front().x();
            known = Known::kYes;
        }
    }
    return known == Known::kYes;
}

void NumberGlyphs::Draw(QPainter& painter, const QRectF& box, const QString& text) {
    QVector<quint32> glyphs;
    QVector<QPointF> positions;
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    qreal width = 0;
    for (const QChar c : text) {
        // A character this font lacks takes another font: only the full text path knows which.
        if (!Lookup(c.unicode())) {
            painter.save();
            painter.setFont(font_);
            painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, text);
            painter.restore();
            return;
        }
        glyphs.push_back(glyph_[c.unicode()]);
        positions.push_back({width, 0});
        width += advance_[c.unicode()];
    }
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    const qreal height = raw_.ascent() + raw_.descent();
    painter.drawGlyphRun(
        QPointF(box.x() + box.width() - width, box.y() + (box.height() - height) / 2 + raw_.ascent()), run);
}

}  // namespace uiqt
