#include "score/canvas.h"

#include <algorithm>

namespace tonemark {

std::vector<LineOp> RecordingCanvas::Lines() const {
    std::vector<LineOp> out;
    for (const DrawOp& op : ops_)
        if (op.kind == DrawOp::Kind::Line) out.push_back(op.line);
    return out;
}

void RecordingCanvas::SetColor(std::size_t op, std::uint32_t color) {
    if (op >= ops_.size()) return;
    DrawOp& d = ops_[op];
    std::uint32_t& target = d.kind == DrawOp::Kind::Line ? d.line.color : d.text.color;
    if (target == color) return;
    target = color;
    ++generation_;
}

void RecordingCanvas::RemoveNote(int note) {
    const auto gone = std::remove_if(ops_.begin(), ops_.end(), [note](const DrawOp& op) { return op.note == note; });
    if (gone == ops_.end()) return;
    ops_.erase(gone, ops_.end());
    ++generation_;
}

std::vector<TextOp> RecordingCanvas::Texts() const {
    std::vector<TextOp> out;
    for (const DrawOp& op : ops_)
        if (op.kind == DrawOp::Kind::Text) out.push_back(op.text);
    return out;
}

}  // namespace tonemark
