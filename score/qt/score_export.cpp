#include "score/qt/score_export.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "app/temp_files.h"
#include "score/glyph_table.h"
#include "score/glyphs.h"
#include "score/qt/score_painter.h"

namespace tonemark {
namespace {

constexpr int kRightMargin = 16;      // px of paper after the last mark
constexpr int kOutsideInkMargin = 2;  // px kept around ink that leaves the pictures
constexpr int kEndMarkInset = 8;      // the take's end mark stands this far left of the edge
constexpr int kPageUnit = 4;          // px: 4 px at 96 dpi are 3 whole points
constexpr double kWindowDpi = 96.0;
constexpr double kPngScale = 2.0;

const char kExportTitle[] = "Tonemark score";

// ---------------------------------------------------------------------------
// Layout

// Where an operation puts ink, in its picture's pixels. A line fills the pixel
// rows and columns from its ends on, as the window draws it.
std::optional<InkBox> InkOf(const DrawOp& op) {
    if (op.kind == DrawOp::Kind::Line) {
        const LineOp& l = op.line;
        const double spread = (std::max(l.width, 1) - 1) / 2.0;
        return InkBox{std::min(l.x1, l.x2) - spread, std::min(l.y1, l.y2) - spread,
                      std::max(l.x1, l.x2) + 1 + spread, std::max(l.y1, l.y2) + 1 + spread};
    }
    const TextOp& t = op.text;
    if (t.font == kKeepFont || t.font == kSymbolsFont) return InkBounds(t);
    if (t.text.empty()) return std::nullopt;
    QFont font(QString::fromStdString(t.font));
    font.setPixelSize(std::max(1, qRound(t.points * kWindowDpi / 72.0)));
    const QFontMetricsF metrics(font);
    const QRectF box = metrics.boundingRect(QString::fromUtf8(t.text)).translated(t.x, t.y + metrics.ascent());
    return InkBox{box.left(), box.top(), box.right(), box.bottom()};
}

bool RunsToEdge(const DrawOp& op, const RecordingCanvas& score) {
    return op.kind == DrawOp::Kind::Line && std::max(op.line.x1, op.line.x2) >= score.Width();
}

bool IsEndMark(const DrawOp& op, const RecordingCanvas& score) {
    return op.kind == DrawOp::Kind::Text && op.text.font == kKeepFont && op.text.text == "\\" &&
           op.text.x == score.Width() - kEndMarkInset;
}

int RoundUpToUnit(int px) { return (px + kPageUnit - 1) / kPageUnit * kPageUnit; }

struct Extent {
    double right = 0;  // of the score's marks, in its pixels
    double top = 0;
    double bottom = kExportScoreHeight;
    bool endMark = false;
};

Extent MeasureScore(const RecordingCanvas& header, const RecordingCanvas& score) {
    Extent e;
    for (const DrawOp& op : header.Ops()) {
        if (const auto ink = InkOf(op)) {
            e.top = std::min(e.top, ink->top);
            e.bottom = std::max(e.bottom, ink->bottom);
        }
    }
    for (const DrawOp& op : score.Ops()) {
        const auto ink = InkOf(op);
        if (!ink) continue;
        e.top = std::min(e.top, ink->top);
        e.bottom = std::max(e.bottom, ink->bottom);
        if (IsEndMark(op, score)) e.endMark = true;
        else if (!RunsToEdge(op, score)) e.right = std::max(e.right, ink->right);
    }
    return e;
}

// The score's operations with its right edge moved to `cut`.
std::vector<DrawOp> CutScore(const RecordingCanvas& score, int cut) {
    std::vector<DrawOp> ops = score.Ops();
    for (DrawOp& op : ops) {
        if (IsEndMark(op, score)) {
            op.text.x = cut - kEndMarkInset;
        } else if (RunsToEdge(op, score)) {
            if (op.line.x1 >= score.Width()) op.line.x1 = cut;
            if (op.line.x2 >= score.Width()) op.line.x2 = cut;
        }
    }
    return ops;
}

// ---------------------------------------------------------------------------
// Painting

// The window draws a straight line as whole pixel rows and columns: the row
// of a line at y is y..y+1. A vector page or a scaled picture draws the line
// itself, centred on y, so straight lines are moved to the middle of the
// pixels they fill in the window; everything else is painted as it is.
void PaintAsInWindow(QPainter& painter, const std::vector<DrawOp>& ops) {
    std::vector<DrawOp> straight, rest;
    for (const DrawOp& op : ops) {
        const bool isStraight = op.kind == DrawOp::Kind::Line && (op.line.x1 == op.line.x2 || op.line.y1 == op.line.y2);
        (isStraight ? straight : rest).push_back(op);
    }
    painter.save();
    painter.translate(0.5, 0.5);
    PaintDisplayList(painter, straight);
    painter.restore();
    PaintDisplayList(painter, rest);
}

// ---------------------------------------------------------------------------
// Files

QString WritePdf(const RecordingCanvas& header, const ScoreExportLayout& layout, QIODevice& out) {
    QPdfWriter pdf(&out);
    pdf.setTitle(kExportTitle);
    pdf.setCreator("Tonemark");
    pdf.setResolution(static_cast<int>(kWindowDpi));
    const QSizeF points = QSizeF(layout.area.size()) * (72.0 / kWindowDpi);
    pdf.setPageLayout(QPageLayout(QPageSize(points, QPageSize::Point, kExportTitle, QPageSize::ExactMatch),
                                  QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Point));
    QPainter painter;
    if (!painter.begin(&pdf)) return "the PDF could not be started";
    PaintScoreExport(painter, header, layout);
    if (!painter.end()) return "the PDF could not be finished";
    return {};
}

QString WriteSvg(const RecordingCanvas& header, const ScoreExportLayout& layout, QIODevice& out) {
    QSvgGenerator svg;
    svg.setOutputDevice(&out);
    svg.setTitle(kExportTitle);
    svg.setSize(layout.area.size());
    svg.setViewBox(QRect(QPoint(0, 0), layout.area.size()));
    svg.setResolution(static_cast<int>(kWindowDpi));
    QPainter painter;
    if (!painter.begin(&svg)) return "the SVG could not be started";
    PaintScoreExport(painter, header, layout);
    if (!painter.end()) return "the SVG could not be finished";
    return {};
}

QString WritePng(const RecordingCanvas& header, const ScoreExportLayout& layout, QIODevice& out) {
    QImage image(layout.area.size() * kPngScale, QImage::Format_RGB32);
    if (image.isNull()) return "there is not enough memory for the picture";
    const int dotsPerMeter = qRound(kPngScale * kWindowDpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QPainter painter(&image);
    painter.scale(kPngScale, kPngScale);
    PaintScoreExport(painter, header, layout);
    painter.end();
    if (!image.save(&out, "PNG")) return "the PNG could not be written";
    return {};
}

}  // namespace

ScoreExportLayout LayOutScoreExport(const RecordingCanvas& header, const RecordingCanvas& score) {
    const Extent e = MeasureScore(header, score);
    int cut = static_cast<int>(std::ceil(e.right)) + kRightMargin + (e.endMark ? kEndMarkInset : 0);
    cut = std::min(cut, score.Width());
    const int width = RoundUpToUnit(std::max(kExportScoreLeft + cut, header.Width()));
    const int top = e.top < 0 ? static_cast<int>(std::floor(e.top)) - kOutsideInkMargin : 0;
    const int bottom =
        e.bottom > kExportScoreHeight ? static_cast<int>(std::ceil(e.bottom)) + kOutsideInkMargin : kExportScoreHeight;

    ScoreExportLayout layout;
    layout.area = QRect(0, top, width, RoundUpToUnit(bottom - top));
    layout.scoreWidth = width - kExportScoreLeft;
    layout.scoreOps = CutScore(score, layout.scoreWidth);
    return layout;
}

void PaintScoreExport(QPainter& painter, const RecordingCanvas& header, const ScoreExportLayout& layout) {
    painter.save();
    painter.translate(-layout.area.topLeft());
    painter.fillRect(layout.area, Qt::white);
    painter.save();
    painter.translate(kExportScoreLeft, 0);
    PaintAsInWindow(painter, layout.scoreOps);
    painter.restore();
    // The header box lies over the score's first pixels, as in the window. Its
    // drawing keeps inside the box, so it needs no clipping.
    painter.fillRect(QRect(0, 0, header.Width(), kExportHeaderHeight), Qt::white);
    PaintAsInWindow(painter, header.Ops());
    painter.restore();
}

QString ExportScore(const RecordingCanvas& header, const RecordingCanvas& score, const QString& path) {
    if (header.Ops().empty() && score.Ops().empty()) return "there is no score to export";
    const QString format = QFileInfo(path).suffix().toLower();
    using Writer = QString (*)(const RecordingCanvas&, const ScoreExportLayout&, QIODevice&);
    Writer write = format == "pdf" ? WritePdf : format == "svg" ? WriteSvg : format == "png" ? WritePng : nullptr;
    if (write == nullptr) return "the file name must end in .pdf, .svg or .png";

    // Made in memory first, then put in place all at once.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QString reason = write(header, LayOutScoreExport(header, score), buffer);
    if (!reason.isEmpty()) return reason;
    const QByteArray& bytes = buffer.data();
    return QString::fromStdString(ReplaceFileAtOnce(
        QFile::encodeName(path).toStdString(), std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

}  // namespace tonemark
