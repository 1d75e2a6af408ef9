#pragma once
// Texts of numbers and times, most of what a long printed report holds, drawn
// from glyphs looked up once per font. Shaping each of them (and measuring it
// first, to see whether it fits a cell) costs more than writing it to the PDF
// file; for tens of thousands of pages that is most of the time taken.

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QList>
#include <QPaintDevice>
#include <QPainter>
#include <QPointF>
#include <QRawFont>
#include <QString>

class NumericGlyphs {
public:
    static constexpr const char* CHARS = "0123456789 :.-+e";

    // Ready for the painter's font and device; false if the font gives no glyphs.
    bool prepare(QPainter& p)
    {
        const int dpi = p.device()->logicalDpiY();
        if (valid_ >= 0 && font_ == p.font() && dpi_ == dpi)
            return valid_ > 0;
        flush(p);
        font_ = p.font();
        dpi_ = dpi;
        valid_ = 0;
        widest_numeric_ = 0;
        QFont f = font_;
        if (f.pointSizeF() > 0)
            f.setPixelSize(qMax(1, qRound(f.pointSizeF() * dpi / 72.0)));
        raw_ = QRawFont::fromFont(f);
        widest_ = qMax(1, QFontMetrics(font_, p.device()).maxWidth());
        if (!raw_.isValid())
            return false;
        const QString chars = QString::fromLatin1(CHARS);
        const QList<quint32> glyphs = raw_.glyphIndexesForString(chars);
        if (glyphs.size() != chars.size())
            return false;
        const QList<QPointF> advances = raw_.advancesForGlyphIndexes(glyphs);
        for (qsizetype i = 0; i < chars.size(); ++i) {
            if (glyphs[i] == 0)
                return false;
            const int c = chars[i].unicode();
            glyph_[c] = glyphs[i];
            advance_[c] = advances[i].x();
            widest_numeric_ = qMax(widest_numeric_, advances[i].x());
        }
        valid_ = 1;
        return true;
    }

    // No text is wider than its length in the font's widest characters.
    bool surely_fits(const QString& text, int room) const { return text.size() * qint64(widest_) <= room; }

    // Draws `text` with its baseline starting at (x, y) if it is all numeric
    // characters and surely fits in `room`; false, drawing nothing, if not.
    bool draw(QPainter& p, int x, int y, const QString& text, int room)
    {
        if (valid_ <= 0 || text.size() * widest_numeric_ > room)
            return false;
        glyphs_.resize(text.size());
        positions_.resize(text.size());
        qreal at = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const ushort c = text[i].unicode();
            if (c >= 128 || advance_[c] <= 0)
                return false;
            glyphs_[i] = glyph_[c];
            positions_[i] = QPointF(at, 0);
            at += advance_[c];
        }
        if (at > room)
            return false;
        if (batching_) {
            for (qsizetype i = 0; i < text.size(); ++i) {
                pending_glyphs_ << glyphs_[i];
                pending_positions_ << positions_[i] + QPointF(x, y);
            }
            return true;
        }
        QGlyphRun run;
        run.setRawFont(raw_);
        run.setGlyphIndexes(glyphs_);
        run.setPositions(positions_);
        p.drawGlyphRun(QPointF(x, y), run);
        return true;
    }

    // While batching, the texts drawn are kept and go to the painter together
    // at flush(), in the pen of that moment: the file writer's cost is mostly
    // per run drawn, whatever its length. Flushed before the font changes.
    void set_batching(bool on) { batching_ = on; }
    void flush(QPainter& p)
    {
        if (pending_glyphs_.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(raw_);
        run.setGlyphIndexes(pending_glyphs_);
        run.setPositions(pending_positions_);
        p.drawGlyphRun(QPointF(0, 0), run);
        pending_glyphs_.clear();
        pending_positions_.clear();
    }

private:
    QFont font_;
    int dpi_ = 0;
    int valid_ = -1;
    QRawFont raw_;
    int widest_ = 1;
    qreal widest_numeric_ = 0;
    quint32 glyph_[128] = {};
    qreal advance_[128] = {};
    QList<quint32> glyphs_;
    QList<QPointF> positions_;
    bool batching_ = false;
    QList<quint32> pending_glyphs_;
    QList<QPointF> pending_positions_;
};

