#include "score/take_score.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "music/model_builder.h"
#include "score/glyphs.h"
#include "score/header.h"
#include "score/ledger.h"
#include "score/staff.h"

namespace tonemark {

namespace {

constexpr int kColumn = 32;
constexpr double kScorePoints = 16;
constexpr double kLongestUnmarkedGap = 47;  // ticks; a longer gap gets a rest column
constexpr int kRestY = 11;                  // rests stand here whatever the pitch
constexpr std::array<int, 5> kStaffLineY = {32, 40, 48, 56, 64};
constexpr int kNoPitchClass = -1;

void DrawStaff(Canvas& score) {
    for (int y : kStaffLineY) score.Line(0, y, score.Width(), y, 0, 1);
}

// The take's accidentals: a sharp is marked when its pitch class differs from
// the note before; a natural is marked once, right after its own sharp.
class SharpMemory {
public:
    // The sign for the next note ("#", "n" or empty text).
    const char* Sign(int pitchClass, bool sharp) {
        const char* sign = "";
        if (sharp) {
            if (pitchClass != previousPitchClass_) {
                sign = "#";
                cancelled_ = false;
            }
            lastSharp_ = pitchClass;
        } else if (lastSharp_ == pitchClass + 1 && !cancelled_) {
            sign = "n";
            cancelled_ = true;
        }
        previousPitchClass_ = pitchClass;
        return sign;
    }

private:
    int previousPitchClass_ = kNoPitchClass;
    int lastSharp_ = kNoPitchClass;
    bool cancelled_ = false;
};

// One run of the note loop. The running x is 64 bits wide: a 16-bit column
// counter would wrap after about a thousand notes and rests and put later notes
// back over the start of the score. Marks whose glyph would stand beyond the
// picture's width are not drawn at all (no one could see them), but every note
// still gets its true x in NotePositions, so following and stepping through a
// take of any length keep working.
struct TakeLayout {
    std::int64_t x = 0;
    SharpMemory signs;
};

bool InPicture(std::int64_t glyphX, const Canvas& score) { return glyphX <= score.Width(); }

void Rest(Main& m, std::size_t beforeNote, double gap, TakeLayout& layout) {
    Canvas& score = m.PicScore;
    const std::int64_t restX = layout.x + kColumn;
    if (InPicture(restX, score))
        score.Text(static_cast<int>(restX), kRestY, CalcolaPausa(gap), kKeepFont, kScorePoints);
    AddEngravedRest(m, static_cast<int>(beforeNote), gap, static_cast<int>(restX));
    layout.x += kColumn;
}

ShownAccidental ShownFor(const std::string& sign) {
    if (sign == "#") return ShownAccidental::Sharp;
    if (sign == "n") return ShownAccidental::Natural;
    return ShownAccidental::None;
}

void EngraveTakeNote(Main& m, std::size_t i, TakeLayout& layout) {
    MainState& s = m.state;
    Canvas& score = m.PicScore;
    const TrackNote& note = s.GoodTrack[i];

    int pitchClass = 0;
    std::string defaultSign;
    CALCOLONOTA(s, note.NoteNumber, pitchClass, defaultSign);
    if (note.RestBefore > kLongestUnmarkedGap) Rest(m, i, note.RestBefore, layout);

    const std::string sign = layout.signs.Sign(pitchClass, !defaultSign.empty());
    if (InPicture(layout.x + kColumn, score)) {
        const int x = static_cast<int>(layout.x);
        score.BeginNote(static_cast<int>(i));
        score.Text(x + 32, s.NoteY, CalcolaDurata(note.DurationText), kKeepFont, kScorePoints);
        if (!sign.empty()) score.Text(x + 24, s.NoteY, sign, kKeepFont, kScorePoints);
        TAGLI(score, s.NoteY, x + (s.NoteY == 43 ? 26 : 27));
        score.EndNote();
    }

    layout.x += kColumn;
    AddEngravedNote(m, static_cast<int>(i), s.NoteY, ShownFor(sign), static_cast<int>(layout.x));
    s.NotePositions.resize(i + 1);
    s.NotePositions[i].TimeMs = s.NoteEvents[i].TimeMs;
    s.NotePositions[i].StartTick = static_cast<double>(layout.x);
}

// The end mark at the far right of the picture and the stroke that opens the staff.
void EndMarks(Canvas& score) {
    score.Text(score.Width() - 8, 33, "\\", kKeepFont, kScorePoints);
    score.Text(-3, 32, "|", kKeepFont, kScorePoints);
    score.Text(0, 32, "|", kKeepFont, kScorePoints);
}

}  // namespace

namespace {

// Where the one voice the score reads ends a note. A note played legato, held
// on after the next one began (as from a MIDI keyboard), is never closed in
// that voice: the next note's release closes the next note. It then ends
// where the next note begins, or at its own release if that comes first,
// instead of being left without a length and so without a head.
double OneVoiceEnd(const MainState& s, std::size_t i) {
    const NoteEvent& event = s.NoteEvents[i];
    const bool realNext = i + 2 < s.NoteEvents.size();
    if (event.EndTick != 0 || event.OffTick < 0 || !realNext) return event.EndTick;
    const double nextStart = s.NoteEvents[i + 1].StartTick;
    if (nextStart <= event.StartTick) return event.EndTick;  // struck together: read as before
    return std::min(event.OffTick, nextStart);
}

}  // namespace

// The first note's gap is its own start tick; an overlap counts as a gap of
// its size. The spare last element is included, so GoodTrack ends with one
// element more than there are notes.
void AggiornaBuona2(MainState& s) {
    double previousEnd = 0;
    int restCount = 0;
    for (std::size_t i = 0; i < s.NoteEvents.size(); ++i) {
        s.GoodTrack.resize(i + 1);
        const NoteEvent& event = s.NoteEvents[i];
        TrackNote& note = s.GoodTrack[i];
        const double gap = std::fabs(event.StartTick - previousEnd);
        const double end = OneVoiceEnd(s, i);
        previousEnd = end;
        note.NoteNumber = event.NoteNumber;
        note.DurationText = WholeNumberText(end - event.StartTick);
        note.RestBefore = gap;
        if (gap > kLongestUnmarkedGap) ++restCount;
        note.RestCount = static_cast<std::int16_t>(restCount);
    }
}

void PutInScore2(Main& m) {
    MainState& s = m.state;
    if (!s.DeviceReady) return;
    s.NoteY = 0;
    Intestazione(m.Pic2, s);
    StartMusicModel(m, true, DrawnKeyFifths(s));
    AggiornaBuona2(s);
    m.PicScore.Clear();
    DrawStaff(m.PicScore);

    // The last element of GoodTrack is the spare, not a note.
    TakeLayout layout;
    const std::size_t elements = std::min(s.GoodTrack.size(), s.NoteEvents.size());
    for (std::size_t i = 0; i + 1 < elements; ++i) EngraveTakeNote(m, i, layout);

    EndMarks(m.PicScore);
    FinishMusicModel(m);
}

}  // namespace tonemark
