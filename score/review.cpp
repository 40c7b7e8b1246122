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
constexpr int kFiguresCellHeight = 11;  // the character cell of 7-pt lettering
constexpr double kFigureWidth = 0.62;   // a figure's advance, in ems
constexpr int kFiguresRow = 14;         // between the bar numbers (ink to row 12) and the staff (32)
constexpr int kFiguresClearance = 2;    // above a note's ink
constexpr double kHeadCentreX = 3.7;    // a black head's centre, right of its glyph's origin
constexpr double kScorePoints = 16;
constexpr int kPlayedHeadX = 13;        // beside the head, right of its stem
constexpr int kPlayedHeadWithSignX = 17;
constexpr int kSignBeforeHead = 8;

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

// Where the review writes a note's figures: the row above the staff, or
// higher when the note's ink (its stem) reaches into that row.
int FiguresY(const TextOp& head) {
    int y = kFiguresRow;
    if (const std::optional<InkBox> ink = InkBounds(head))
        y = std::min(y, static_cast<int>(std::floor(ink->top)) - kFiguresClearance - kFiguresCellHeight);
    return std::max(y, 0);
}

int FiguresX(int noteX, const std::string& text) {
    // Figures and signs are alike wide; the minus is one character of three bytes.
    std::size_t characters = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++characters;
    const double width = static_cast<double>(characters) * kFigureWidth * kFiguresPixels;
    return static_cast<int>(std::lround(noteX + kHeadCentreX - width / 2));
}

void OverlayText(RecordingCanvas& score, int x, int y, const std::string& text, const std::string& font,
                 double points, std::uint32_t color) {
    score.Text(x, y, text, font, points);
    score.SetColor(score.Ops().size() - 1, color);
}

// The played pitch of a wrong note, grey, beside the note's head: on its own
// line or space as the engravers place a pitch, with the sign the key needs.
void PlayedHead(RecordingCanvas& score, const MusicModel& model, int noteX, int pitch) {
    const bool flatKey = model.fifths < 0;
    const int placing = IsBlackKey(pitch) && flatKey ? pitch + 1 : pitch;
    const int y = StaffNoteY(placing);
    const Spelling spelled = SpellingAt(y, pitch);
    const char* sign = nullptr;
    if (spelled.alter != KeyAlteration(spelled.step, model.fifths))
        sign = spelled.alter > 0 ? "#" : spelled.alter < 0 ? "b" : "n";
    const int headX = noteX + (sign ? kPlayedHeadWithSignX : kPlayedHeadX);
    if (sign) OverlayText(score, headX - kSignBeforeHead, y, sign, kKeepFont, kScorePoints, kReviewPlayed);
    OverlayText(score, headX, y, kBareHead, kKeepFont, kScorePoints, kReviewPlayed);
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
    // Each engraved note's head operations.
    std::vector<std::vector<std::size_t>> heads(model.notes.size());
    for (std::size_t k = 0; k < score.Ops().size(); ++k) {
        const DrawOp& op = score.Ops()[k];
        if (IsHead(op) && static_cast<std::size_t>(op.note) < heads.size()) heads[op.note].push_back(k);
    }
    std::vector<const ModelNote*> byIndex(model.notes.size(), nullptr);
    for (const ModelNote& n : model.notes)
        if (n.index >= 0 && static_cast<std::size_t>(n.index) < byIndex.size()) byIndex[n.index] = &n;

    score.BeginNote(kOverlayNote);
    for (const NoteResult& r : judged.notes) {
        if (r.verdict == Verdict::Extra || r.idx < 0 || static_cast<std::size_t>(r.idx) >= byIndex.size()) continue;
        const ModelNote* note = byIndex[r.idx];
        const std::vector<std::size_t>& noteHeads = heads[r.idx];
        if (note == nullptr || noteHeads.empty()) continue;  // not in the picture
        const std::uint32_t color = ReviewColor(r.verdict);
        for (std::size_t op : noteHeads) score.SetColor(op, color);
        if (std::isnan(r.onsetErrorMs)) continue;
        const TextOp head = score.Ops()[noteHeads.front()].text;
        const std::string figures = OnsetErrorText(r.onsetErrorMs);
        OverlayText(score, FiguresX(note->x, figures), FiguresY(head), figures, kFiguresFont, kFiguresPoints, color);
        if (r.verdict == Verdict::Wrong && r.playedPitch >= 0) PlayedHead(score, model, note->x, r.playedPitch);
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
