// Widgets that draw the controls Qt has no ready-made widget for: lamps and
// frames, the keyboard's keys, the picture surfaces and the note-value
// buttons whose captions are music glyphs.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QWidget>
#include <functional>
#include <vector>

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

// A label in its control's colours, with the thin grey border of a value
// display. Colours go through the palette: a style sheet per label would
// make every change of a caption or colour re-style the widget.
class ControlLabel : public QLabel {
public:
    explicit ControlLabel(QWidget* parent);
    void Show(const Control& c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool border_ = false;
};

class KeyWidget : public QWidget {
public:
    // `onPress` gets whether the key went down and the event's timestamp (ms).
    KeyWidget(const Control& c, QWidget* parent, std::function<void(bool down, quint64 stampMs)> onPress);
    void Show(const Control& c);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    Control look_;
    std::function<void(bool, quint64)> onPress_;
};

// Paints the rows of a list whose tab-separated fields stand at fixed tab
// stops (pixels from the list's left edge), like columns under their heads.
class TabStopDelegate : public QStyledItemDelegate {
public:
    TabStopDelegate(std::vector<int> stops, QObject* parent) : QStyledItemDelegate(parent), stops_(std::move(stops)) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    std::vector<int> stops_;
};

// A picture surface: paints a recorded drawing, and for the score the play cursor.
class PictureWidget : public QWidget {
public:
    PictureWidget(const RecordingCanvas& canvas, QWidget* parent);
    void SetCursorLine(const Control* line) { line_ = line; }
    void Follow();  // repaints when the drawing or the cursor changed
    // Input on the picture; a picture with a key handler takes the focus when clicked.
    void OnMousePress(std::function<void(QMouseEvent*)> handler) { onMouse_ = std::move(handler); }
    void OnKeyPress(std::function<bool(QKeyEvent*)> handler);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const RecordingCanvas& canvas_;
    const Control* line_ = nullptr;
    std::function<void(QMouseEvent*)> onMouse_;
    std::function<bool(QKeyEvent*)> onKey_;
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
