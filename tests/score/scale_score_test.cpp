#include "score/scale_score.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "score/staff.h"

namespace tonemark {
namespace {

constexpr double kMsPerTick = 500.0 / 192;
const std::vector<int> kMajorSteps = {0, 2, 4, 5, 7, 9, 11, 12, 11, 9, 7, 5, 4, 2, 0};

class CountingPlatform : public Platform {
public:
    void RepaintScore() override { ++repaints; }
    int repaints = 0;
};

int NotesPerBar(int noteValueTicks) { return noteValueTicks > 0 ? 768 / noteValueTicks : 0; }

void AddNote(MainState& s, int note, double startTick, double endTick, int bar) {
    NoteEvent e;
    e.NoteNumber = static_cast<std::int16_t>(note);
    e.NoteName = PitchNames[note % 12];
    e.StartTick = startTick;
    e.EndTick = endTick;
    e.TimeMs = startTick * kMsPerTick;
    s.NoteEvents.back() = e;
    s.NoteEvents.emplace_back();  // the spare element the reader keeps
    TrackNote t;
    t.NoteName = e.NoteName;
    t.NoteNumber = e.NoteNumber;
    t.DurationText = std::to_string(static_cast<long>(endTick - startTick));
    t.Bar = static_cast<std::int16_t>(bar);
    s.GoodTrack.push_back(t);
}

// A generated scale as it reads back from its file: every note lasts the note
// value but the last, which lasts a half note.
void LoadScale(Main& m, int selection, const std::vector<int>& steps, int root, int noteValueTicks,
               int sharps = 0, int flats = 0) {
    MainState& s = m.state;
    s.DeviceReady = true;
    s.NoteValueTicks = static_cast<std::int16_t>(noteValueTicks);
    s.SharpCount = static_cast<std::int16_t>(sharps);
    s.FlatCount = static_cast<std::int16_t>(flats);
    s.TimeSigNumerator = s.TimeSigDenominator = 4;
    s.NoteEvents.assign(1, {});
    s.GoodTrack.clear();
    m.ui.List1.listIndex = selection;
    double tick = 0;
    const int last = static_cast<int>(steps.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        const double length = i == last ? 384 : noteValueTicks;
        AddNote(s, 60 + root + steps[i], tick, tick + length, i / NotesPerBar(noteValueTicks));
        tick += length;
    }
}

// Chords on the degrees of the major scale: three notes started together, only
// the fifth closed (the reader gives the root and third no end tick).
void LoadTriads(Main& m, int root, int noteValueTicks, int sharps = 0, int flats = 0) {
    MainState& s = m.state;
    LoadScale(m, 14, {}, root, noteValueTicks, sharps, flats);
    const std::set<int> minor = {1, 2, 5, 9, 12, 13}, diminished = {6, 8};
    double tick = 0;
    int note = 0;
    for (int step = 0; step < 15; ++step) {
        const int r = 60 + root + kMajorSteps[step];
        const int third = minor.count(step) || diminished.count(step) ? 3 : 4;
        const int fifth = diminished.count(step) ? 6 : 7;
        const double length = step == 14 ? 384 : noteValueTicks;
        const int perBar = NotesPerBar(noteValueTicks);
        AddNote(s, r, tick, 0, note++ / perBar);
        AddNote(s, r + third, tick, 0, note++ / perBar);
        AddNote(s, r + fifth, tick, tick + length, note++ / perBar);
        tick += length;
    }
}

std::string Describe(const TextOp& t) {
    std::string d = "'" + t.text + "' " + std::to_string(t.x) + "," + std::to_string(t.y);
    if (t.font != "Keep" || t.points != 16) d += " " + t.font + " " + std::to_string(int(t.points));
    return d;
}

std::vector<std::string> ScoreTexts(const Main& m) {
    std::vector<std::string> out;
    for (const TextOp& t : m.PicScore.Texts()) out.push_back(Describe(t));
    return out;
}

std::vector<LineOp> LedgerLines(const Main& m) {
    const std::vector<LineOp> all = m.PicScore.Lines();
    return {all.begin() + 5, all.end()};
}

std::string Glyph(const std::string& text, int x, int y) {
    return "'" + text + "' " + std::to_string(x) + "," + std::to_string(y);
}

int NoteY(int note) {
    MainState s;
    int pc = 0;
    std::string sign;
    CALCOLONOTA(s, note, pc, sign);
    return s.NoteY;
}

TEST(ScaleScore, MajorScaleInCQuarterNotes) {
    Main m;
    CountingPlatform platform;
    m.platform = &platform;
    LoadScale(m, 0, kMajorSteps, 0, 192);
    PutInScore(m);

    std::vector<std::string> expected = {"'1' 32,-30"};
    for (int k = 0; k < 15; ++k) {
        const int x = 32 * (k + 1);
        if (k > 0 && k % 4 == 0) {
            expected.push_back(Glyph("|", x - 16, 32));
            expected.push_back(Glyph(std::to_string(k / 4 + 1), x - 8, -30));
        }
        expected.push_back(Glyph(k == 14 ? "h" : "q", x, NoteY(60 + kMajorSteps[k])));
    }
    expected.push_back("'u' 474,40 MusicalSymbols 20");
    EXPECT_EQ(ScoreTexts(m), expected);

    const std::vector<LineOp> lines = m.PicScore.Lines();
    ASSERT_EQ(lines.size(), 7u);
    const int staff[] = {32, 40, 48, 56, 64};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(lines[i], (LineOp{0, staff[i], m.PicScore.Width(), staff[i], 0, 1}));
    EXPECT_EQ(lines[5], (LineOp{27, 71, 43, 71, 0, 1}));
    EXPECT_EQ(lines[6], (LineOp{475, 71, 491, 71, 0, 1}));

    ASSERT_EQ(m.state.NotePositions.size(), 15u);
    for (int k = 0; k < 15; ++k) {
        EXPECT_EQ(m.state.NotePositions[k].StartTick, 32 * (k + 1));
        EXPECT_EQ(m.state.NotePositions[k].TimeMs, m.state.NoteEvents[k].TimeMs);
    }
    EXPECT_EQ(m.state.NoteY, 35);
    EXPECT_EQ(platform.repaints, 1);
    ASSERT_FALSE(m.Pic2.Texts().empty());
    EXPECT_EQ(m.Pic2.Texts()[0].text, "&");
}

TEST(ScaleScore, HalfNotesPutABarLineBeforeEverySecondNote) {
    Main m;
    LoadScale(m, 0, kMajorSteps, 0, 384);
    PutInScore(m);
    std::vector<std::string> bars;
    for (const TextOp& t : m.PicScore.Texts())
        if (t.text == "|" || (t.y == -30 && t.x != 32)) bars.push_back(Describe(t));
    std::vector<std::string> expected;
    for (int k = 2; k <= 14; k += 2) {
        expected.push_back(Glyph("|", 32 * (k + 1) - 16, 32));
        expected.push_back(Glyph(std::to_string(k / 2 + 1), 32 * (k + 1) - 8, -30));
    }
    EXPECT_EQ(bars, expected);
    EXPECT_EQ(m.PicScore.Texts()[1].text, "h");
}

TEST(ScaleScore, NothingWithoutAReadyDevice) {
    Main m;
    CountingPlatform platform;
    m.platform = &platform;
    LoadScale(m, 0, kMajorSteps, 0, 192);
    m.state.DeviceReady = false;
    m.state.NoteY = 17;
    m.state.NotePositions.resize(3);
    PutInScore(m);
    EXPECT_TRUE(m.PicScore.Ops().empty());
    EXPECT_TRUE(m.Pic2.Ops().empty());
    EXPECT_EQ(m.state.NotePositions.size(), 3u);
    EXPECT_EQ(m.state.NoteY, 17);
    EXPECT_EQ(platform.repaints, 0);
}

TEST(ScaleScore, TriadsInCShareOneColumnPerChord) {
    Main m;
    LoadTriads(m, 0, 192);
    PutInScore(m);
    const std::vector<std::string> roots = {"DO", "RE", "MI", "FA", "SOL", "LA", "SI", "DO",
                                            "SI", "LA", "SOL", "FA", "MI", "RE", "DO"};
    const std::vector<std::string> kinds = {" mag.", " min.", " min.",    " mag.", " mag.",
                                            " min.", " min. 5b", " mag.", " min. 5b", " min.",
                                            " mag.", " mag.", " min.",    " min.", " mag."};
    std::vector<std::string> expected = {"'1' 32,-30"};
    for (int k = 0; k < 15; ++k)
        for (int n = 0; n < 3; ++n)
            expected.push_back(Glyph("q", 32 * (k + 1), NoteY(m.state.GoodTrack[3 * k + n].NoteNumber)));
    expected.push_back("'u' 474,40 MusicalSymbols 20");
    EXPECT_EQ(ScoreTexts(m), expected);

    ASSERT_EQ(m.state.NotePositions.size(), 45u);
    for (int k = 0; k < 15; ++k) {
        EXPECT_EQ(m.state.NoteEvents[3 * k].NoteName, "") << k;
        EXPECT_EQ(m.state.NoteEvents[3 * k + 1].NoteName, "") << k;
        EXPECT_EQ(m.state.NoteEvents[3 * k + 2].NoteName, roots[k] + kinds[k]) << k;
        for (int n = 0; n < 3; ++n) EXPECT_EQ(m.state.NotePositions[3 * k + n].StartTick, 32 * (k + 1));
    }
    // Middle C roots of the first and last chords carry their ledger line.
    const std::vector<LineOp> ledgers = LedgerLines(m);
    ASSERT_EQ(ledgers.size(), 2u);
    EXPECT_EQ(ledgers[0], (LineOp{27, 71, 43, 71, 0, 1}));
    EXPECT_EQ(ledgers[1], (LineOp{475, 71, 491, 71, 0, 1}));
}

std::vector<std::string> ChordGlyphs(Main& m, int chord) {
    std::vector<std::string> out;
    for (const TextOp& t : m.PicScore.Texts())
        if (t.x == 32 * (chord + 1) && t.y != -30) out.push_back(t.text);
    return out;
}

TEST(ScaleScore, TriadGlyphsFollowTheNoteValue) {
    using G = std::vector<std::string>;
    Main half;
    LoadTriads(half, 0, 384);
    PutInScore(half);
    EXPECT_EQ(ChordGlyphs(half, 0), (G{"y", "y", "h"}));
    EXPECT_EQ(ChordGlyphs(half, 14), (G{"y", "y", "h"}));
    Main eighth;
    LoadTriads(eighth, 0, 96);
    PutInScore(eighth);
    EXPECT_EQ(ChordGlyphs(eighth, 0), (G{"q", "q", "e"}));
    EXPECT_EQ(ChordGlyphs(eighth, 7), (G{"q", "q", "e"}));
    for (const TextOp& t : eighth.PicScore.Texts()) EXPECT_NE(t.text, "|");
}

TEST(ScaleScore, TriadNamesUseTheWrittenRoot) {
    Main d;
    LoadTriads(d, 2, 192, 2, 0);
    PutInScore(d);
    EXPECT_EQ(d.state.NoteEvents[8].NoteName, "FA# min.");
    EXPECT_EQ(d.state.NoteEvents[20].NoteName, "DO# min. 5b");
    Main f;
    LoadTriads(f, 5, 192, 0, 1);
    PutInScore(f);
    EXPECT_EQ(f.state.NoteEvents[11].NoteName, "SIb mag.");
    EXPECT_EQ(f.state.NoteEvents[2].NoteName, "FA mag.");
}

TEST(ScaleScore, SignsStandEightPixelsLeftOfTheirNote) {
    Main m;
    LoadScale(m, 2, {0, 2, 3, 5, 7, 9, 11, 12, 10, 8, 7, 5, 3, 2, 0}, 2, 192, 0, 1);
    PutInScore(m);
    std::vector<std::string> signs;
    for (const TextOp& t : m.PicScore.Texts())
        if (t.text == "n" || t.text == "#" || t.text == "b") signs.push_back(Describe(t));
    // D melodic minor: B natural, C sharp as D flat, D natural.
    EXPECT_EQ(signs, (std::vector<std::string>{Glyph("n", 184, NoteY(71)), Glyph("b", 216, NoteY(74)),
                                               Glyph("n", 248, NoteY(74))}));
    EXPECT_EQ(m.state.NoteEvents[5].NoteName, "SI");
    EXPECT_EQ(m.state.NoteEvents[6].NoteName, "REb");
    EXPECT_EQ(m.state.NoteEvents[9].NoteName, "SIb");
    EXPECT_TRUE(m.state.DrawNatural == false && m.state.DrawFlat == false);
}

TEST(ScaleScore, LedgerLinesOfA3StartOnePixelFurtherLeft) {
    Main m;
    LoadScale(m, 0, {-3, -1}, 0, 192);  // A3 then B3
    PutInScore(m);
    const std::vector<LineOp> ledgers = LedgerLines(m);
    ASSERT_EQ(ledgers.size(), 3u);
    EXPECT_EQ(ledgers[0], (LineOp{26, 73, 42, 73, 0, 1}));
    EXPECT_EQ(ledgers[1], (LineOp{26, 79, 42, 79, 0, 1}));
    EXPECT_EQ(ledgers[2], (LineOp{59, 72, 75, 72, 0, 1}));
}

// The pitch a reader takes from the drawn score: the staff place, then the
// sign before the note, else a sign earlier in the same bar on the same place,
// else the key signature.
class ScoreReader {
public:
    ScoreReader(int sharps, int flats) {
        const int sharpLetters[] = {3, 0, 4, 1, 5};  // F C G D A
        const int flatLetters[] = {6, 2, 5, 1, 4, 0};  // B E A D G C
        for (int i = 0; i < sharps; ++i) key_[sharpLetters[i]] = 1;
        for (int i = 0; i < flats; ++i) key_[flatLetters[i]] = -1;
    }
    void NewBar() { carried_.clear(); }
    int Pitch(int noteY, const std::string& sign) {
        const int step = (35 - noteY) / 4;  // diatonic steps above middle C
        const int letter = ((step % 7) + 7) % 7;
        const int octave = (step - letter) / 7;
        const int naturals[] = {0, 2, 4, 5, 7, 9, 11};
        if (!sign.empty()) carried_[step] = sign == "#" ? 1 : sign == "b" ? -1 : 0;
        const auto it = carried_.find(step);
        const int alteration = it != carried_.end() ? it->second : key_[letter];
        return 60 + 12 * octave + naturals[letter] + alteration;
    }

private:
    int key_[7] = {};
    std::map<int, int> carried_;
};

// Minor, blues and whole-tone scales in all twelve keys, in quarter notes: every
// note drawn reads back as the pitch played.
TEST(ScaleScore, SignedScalesReadBackAsPlayedInEveryKey) {
    struct Entry {
        int selection;
        std::vector<int> steps;
        std::vector<int> signatures;  // by key: > 0 sharps, < 0 flats
    };
    const std::vector<int> minorKeys = {-3, 4, -1, -6, 1, -4, 3, -2, 5, 0, -5, 2};
    const std::vector<Entry> entries = {
        {2, {0, 2, 3, 5, 7, 9, 11, 12, 10, 8, 7, 5, 3, 2, 0}, minorKeys},
        {3, {0, 2, 3, 5, 7, 8, 11, 12, 11, 8, 7, 5, 3, 2, 0}, minorKeys},
        {10, {0, 3, 5, 6, 7, 10, 12, 10, 7, 6, 5, 3, 0}, {-2, 5, 0, -5, 2, -3, 4, -1, -6, 1, -4, 3}},
        {13, {0, 2, 4, 6, 8, 10, 12, 10, 8, 6, 4, 2, 0}, {0, -5, 2, -3, 4, -1, -6, 1, -4, 3, -2, 5}},
    };
    for (const Entry& e : entries) {
        for (int root = 0; root < 12; ++root) {
            const int signature = e.signatures[root];
            const int sharps = signature > 0 ? signature : 0, flats = signature < 0 ? -signature : 0;
            Main m;
            LoadScale(m, e.selection, e.steps, root, 192, sharps, flats);
            PutInScore(m);
            std::map<int, std::string> signAt;
            std::map<int, int> glyphY;
            for (const TextOp& t : m.PicScore.Texts()) {
                if (t.text == "n" || t.text == "#" || t.text == "b") signAt[t.x + 8] = t.text;
                if (t.text == "q" || t.text == "h") glyphY[t.x] = t.y;
            }
            ScoreReader reader(sharps, flats);
            int bar = 0;
            for (std::size_t i = 0; i < m.state.GoodTrack.size(); ++i) {
                const TrackNote& note = m.state.GoodTrack[i];
                if (note.Bar != bar) reader.NewBar();
                bar = note.Bar;
                const int x = 32 * static_cast<int>(i + 1);
                ASSERT_EQ(glyphY.count(x), 1u);
                EXPECT_EQ(reader.Pitch(glyphY[x], signAt.count(x) ? signAt[x] : ""), note.NoteNumber)
                    << "selection " << e.selection << ", key " << root << ", note " << i;
            }
        }
    }
}

}  // namespace
}  // namespace tonemark
