#include "score/qt/score_painter.h"

#include <algorithm>

#include <QFont>
#include <QFontMetricsF>
#include <QFile>
#include <QHash>
#include <QPainterPath>
#include <QRawFont>
#include <QString>

#include "score/glyph_table.h"
#include "score/glyphs.h"

namespace tonemark {
namespace {

constexpr std::uint32_t kSystemColorBit = 0x80000000u;
constexpr int kWindowBackgroundIndex = 5;

// Bravura from the application's resources, loaded once. Glyphs are drawn as
// outlines (unhinted) so that fractional positions and scales are exact. The
// font is read straight from the resource rather than registered with the
// font database: a registered application font makes a QApplication that is
// destroyed in the exit handlers (a static one, as tests keep) crash.
class BravuraOutlines {
public:
    BravuraOutlines() {
        QFile file(QStringLiteral(":/bravura.otf"));
        if (file.open(QIODevice::ReadOnly))
            raw_.loadFromData(file.readAll(), kBravuraStaffPixelSize, QFont::PreferNoHinting);
    }

    // Outline of a glyph at the staff size, baseline origin at (0, 0).
    const QPainterPath& Outline(char32_t codePoint) {
        auto it = cache_.find(codePoint);
        if (it == cache_.end()) it = cache_.insert(codePoint, Load(codePoint));
        return *it;
    }

private:
    QPainterPath Load(char32_t codePoint) const {
        const QList<quint32> indexes = raw_.glyphIndexesForString(QString::fromUcs4(&codePoint, 1));
        if (indexes.isEmpty() || indexes.first() == 0) return {};
        return raw_.pathForGlyph(indexes.first());
    }

    QRawFont raw_;
    QHash<char32_t, QPainterPath> cache_;
};

BravuraOutlines& Bravura() {
    static BravuraOutlines outlines;
    return outlines;
}

// Staff, ledger and bar lines are whole pixel rows and columns, drawn crisp;
// a slanting line (the circle's ring and arrows) is drawn smooth.
void PaintLine(QPainter& painter, const LineOp& line) {
    const bool straight = line.x1 == line.x2 || line.y1 == line.y2;
    painter.setRenderHint(QPainter::Antialiasing, !straight);
    QPen pen(DisplayListColor(line.color), std::max(line.width, 1));
    if (!straight) pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(line.x1, line.y1, line.x2, line.y2);
}

bool IsMusicFont(const std::string& font) { return font == kKeepFont || font == kSymbolsFont; }

// Any other font is ordinary lettering: the family by name, a point being
// 4/3 px as everywhere in the display list (96 dots per inch), whatever the
// device; the text origin is the top-left corner of the character cell.
void PaintPlainText(QPainter& painter, const TextOp& text) {
    QFont font(QString::fromStdString(text.font));
    font.setPixelSize(std::max(1, qRound(text.points * 96.0 / 72.0)));
    painter.setFont(font);
    painter.setPen(DisplayListColor(text.color));
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QFontMetricsF metrics(font, painter.device());
    painter.drawText(QPointF(text.x, text.y + metrics.ascent()), QString::fromUtf8(text.text));
}

void PaintMusicText(QPainter& painter, const TextOp& text) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const PlacedGlyph& g : LayoutText(text)) {
        const double scale = g.pixelSize / kBravuraStaffPixelSize;
        painter.save();
        painter.translate(g.x, g.y);
        painter.scale(scale, scale);
        painter.fillPath(Bravura().Outline(g.codePoint), DisplayListColor(text.color));
        painter.restore();
    }
}

void PaintText(QPainter& painter, const TextOp& text) {
    if (IsMusicFont(text.font))
        PaintMusicText(painter, text);
    else
        PaintPlainText(painter, text);
}

}  // namespace

QColor DisplayListColor(std::uint32_t color) {
    if ((color & kSystemColorBit) == 0) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    return (color & 0xFF) == kWindowBackgroundIndex ? QColor(Qt::white) : QColor(Qt::black);
}

void PaintDisplayList(QPainter& painter, const std::vector<DrawOp>& ops) {
    painter.save();
    for (const DrawOp& op : ops) {
        if (op.kind == DrawOp::Kind::Line)
            PaintLine(painter, op.line);
        else
            PaintText(painter, op.text);
    }
    painter.restore();
}

QImage RenderDisplayList(const std::vector<DrawOp>& ops, QSize size, QPoint origin) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(-origin);
    PaintDisplayList(painter, ops);
    return image;
}

}  // namespace tonemark
