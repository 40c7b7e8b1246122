// Bar numbers of the scale score, rendered: for every scale, key and note value
// the program can engrave, each number stands inside the picture at the start
// of its bar, just right of its bar line, and none of its ink touches a note,
// a sign, a ledger line or the staff. The number's ink and everything else are rendered apart, so a touch is
// a dark pixel of the number next to (8-adjacent) a dark pixel of the rest.
#include <gtest/gtest.h>

#include "qt/qt_application.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "keyboard/tempo.h"
#include "score/qt/score_painter.h"
#include "support/fake_synth.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

using testing::EnsureApplication;

constexpr int kInkThreshold = 64;  // darkness (255 - grey) of a dark pixel: a quarter of full black
constexpr int kNoteValueButtons = 4;  // half, quarter, eighth, sixteenth

// The strip rendered round a number: wide enough for the notes on both sides
// of its bar line, and from well above the picture's top edge (y 0) to below
// the top staff line.
constexpr int kStripHalfWidth = 40;
constexpr int kStripTop = -40;
constexpr QSize kStripSize{2 * kStripHalfWidth, 80};
// Texts further than this from the strip cannot reach it.
constexpr int kReach = 64;
// A bar number reads as one when its digits are this tall, and belongs to its
// bar when its ink starts no further than this right of the bar line.
constexpr int kLegibleHeight = 7;
constexpr int kStartOfBar = 6;

bool IsBarNumber(const DrawOp& op) {
    if (op.kind != DrawOp::Kind::Text || op.text.font != "Keep" || op.text.text.empty()) return false;
    return std::all_of(op.text.text.begin(), op.text.text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsDark(const QImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return false;
    return 255 - qGray(image.pixel(x, y)) >= kInkThreshold;
}

// Ink box of an image in its own pixels; right < left when there is none.
struct InkBox {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool Empty() const { return right < left; }
};

InkBox InkOf(const QImage& image) {
    InkBox box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (IsDark(image, x, y)) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

// Dark pixels of `number` with a dark pixel of `rest` on or next to them.
int TouchingPixels(const QImage& number, const QImage& rest) {
    int touching = 0;
    for (int y = 0; y < number.height(); ++y)
        for (int x = 0; x < number.width(); ++x) {
            if (!IsDark(number, x, y)) continue;
            bool touches = false;
            for (int dy = -1; dy <= 1 && !touches; ++dy)
                for (int dx = -1; dx <= 1 && !touches; ++dx) touches = IsDark(rest, x + dx, y + dy);
            if (touches) ++touching;
        }
    return touching;
}

// One bar number rendered with its surroundings, in picture coordinates.
struct NumberInPlace {
    std::string text;
    InkBox number;            // picture pixels
    std::optional<InkBox> bar;  // its bar line's ink; none for the first bar
    int touching = 0;
};

InkBox Shifted(InkBox b, QPoint by) {
    if (b.Empty()) return b;
    return {b.left + by.x(), b.top + by.y(), b.right + by.x(), b.bottom + by.y()};
}

NumberInPlace Examine(const std::vector<DrawOp>& ops, const DrawOp& numberOp) {
    const QPoint origin(numberOp.text.x - kStripHalfWidth, kStripTop);
    std::vector<DrawOp> rest;
    std::optional<DrawOp> barLine;
    for (const DrawOp& op : ops) {
        if (IsBarNumber(op)) continue;
        if (op.kind == DrawOp::Kind::Text && std::abs(op.text.x - numberOp.text.x) > kReach) continue;
        rest.push_back(op);
        // The program prints a bar's line 8 px left of its number.
        if (op.kind == DrawOp::Kind::Text && op.text.text == "|" && op.text.x == numberOp.text.x - 8) barLine = op;
    }
    const QImage number = RenderDisplayList({numberOp}, kStripSize, origin);
    const QImage others = RenderDisplayList(rest, kStripSize, origin);
    NumberInPlace found{numberOp.text.text, Shifted(InkOf(number), origin), std::nullopt,
                        TouchingPixels(number, others)};
    if (barLine) found.bar = Shifted(InkOf(RenderDisplayList({*barLine}, kStripSize, origin)), origin);
    return found;
}

// Everything wrong with one number, empty when it stands as it should.
std::string Faults(const NumberInPlace& n) {
    std::ostringstream out;
    if (n.number.Empty()) return "draws no ink";
    if (n.touching > 0) out << " touches the notes or the staff with " << n.touching << " pixels;";
    if (n.number.top < 0) out << " reaches above the picture (top " << n.number.top << ");";
    if (n.number.bottom >= 32) out << " reaches into the staff (bottom " << n.number.bottom << ");";
    if (n.number.bottom - n.number.top + 1 < kLegibleHeight)
        out << " is " << n.number.bottom - n.number.top + 1 << " px tall, too small to read;";
    if (n.bar && (n.number.left <= n.bar->right || n.number.left > n.bar->right + kStartOfBar))
        out << " stands at x " << n.number.left << ".." << n.number.right << ", not at the start of its bar (line at "
            << n.bar->left << ".." << n.bar->right << ");";
    return out.str();
}

class BarNumbers : public testing::StartedProgram {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    // The score as the program engraves it after the user's three choices.
    void Choose(int entry, int key, int noteValueButton) {
        if (m.ui.List1.listIndex != entry || m.state.ScaleIndex != entry) {
            m.ui.List1.listIndex = entry;
            List1_Click(m);
        }
        if (m.ui.Tonality.value != key) {
            m.ui.Tonality.value = key;
            Tonality_Change(m);
        }
        ValNote_Click(m, noteValueButton);
    }

    // The faults of every bar number of the current score, one line each.
    std::vector<std::string> CheckScore() {
        std::vector<std::string> faults;
        const std::vector<DrawOp>& ops = m.PicScore.Ops();
        for (const DrawOp& op : ops) {
            if (!IsBarNumber(op)) continue;
            const std::string fault = Faults(Examine(ops, op));
            if (!fault.empty()) faults.push_back("bar number " + op.text.text + ":" + fault);
        }
        return faults;
    }
};

std::string Describe(int entry, int key, int noteValueTicks) {
    return kScaleNames[static_cast<std::size_t>(entry)] + " on key " + std::to_string(key) + " in " +
           std::to_string(noteValueTicks) + "-tick notes";
}

// B flat "Modo Lidio": the case in which the numbers were seen standing on the
// heads and ledger lines of the notes after their bar lines.
TEST_F(BarNumbers, ClearTheNotesOfBFlatLydian) {
    for (int value = 0; value < kNoteValueButtons; ++value) {
        Choose(6, 10, value);
        SCOPED_TRACE(Describe(6, 10, m.state.NoteValueTicks));
        for (const std::string& fault : CheckScore()) ADD_FAILURE() << fault;
    }
}

TEST_F(BarNumbers, ClearTheNotesOfEveryScaleKeyAndNoteValue) {
    int numbersSeen = 0, scoresWithBars = 0;
    for (int entry = 0; entry < kTriadsEntry; ++entry) {
        for (int key = 0; key < 12; ++key) {
            for (int value = 0; value < kNoteValueButtons; ++value) {
                Choose(entry, key, value);
                int numbers = 0;
                for (const DrawOp& op : m.PicScore.Ops()) numbers += IsBarNumber(op) ? 1 : 0;
                numbersSeen += numbers;
                scoresWithBars += numbers > 1 ? 1 : 0;
                for (const std::string& fault : CheckScore())
                    ADD_FAILURE() << Describe(entry, key, m.state.NoteValueTicks) << ", " << fault;
            }
        }
    }
    // The sweep really engraved the scores: every one has its first bar's
    // number, and all but the sixteenth-note ones have more bars.
    EXPECT_GE(numbersSeen, kTriadsEntry * 12 * kNoteValueButtons);
    EXPECT_GE(scoresWithBars, kTriadsEntry * 12 * 3);
}

}  // namespace
}  // namespace tonemark
