// Short numbers drawn from glyphs looked up once per character. A meter's number changes with
// every reading, and shaping and laying it out anew each time cost more than the rest of the
// meter's paint; the result is what QPainter::drawText gives for the same box and alignment.
#pragma once

#include <QFont>
#include <QRawFont>
#include <QRectF>
#include <QString>
#include <array>

class QPainter;

namespace uiqt {

class NumberGlyphs {
  public:
    void Reset(const QFont& font);
    // Right-aligned and vertically centred in the box, in the painter's pen.
    void Draw(QPainter& painter, const QRectF& box, const QString& text);

  private:
    enum class Known : unsigned char { kNotYet, kYes, kMissing };
    bool Lookup(char16_t character);

    QFont font_;
    QRawFont raw_;
    std::array<Known, 128> known_{};
    std::array<quint32, 128> glyph_{};
    std::array<qreal, 128> advance_{};
};

}  // namespace uiqt
