#include "score/canvas.h"

namespace tonemark {

std::vector<LineOp> RecordingCanvas::Lines() const {
    std::vector<LineOp> out;
    for (const DrawOp& op : ops_)
        if (op.kind == DrawOp::Kind::Line) out.push_back(op.line);
    return out;
}

std::vector<TextOp> RecordingCanvas::Texts() const {
    std::vector<TextOp> out;
    for (const DrawOp& op : ops_)
        if (op.kind == DrawOp::Kind::Text) out.push_back(op.text);
    return out;
}

}  // namespace tonemark
