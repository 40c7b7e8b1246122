#include "score/scale_score.h"

#include <array>
#include <initializer_list>
#include <string>

#include "music/model_builder.h"
#include "score/glyphs.h"
#include "score/header.h"
#include "score/ledger.h"
#include "score/scale_rules.h"
#include "score/staff.h"
#include "theory/scales.h"

namespace tonemark {

namespace {

constexpr int kColumn = 32;
constexpr double kScorePoints = 16;
constexpr double kEndBarPoints = 20;
constexpr std::array<int, 5> kStaffLineY = {32, 40, 48, 56, 64};

void DrawStaff(Canvas& score) {
    for (int y : kStaffLineY) score.Line(0, y, score.Width(), y, 0, 1);
}

bool IsOneOf(int i, std::initializer_list<int> indices) {
    for (int k : indices)
        if (k == i) return true;
    return false;
}

// The chord name a fifth carries after its root prefix, or nullptr for no fifth.
const char* ChordQuality(int i) {
    if (IsOneOf(i, {2, 11, 14, 23, 32, 35, 44})) return " mag.";
    if (IsOneOf(i, {5, 8, 17, 29, 38, 41})) return " min.";
    if (IsOneOf(i, {20, 26})) return " min. 5b";
    return nullptr;
}

// One run of the note loop: the running column and what the chords carry over.
struct Layout {
    explicit Layout(const MainState& s) : held(s.SharpCount, s.FlatCount) {}
    int x = 0;
    int previousBar = 0;
    std::string rootPrefix;
    HeldSigns held;  // chords have no bars: their signs would hold to the end
};

// Roots and thirds share the fifth's column; the fifth carries the chord name.
void TriadStep(MainState& s, int i, Layout& layout, std::string& glyph) {
    std::string& name = s.NoteEvents[i].NoteName;
    const bool root = i % 3 == 0 && i <= 45;
    const bool third = i % 3 == 1 && i <= 43;
    if (root || third) {
        if (third) layout.x -= kColumn;
        if (s.NoteValueTicks < 384) glyph = "q";
        if (s.NoteValueTicks == 384) glyph = "y";
        if (root) layout.rootPrefix = name.substr(0, 4);
        name.clear();
    } else if (const char* quality = ChordQuality(i)) {
        layout.x -= kColumn;
        name = layout.rootPrefix + quality;
    }
}

void BarLine(Canvas& score, const Layout& layout, int bar) {
    if (bar <= layout.previousBar) return;
    score.Text(layout.x + 16, 32, "|", kKeepFont, kScorePoints);
    score.Text(layout.x + 24, -30, std::to_string(bar + 1), kKeepFont, kScorePoints);
}

// Draws the signs whose flags are set; gives the one drawn last.
ShownAccidental Signs(Canvas& score, int x, int y, bool natural, bool sharp, bool flat) {
    ShownAccidental shown = ShownAccidental::None;
    if (natural) {
        score.Text(x, y, "n", kKeepFont, kScorePoints);
        shown = ShownAccidental::Natural;
    }
    if (sharp) {
        score.Text(x, y, "#", kKeepFont, kScorePoints);
        shown = ShownAccidental::Sharp;
    }
    if (flat) {
        score.Text(x, y, "b", kKeepFont, kScorePoints);
        shown = ShownAccidental::Flat;
    }
    return shown;
}

int LedgerStart(int x, int noteY) { return x + (noteY == 43 ? 26 : 27); }

void EngraveNote(Main& m, int selection, int i, Layout& layout) {
    MainState& s = m.state;
    const TrackNote& note = s.GoodTrack[i];
    const std::string prefix = note.NoteName.substr(0, 4);

    // The written form replaces the stored name only where the key changes it.
    std::string writtenName = note.NoteName;
    int placingNote = KeyNotation(note.NoteNumber, writtenName, s.SharpCount, s.FlatCount);
    if (writtenName != note.NoteName) s.NoteEvents[i].NoteName = writtenName;

    SignFlags signs = ApplyScaleRules(selection, i, prefix, s.SharpCount, s.FlatCount, note.NoteNumber,
                                      placingNote, s.NoteEvents[i].NoteName);
    if (selection != kTriadsEntry && note.Bar > layout.previousBar) layout.held.NewBar();
    signs = layout.held.Settle(note.NoteNumber, placingNote, signs);
    s.DrawNatural = signs.natural;
    s.DrawFlat = signs.flat;

    int pitchClass = 0;
    std::string defaultSign;
    CALCOLONOTA(s, placingNote, pitchClass, defaultSign);

    std::string glyph = selection == kTriadsEntry ? CalcolaDurata(static_cast<double>(s.NoteValueTicks))
                                             : CalcolaDurata(note.DurationText);
    if (selection == kTriadsEntry)
        TriadStep(s, i, layout, glyph);
    else
        BarLine(m.PicScore, layout, note.Bar);

    m.PicScore.BeginNote(i);
    m.PicScore.Text(layout.x + 32, s.NoteY, glyph, kKeepFont, kScorePoints);
    const ShownAccidental shown = Signs(m.PicScore, layout.x + 24, s.NoteY, s.DrawNatural, signs.sharp, s.DrawFlat);
    TAGLI(m.PicScore, s.NoteY, LedgerStart(layout.x, s.NoteY));
    m.PicScore.EndNote();

    layout.x += kColumn;
    AddEngravedNote(m, i, s.NoteY, shown, layout.x);
    layout.previousBar = note.Bar;
    s.NotePositions.resize(i + 1);
    s.NotePositions[i].StartTick = layout.x;
    s.NotePositions[i].TimeMs = s.NoteEvents[i].TimeMs;
}

}  // namespace

void PutInScore(Main& m) {
    MainState& s = m.state;
    if (!s.DeviceReady) return;
    s.NoteY = 0;
    Intestazione(m.Pic2, s);
    StartMusicModel(m, false, DrawnKeyFifths(s));
    DrawStaff(m.PicScore);
    m.platform->RepaintScore();
    m.PicScore.Text(32, -30, "1", kKeepFont, kScorePoints);

    // Every engraved note has its event record (the reader keeps one more).
    if (s.NoteEvents.size() < s.GoodTrack.size()) s.NoteEvents.resize(s.GoodTrack.size());

    Layout layout(s);
    const int noteCount = static_cast<int>(s.GoodTrack.size());
    for (int i = 0; i < noteCount; ++i) EngraveNote(m, m.ui.List1.listIndex, i, layout);

    m.PicScore.Text(layout.x - 6, 40, "u", kSymbolsFont, kEndBarPoints);
    FinishMusicModel(m);
}

}  // namespace tonemark
