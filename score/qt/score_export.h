// The engraved score as a file: the header box and the whole score picture
// side by side as the window shows them unscrolled, painted from the same
// display lists with Bravura, but as wide as the engraving reaches and as tall
// as everything drawn. PDF and SVG are vector drawings; PNG is a picture at
// twice the window's pixels.
#pragma once

#include <QRect>
#include <QString>
#include <vector>

#include "score/canvas.h"

class QPainter;

namespace tonemark {

// Where the window shows the two pictures, in its pixels: the header box
// (92 x 112) at x 0 over the score picture (132 tall) from x 86, tops level.
inline constexpr int kExportHeaderHeight = 112;
inline constexpr int kExportScoreLeft = 86;
inline constexpr int kExportScoreHeight = 132;

// What is exported. `area` is in the window's pixels with the pictures' top at
// y 0: x from 0, y from above 0 where ink stands above the pictures, its width
// and height multiples of 4 (whole points in a PDF). `scoreOps` are the
// score's operations as exported: lines that run to the picture's right edge
// end at `scoreWidth`, and a take's end mark, drawn at the picture's far
// right, stands at that new edge.
struct ScoreExportLayout {
    QRect area;
    int scoreWidth = 0;
    std::vector<DrawOp> scoreOps;
};

ScoreExportLayout LayOutScoreExport(const RecordingCanvas& header, const RecordingCanvas& score);

// Paints the layout with the area's top-left corner at the painter's origin,
// one unit a window pixel, on a white background.
void PaintScoreExport(QPainter& painter, const RecordingCanvas& header, const ScoreExportLayout& layout);

// Writes the score to `path` as PDF, SVG or PNG by the name's extension
// (".pdf", ".svg", ".png", any case). The file appears complete or not at all.
// Returns an empty string on success, else the reason.
QString ExportScore(const RecordingCanvas& header, const RecordingCanvas& score, const QString& path);

}  // namespace tonemark
