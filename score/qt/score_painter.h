// Paints a recorded display list with QPainter: lines, texts in the logical
// music fonts drawn with Bravura as glyph_table.h places them, and texts in
// any other font as ordinary lettering in that font.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QSize>
#include <vector>

#include "score/canvas.h"

namespace tonemark {

// A display-list colour: plain RGB (R + 256 G + 65536 B) or, high bit set, a
// system colour: 5 window background = white, 8 window text = black; other
// references are drawn black.
QColor DisplayListColor(std::uint32_t color);

void PaintDisplayList(QPainter& painter, const std::vector<DrawOp>& ops);

// The display list drawn on a white image of `size`; `origin` is the point of
// the list that lands on the image's top-left pixel (a scrolled view).
QImage RenderDisplayList(const std::vector<DrawOp>& ops, QSize size, QPoint origin = {0, 0});

}  // namespace tonemark
