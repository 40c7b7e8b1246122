// Widgets that draw the controls Qt has no ready-made widget for: lamps and
// frames, the keyboard's keys, the picture surfaces and the note-value
// buttons whose captions are music glyphs.
#pragma once

#include <QPushButton>
#include <QWidget>
#include <functional>

#include "app/controls.h"
#include "score/canvas.h"

namespace tonemark {

class ShapeWidget : public QWidget {
public:
    ShapeWidget(const Control& c, QWidget* parent);
    void Show(const Control& c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Control look_;
};

class KeyWidget : public QWidget {
public:
    KeyWidget(const Control& c, QWidget* parent, std::function<void(bool down)> onPress);
    void Show(const Control& c);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    Control look_;
    std::function<void(bool)> onPress_;
};

// A picture surface: paints a recorded drawing, and for the score the play cursor.
class PictureWidget : public QWidget {
public:
    PictureWidget(const RecordingCanvas& canvas, QWidget* parent);
    void SetCursorLine(const Control* line) { line_ = line; }
    void Follow();  // repaints when the drawing or the cursor changed

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const RecordingCanvas& canvas_;
    const Control* line_ = nullptr;
    std::uint64_t paintedGeneration_ = ~0ull;
    Control paintedLine_;
};

// A push button whose caption is a glyph of the music font.
class GlyphButton : public QPushButton {
public:
    GlyphButton(const Control& c, QWidget* parent);
    void SetGlyph(const std::string& text, double points);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string glyph_;
    double points_ = 15.75;
};

}  // namespace tonemark
