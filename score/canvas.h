// A drawing surface in pixels, x to the right and y downward. Text is placed by
// the top-left corner of its character cell (the text origin) and drawn in a
// logical font by name; glyph_table.h says how those fonts are rendered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tonemark {

struct LineOp {
    int x1, y1, x2, y2;
    std::uint32_t color;
    int width;
    bool operator==(const LineOp&) const = default;
};

struct TextOp {
    int x, y;
    std::string text;
    std::string font;
    double points;
    // The music fonts draw on the score's 8-px staff; a smaller or larger staff
    // scales every glyph, and its place relative to the text origin, by this.
    double staffScale = 1.0;
    // 32-bit colour as everywhere in the program (plain RGB in the low three
    // bytes, red lowest, or a system colour); 0 is black.
    std::uint32_t color = 0;
    bool operator==(const TextOp&) const = default;
};

struct DrawOp {
    enum class Kind { Line, Text } kind;
    LineOp line{};
    TextOp text{};
    // The engraved note (its place in NotePositions) this operation draws a
    // part of, or -1: lets a later drawing pick out one note's head or sign.
    // kOverlayNote marks what is laid over the engraving afterwards.
    int note = -1;
};

// The note of the marks drawn over a finished engraving (the practice
// review): they belong to no note and can be taken off again.
inline constexpr int kOverlayNote = -2;

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void Clear() = 0;
    virtual void Line(int x1, int y1, int x2, int y2, std::uint32_t color = 0, int width = 1) = 0;
    virtual void Text(int x, int y, const std::string& text, const std::string& font, double points) = 0;
    // Text in a music font on a staff `staffScale` times the score's size.
    virtual void ScaledText(int x, int y, const std::string& text, const std::string& font, double points,
                            double staffScale) {
        (void)staffScale;
        Text(x, y, text, font, points);
    }
    virtual int Width() const = 0;
    // Everything drawn from BeginNote until EndNote belongs to engraved note `index`.
    virtual void BeginNote(int index) { (void)index; }
    virtual void EndNote() {}
};

// Keeps every operation in order; the view paints this list, tests read it.
class RecordingCanvas : public Canvas {
public:
    explicit RecordingCanvas(int width = 0) : width_(width) {}
    void Clear() override {
        ops_.clear();
        note_ = -1;
        ++generation_;
    }
    void Line(int x1, int y1, int x2, int y2, std::uint32_t color, int width) override {
        ops_.push_back({DrawOp::Kind::Line, {x1, y1, x2, y2, color, width}, {}, note_});
        ++generation_;
    }
    void Text(int x, int y, const std::string& text, const std::string& font, double points) override {
        ops_.push_back({DrawOp::Kind::Text, {}, {x, y, text, font, points}, note_});
        ++generation_;
    }
    void ScaledText(int x, int y, const std::string& text, const std::string& font, double points,
                    double staffScale) override {
        ops_.push_back({DrawOp::Kind::Text, {}, {x, y, text, font, points, staffScale}, note_});
        ++generation_;
    }
    void BeginNote(int index) override { note_ = index; }
    void EndNote() override { note_ = -1; }
    int Width() const override { return width_; }
    void SetWidth(int width) { width_ = width; }

    const std::vector<DrawOp>& Ops() const { return ops_; }
    // Gives operation `op` (a line or a text) another colour.
    void SetColor(std::size_t op, std::uint32_t color);
    // Takes off every operation drawn for `note`.
    void RemoveNote(int note);
    std::vector<LineOp> Lines() const;
    std::vector<TextOp> Texts() const;
    // Changes whenever the drawing changes, so a view knows when to repaint.
    std::uint64_t Generation() const { return generation_; }

private:
    int width_;
    int note_ = -1;
    std::uint64_t generation_ = 0;
    std::vector<DrawOp> ops_;
};

}  // namespace tonemark
