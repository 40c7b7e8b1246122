#include "score/review.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "score/glyph_table.h"
#include "score/glyphs.h"
#include "score/staff.h"

namespace tonemark {

namespace {

using practice::NoteResult;
using practice::Verdict;

constexpr char kFiguresFont[] = "Sans";
constexpr double kFiguresPoints = 7;
constexpr double kFiguresPixels = kFiguresPoints * 96.0 / 72.0;
constexpr double kDigitWidth = 0.64;  // advances in ems of a sans-serif face
constexpr double kSignWidth = 0.84;   // "+", and the minus
constexpr int kFiguresInkBottom = 9;
// Rows, as text origins (the figures' ink runs from 2 to 9 px below it): the
// row between the bar numbers (ink to row 12) and the staff's top line (32),
// or higher for a high note, so that the ink ends a pixel above its head
// (33.5 px below the head's origin) or above its sign (a flat reaches 25.6 px
// below it).
constexpr int kFiguresRow = 14;
constexpr int kFiguresAboveHead = 23;
constexpr int kFiguresAboveSign = 15;
// Figures centre over the head, unless the stem (at the head's right, from 9
// px right of its origin) reaches up to their row: then they end 2 px left of it.
constexpr int kFiguresRightEdge = 7;
constexpr double kHeadCentreX = 3.7;
constexpr double kScorePoints = 16;
// The played pitch is a cue-sized head (and sign) right of the stem, clear of
// it by a pixel: head ink from 12 px right of the note's origin, or the sign's
// from there and the head after it.
constexpr double kCueScale = 0.75;
constexpr int kPlayedHeadX = 13;
constexpr int kPlayedSignX = 13;
constexpr int kPlayedHeadAfterSignX = 19;
constexpr double kHeadDrop = 37;  // a head's centre below its text origin, at full size

bool IsSign(const std::string& text) { return text == "#" || text == "b" || text == "n"; }

bool IsHead(const DrawOp& op) {
    return op.kind == DrawOp::Kind::Text && op.note >= 0 && op.text.font == kKeepFont && !IsSign(op.text.text);
}

// The alteration the key signature gives a step.
int KeyAlteration(char step, int fifths) {
    constexpr std::string_view kSharpOrder = "FCGDAEB";
    constexpr std::string_view kFlatOrder = "BEADGCF";
    if (fifths > 0 && kSharpOrder.find(step) < static_cast<std::size_t>(fifths)) return 1;
    if (fifths < 0 && kFlatOrder.find(step) < static_cast<std::size_t>(-fifths)) return -1;
    return 0;
}

bool IsBlackKey(int pitch) {
    constexpr std::array<bool, 12> kBlack = {false, true, false, true, false, false,
                                             true,  false, true, false, true, false};
    return kBlack[static_cast<std::size_t>(((pitch % 12) + 12) % 12)];
}

// What the engraving drew for one note.
struct Engraved {
    std::vector<std::size_t> heads;  // operations
    bool sign = false;
};

double FiguresWidth(const std::string& text) {
    double ems = 0;
    for (unsigned char c : text) {
        if (c >= '0' && c <= '9') ems += kDigitWidth;
        else if (c == '+' || c == 0xE2) ems += kSignWidth;  // 0xE2 starts the three bytes of the minus
    }
    return ems * kFiguresPixels;
}

void OverlayText(RecordingCanvas& score, int x, int y, const std::string& text, const std::string& font,
                 double points, std::uint32_t color, double staffScale = 1.0) {
    score.ScaledText(x, y, text, font, points, staffScale);
    score.SetColor(score.Ops().size() - 1, color);
}

// The figures of a column above its head: `head` the head's operation (the
// highest head of a chord), `signed_` whether a sign stands beside it.
void Figures(RecordingCanvas& score, int noteX, const TextOp& head, bool signed_, const std::string& text,
             std::uint32_t color) {
    const int y = std::max(0, std::min(kFiguresRow, head.y + (signed_ ? kFiguresAboveSign : kFiguresAboveHead)));
    const std::optional<InkBox> ink = InkBounds(head);
    const bool stemInTheWay = ink && ink->top < y + kFiguresInkBottom + 1;
    const double width = FiguresWidth(text);
    const double x = stemInTheWay ? noteX + kFiguresRightEdge - width : noteX + kHeadCentreX - width / 2;
    OverlayText(score, static_cast<int>(std::lround(x)), y, text, kFiguresFont, kFiguresPoints, color);
}

// The played pitch of a wrong note, grey and cue-sized, beside the note's
// head: on its own line or space as the engravers place a pitch, with the
// sign the key needs.
void PlayedHead(RecordingCanvas& score, const MusicModel& model, int noteX, int pitch) {
    const bool flatKey = model.fifths < 0;
    const int placing = IsBlackKey(pitch) && flatKey ? pitch + 1 : pitch;
    const int y = StaffNoteY(placing);
    const Spelling spelled = SpellingAt(y, pitch);
    const char* sign = nullptr;
    if (spelled.alter != KeyAlteration(spelled.step, model.fifths))
        sign = spelled.alter > 0 ? "#" : spelled.alter < 0 ? "b" : "n";
    // A cue-sized glyph hangs from its origin by less: the origin moves down
    // so that the head stays centred on its place.
    const int cueY = y + static_cast<int>(std::lround(kHeadDrop * (1 - kCueScale)));
    if (sign) OverlayText(score, noteX + kPlayedSignX, cueY, sign, kKeepFont, kScorePoints, kReviewPlayed, kCueScale);
    OverlayText(score, noteX + (sign ? kPlayedHeadAfterSignX : kPlayedHeadX), cueY, kBareHead, kKeepFont,
                kScorePoints, kReviewPlayed, kCueScale);
}

std::string Rounded(double value) { return std::to_string(static_cast<long>(std::lround(value))); }

}  // namespace

std::uint32_t ReviewColor(Verdict v) {
    switch (v) {
        case Verdict::OnTime: return kReviewOnTime;
        case Verdict::Early:
        case Verdict::Late: return kReviewOffTime;
        case Verdict::Wrong: return kReviewWrong;
        case Verdict::Missed: return kReviewMissed;
        case Verdict::Extra: break;
    }
    return 0;
}

void ClearPracticeReview(RecordingCanvas& score) {
    score.RemoveNote(kOverlayNote);
    for (std::size_t k = 0; k < score.Ops().size(); ++k)
        if (IsHead(score.Ops()[k])) score.SetColor(k, 0);
}

void DrawPracticeReview(RecordingCanvas& score, const MusicModel& model, const practice::PassJudgement& judged) {
    ClearPracticeReview(score);
    std::vector<Engraved> engraved(model.notes.size());
    for (std::size_t k = 0; k < score.Ops().size(); ++k) {
        const DrawOp& op = score.Ops()[k];
        if (op.kind != DrawOp::Kind::Text || op.note < 0 || static_cast<std::size_t>(op.note) >= engraved.size())
            continue;
        if (IsHead(op)) engraved[op.note].heads.push_back(k);
        if (IsSign(op.text.text)) engraved[op.note].sign = true;
    }
    std::vector<const ModelNote*> byIndex(model.notes.size(), nullptr);
    for (const ModelNote& n : model.notes)
        if (n.index >= 0 && static_cast<std::size_t>(n.index) < byIndex.size()) byIndex[n.index] = &n;

    // One column per lone note or chord, in the order of the results.
    struct Column {
        const ModelNote* top = nullptr;  // the highest head shown
        double errorMs = NAN;            // the strike's: the earliest of its right notes, else of any played
        bool right = false;
        std::uint32_t color = 0;
    };
    std::vector<Column> columns;
    std::vector<int> columnOfChord;
    score.BeginNote(kOverlayNote);
    for (const NoteResult& r : judged.notes) {
        if (r.verdict == Verdict::Extra || r.idx < 0 || static_cast<std::size_t>(r.idx) >= byIndex.size()) continue;
        const ModelNote* note = byIndex[r.idx];
        const Engraved& drawn = engraved[r.idx];
        if (note == nullptr || drawn.heads.empty()) continue;  // not in the picture
        const std::uint32_t color = ReviewColor(r.verdict);
        for (std::size_t op : drawn.heads) score.SetColor(op, color);
        if (r.verdict == Verdict::Wrong && r.playedPitch >= 0) PlayedHead(score, model, note->x, r.playedPitch);

        Column* column = nullptr;
        if (note->chord >= 0) {
            if (static_cast<std::size_t>(note->chord) >= columnOfChord.size()) columnOfChord.resize(note->chord + 1, -1);
            int& c = columnOfChord[note->chord];
            if (c < 0) {
                c = static_cast<int>(columns.size());
                columns.emplace_back();
            }
            column = &columns[c];
        } else {
            columns.emplace_back();
            column = &columns.back();
        }
        const TextOp& head = score.Ops()[drawn.heads.front()].text;
        if (column->top == nullptr || head.y < score.Ops()[engraved[column->top->index].heads.front()].text.y)
            column->top = note;
        if (std::isnan(r.onsetErrorMs)) continue;
        const bool right = r.verdict != Verdict::Wrong;
        if (std::isnan(column->errorMs) || (right && !column->right) ||
            (right == column->right && r.onsetErrorMs < column->errorMs)) {
            column->errorMs = r.onsetErrorMs;
            column->right = right;
            column->color = color;
        }
    }
    for (const Column& c : columns) {
        if (c.top == nullptr || std::isnan(c.errorMs)) continue;
        const Engraved& drawn = engraved[c.top->index];
        Figures(score, c.top->x, score.Ops()[drawn.heads.front()].text, drawn.sign, OnsetErrorText(c.errorMs), c.color);
    }
    score.EndNote();
}

std::string OnsetErrorText(double errorMs) {
    const long ms = std::lround(errorMs);
    if (ms > 0) return "+" + std::to_string(ms);
    if (ms < 0) return "\xE2\x88\x92" + std::to_string(-ms);
    return "0";
}

std::string PitchName(int pitch, int fifths) {
    constexpr std::array<const char*, 12> kSharps = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    constexpr std::array<const char*, 12> kFlats = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};
    const int octave = (pitch >= 0 ? pitch / 12 : (pitch - 11) / 12) - 1;
    const std::size_t pc = static_cast<std::size_t>(pitch - 12 * (octave + 1));
    return std::string(fifths < 0 ? kFlats[pc] : kSharps[pc]) + std::to_string(octave);
}

std::string NoteReviewText(const NoteResult& note, int fifths) {
    std::string out;
    const std::string expected = PitchName(note.expectedPitch, fifths);
    if (note.verdict == Verdict::Extra) {
        out = "Extra " + PitchName(note.playedPitch, fifths) + " near note " + std::to_string(note.idx + 1);
        if (note.expectedPitch >= 0) out += ", " + expected;
        if (!std::isnan(note.onsetErrorMs)) out += ": " + OnsetErrorText(note.onsetErrorMs) + " ms";
    } else {
        out = "Note " + std::to_string(note.idx + 1) + ", " + expected + ": " + practice::VerdictText(note.verdict);
        if (note.verdict == Verdict::Missed) return out;
        if (note.verdict == Verdict::Wrong) out += ", played " + PitchName(note.playedPitch, fifths);
        if (!std::isnan(note.onsetErrorMs)) out += " " + OnsetErrorText(note.onsetErrorMs) + " ms";
    }
    if (!std::isnan(note.heldFraction) && note.verdict != Verdict::Extra)
        out += ", held " + Rounded(note.heldFraction * 100) + " %";
    if (note.velocity > 0) out += ", velocity " + std::to_string(note.velocity);
    return out;
}

}  // namespace tonemark
