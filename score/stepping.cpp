#include "score/stepping.h"

#include <cmath>

#include "app/lifecycle.h"
#include "keyboard/keys.h"
#include "practice/session.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr int kColumn = 32;
constexpr int kPageWidth = 576;
constexpr int kScoreLeftEdge = 86;

// The last note's index (the note array ends with a spare element).
int LastNote(const MainState& s) { return static_cast<int>(s.NoteEvents.size()) - 2; }

bool TriadsShown(const Main& m) { return m.ui.List1.listIndex == kTriadsEntry; }

int NoteX(const MainState& s, int i) {
    if (i < 0 || i >= static_cast<int>(s.NotePositions.size())) return 0;
    return static_cast<int>(s.NotePositions[static_cast<std::size_t>(i)].StartTick);
}

void SoundNote(Main& m, int note) {
    if (m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, 0, 144, note, 100);
}

void MarkAt(Main& m, int x, const std::string& name) {
    m.ui.LabNote.caption = name;
    m.ui.LabNote.rect.left = x;
    m.ui.Line1.x1 = m.ui.Line1.x2 = x;
}

void SelectEventRow(Main& m, int row) {
    m.ui.List2.listIndex = row >= 0 && row < static_cast<int>(m.ui.List2.rows.size()) ? row : -1;
}

// The three notes of chord `chord` sound together; the chord's name (which
// the engraving keeps in its fifth) stands under it. False when the chord is
// not all there.
bool PresentChord(Main& m, int firstNote) {
    const MainState& s = m.state;
    if (firstNote < 0 || firstNote + 2 > LastNote(s)) return false;
    RestoreKeyColors(m);
    for (int i = firstNote; i <= firstNote + 2; ++i) LightKeyOfNote(m, s.NoteEvents[static_cast<std::size_t>(i)].NoteNumber);
    for (int i = firstNote; i <= firstNote + 2; ++i) SoundNote(m, s.NoteEvents[static_cast<std::size_t>(i)].NoteNumber);
    MarkAt(m, NoteX(s, firstNote), s.NoteEvents[static_cast<std::size_t>(firstNote) + 2].NoteName);
    m.ui.Timer2.enabled = true;
    return true;
}

// Note S sounds first; then its name, the cursor on the note as drawn, the lit key.
void PresentNote(Main& m, int S) {
    const MainState& s = m.state;
    const NoteEvent& note = s.NoteEvents[static_cast<std::size_t>(S)];
    SoundNote(m, note.NoteNumber);
    m.ui.Timer2.enabled = true;
    MarkAt(m, NoteX(s, S), note.NoteName);
}

void LightOnly(Main& m, int note) {
    RestoreKeyColors(m);
    LightKeyOfNote(m, note);
}

// While a take is shown the score slides so that the chosen note stands near
// the left of the view, unless the note stepped from was at a page's edge.
void ScrollTakeTo(Main& m, int S) {
    if (m.ui.Labella.caption.find("Recorded") == std::string::npos) return;
    const MainState& s = m.state;
    const int last = static_cast<int>(s.NotePositions.size()) - 1;
    if (last < 0) return;
    const int from = std::min(std::max(s.FollowIndex, 0), last);
    const long M = std::lrint(static_cast<double>(NoteX(s, from))) % kPageWidth;
    if (M > kScoreLeftEdge && M < 500) m.ui.PicScore.rect.left = kScoreLeftEdge - (NoteX(s, S) - kColumn);
}

// The note whose glyph stands in the 32-pixel column at x, if any; else the
// last note drawn left of that column (-1 if none) and false.
std::pair<int, bool> NoteInColumnAt(const MainState& s, int x) {
    const int columnLeft = (x / kColumn) * kColumn;
    int before = -1;
    const int notes = std::min(static_cast<int>(s.NotePositions.size()), LastNote(s) + 1);
    for (int i = 0; i < notes; ++i) {
        const int noteX = NoteX(s, i);
        if (noteX >= columnLeft && noteX < columnLeft + kColumn) return {i, true};
        if (noteX < columnLeft) before = i;
    }
    return {before, false};
}

}  // namespace

void PicScore_KeyDown(Main& m, int keyCode, int /*shift*/) {
    MainState& s = m.state;
    if (!s.DeviceReady) return;
    const int last = LastNote(s);
    if (keyCode == kKeyRightArrow) {
        s.SelectedNote = std::min(s.SelectedNote + 1, last);
        if (s.ScaleIndex == kTriadsEntry && 3 * s.SelectedNote > last) s.SelectedNote = last / 3;
    } else if (keyCode == kKeyLeftArrow) {
        s.SelectedNote = std::max(s.SelectedNote - 1, 0);
    } else {
        return;
    }
    AggiornaScore(m);
    s.FollowIndex = std::max(s.SelectedNote, 0);
}

void AggiornaScore(Main& m) {
    const MainState& s = m.state;
    const int S = s.SelectedNote;
    const int last = LastNote(s);
    if (S < 0 || S > last) return;
    if (TriadsShown(m)) {
        if (!PresentChord(m, std::min(3 * S, last))) return;
        SelectEventRow(m, S == 0 ? 2 : 6 * S);
        return;
    }
    PresentNote(m, S);
    ScrollTakeTo(m, S);
    LightOnly(m, s.NoteEvents[static_cast<std::size_t>(S)].NoteNumber);
    SelectEventRow(m, 2 * S);
}

void PicScore_MouseDown(Main& m, int /*button*/, int /*shift*/, int x, int /*y*/) {
    MainState& s = m.state;
    s.SelectedNote = static_cast<int>(std::floor(x / static_cast<double>(kColumn))) - 1;
    if (!s.DeviceReady) return;
    const int last = LastNote(s);
    if (TriadsShown(m)) {
        if (s.SelectedNote >= 0 && s.SelectedNote <= last && PresentChord(m, 3 * s.SelectedNote))
            PracticeReviewClick(m, 3 * s.SelectedNote);
        return;
    }
    // Rest columns stand between a take's notes: a click presents the note
    // drawn in its column; a rest column presents nothing and leaves the
    // selection on the note before it, so that Right goes to the note after.
    // Right of the last note the column itself stays selected.
    const auto [note, inColumn] = NoteInColumnAt(s, x);
    if (!inColumn) {
        if (note < last) s.SelectedNote = note;
        return;
    }
    s.SelectedNote = note;
    PresentNote(m, note);
    LightOnly(m, s.NoteEvents[static_cast<std::size_t>(note)].NoteNumber);
    // After a practice pass the note's figures are in its review.
    PracticeReviewClick(m, note);
}

}  // namespace tonemark
