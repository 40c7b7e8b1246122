#include "score/take_score.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midifile/reader.h"
#include "score/glyphs.h"
#include "score/staff.h"

namespace tonemark {
namespace {

constexpr double kMsPerTick = 500.0 / 192;

struct Played {
    int note;
    double start, end;
};

// A take as the reader gives it back: one element per note, then the spare.
void LoadTake(Main& m, const std::vector<Played>& notes) {
    MainState& s = m.state;
    s.DeviceReady = true;
    s.TimeSigNumerator = s.TimeSigDenominator = 4;
    s.NoteEvents.clear();
    for (const Played& p : notes) {
        NoteEvent e;
        e.NoteNumber = static_cast<std::int16_t>(p.note);
        e.NoteName = PitchNames[p.note % 12];
        e.StartTick = p.start;
        e.EndTick = p.end;
        e.TimeMs = p.start * kMsPerTick;
        s.NoteEvents.push_back(e);
    }
    s.NoteEvents.emplace_back();
}

// Notes of the given pitches and length, one straight after the other from `start`.
std::vector<Played> Legato(const std::vector<int>& pitches, double length, double start = 0) {
    std::vector<Played> out;
    for (int p : pitches) {
        out.push_back({p, start, start + length});
        start += length;
    }
    return out;
}

int NoteY(int note) {
    MainState s;
    int pc = 0;
    std::string sign;
    CALCOLONOTA(s, note, pc, sign);
    return s.NoteY;
}

std::string Glyph(const std::string& text, int x, int y) {
    return "'" + text + "' " + std::to_string(x) + "," + std::to_string(y);
}

// Every text on the score; anything not in "Keep" at 16 points says so.
std::vector<std::string> ScoreTexts(const Main& m) {
    std::vector<std::string> out;
    for (const TextOp& t : m.PicScore.Texts()) {
        std::string d = Glyph(t.text, t.x, t.y);
        if (t.font != "Keep" || t.points != 16) d += " " + t.font + " " + std::to_string(t.points);
        out.push_back(d);
    }
    return out;
}

std::vector<std::string> EndMarks(const Main& m) {
    return {Glyph("\\", m.PicScore.Width() - 8, 33), Glyph("|", -3, 32), Glyph("|", 0, 32)};
}

std::vector<std::string> WithEndMarks(std::vector<std::string> texts, const Main& m) {
    for (const std::string& t : EndMarks(m)) texts.push_back(t);
    return texts;
}

std::vector<std::string> SignsOf(const Main& m) {
    std::vector<std::string> out;
    for (const TextOp& t : m.PicScore.Texts())
        if (t.text == "#" || t.text == "n") out.push_back(Glyph(t.text, t.x, t.y));
    return out;
}

bool IsRest(const std::string& text) {
    for (const char* rest : {kSixteenthRest, kEighthRest, kQuarterRest, kHalfRest, kDottedHalfRest, kWholeRest})
        if (text == rest) return true;
    return false;
}

std::vector<std::string> RestsOf(const Main& m) {
    std::vector<std::string> out;
    for (const TextOp& t : m.PicScore.Texts())
        if (IsRest(t.text)) out.push_back(Glyph(t.text, t.x, t.y));
    return out;
}

std::vector<LineOp> LedgerLines(const Main& m) {
    const std::vector<LineOp> all = m.PicScore.Lines();
    return {all.begin() + 5, all.end()};
}

std::vector<double> PositionsX(const Main& m) {
    std::vector<double> out;
    for (const NoteEvent& p : m.state.NotePositions) out.push_back(p.StartTick);
    return out;
}

// --- the engraving array ------------------------------------------------------

TEST(TakeTrack, LengthsGapsAndRestCountsCoverTheSpareElement) {
    Main m;
    LoadTake(m, {{64, 48, 240}, {65, 287, 383}, {67, 431, 623}, {69, 563, 900}});
    MainState& s = m.state;
    AggiornaBuona2(s);
    ASSERT_EQ(s.GoodTrack.size(), 5u);
    struct Expected {
        int note;
        const char* length;
        double gap;
        int restCount;
    };
    // First gap = own start; 47 no rest, 48 a rest, an overlap of 60 a rest;
    // the spare (ticks 0) lies |0 - 900| after the last end.
    const Expected expected[] = {{64, "192", 48, 1}, {65, "96", 47, 1}, {67, "192", 48, 2},
                                 {69, "337", 60, 3}, {0, "0", 900, 4}};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.GoodTrack[i].NoteNumber, expected[i].note);
        EXPECT_EQ(s.GoodTrack[i].DurationText, expected[i].length);
        EXPECT_EQ(s.GoodTrack[i].RestBefore, expected[i].gap);
        EXPECT_EQ(s.GoodTrack[i].RestCount, expected[i].restCount);
    }
}

TEST(TakeTrack, ReplacesALongerTrackAndWritesNegativeLengthsWithASign) {
    MainState s;
    s.GoodTrack.resize(9);
    s.NoteEvents = {NoteEvent{0, 100, 60, "DO", 0}, NoteEvent{}};  // a note never closed
    AggiornaBuona2(s);
    ASSERT_EQ(s.GoodTrack.size(), 2u);
    EXPECT_EQ(s.GoodTrack[0].DurationText, "-100");
    EXPECT_EQ(s.GoodTrack[0].RestBefore, 100);
    EXPECT_EQ(s.GoodTrack[1].RestBefore, 0);  // the spare starts where the open note "ended"
    EXPECT_EQ(s.GoodTrack[1].RestCount, 1);
}

// --- the score ------------------------------------------------------------------

TEST(TakeScore, NotesWithoutGapsTakeOneColumnEach) {
    Main m;
    m.PicScore.Line(1, 2, 3, 4, 0, 1);  // an earlier drawing: the engraving clears it
    m.Pic2.Line(5, 6, 7, 8, 0, 1);      // the header box is the caller's to clear
    LoadTake(m, {{64, 0, 96}, {65, 96, 288}, {67, 288, 672}, {71, 672, 1440}, {72, 1440, 1488}});
    PutInScore2(m);

    EXPECT_EQ(ScoreTexts(m), WithEndMarks({Glyph("e", 32, NoteY(64)), Glyph("q", 64, NoteY(65)),
                                           Glyph("h", 96, NoteY(67)), Glyph("y", 128, NoteY(71)),
                                           Glyph("x", 160, NoteY(72))},
                                          m));
    const std::vector<LineOp> lines = m.PicScore.Lines();
    ASSERT_EQ(lines.size(), 5u);  // staff only: no ledger lines, the old line gone
    const int staff[] = {32, 40, 48, 56, 64};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(lines[i], (LineOp{0, staff[i], 16383, staff[i], 0, 1}));
    EXPECT_EQ(m.PicScore.Ops().front().kind, DrawOp::Kind::Line);

    EXPECT_EQ(PositionsX(m), (std::vector<double>{32, 64, 96, 128, 160}));
    for (int k = 0; k < 5; ++k) EXPECT_EQ(m.state.NotePositions[k].TimeMs, m.state.NoteEvents[k].TimeMs);
    EXPECT_EQ(m.state.GoodTrack.size(), 6u);
    EXPECT_EQ(m.state.NoteY, NoteY(72));

    ASSERT_GE(m.Pic2.Ops().size(), 2u);
    EXPECT_EQ(m.Pic2.Ops()[0].line, (LineOp{5, 6, 7, 8, 0, 1}));
    ASSERT_FALSE(m.Pic2.Texts().empty());
    EXPECT_EQ(m.Pic2.Texts()[0].text, "&");
}

TEST(TakeScore, GapsLongerThan47TicksGetARestColumn) {
    Main m;
    // Starts at 48; then gaps of 47 and 48; then an overlap of 60.
    LoadTake(m, {{71, 48, 240}, {71, 287, 479}, {71, 527, 719}, {71, 659, 851}});
    PutInScore2(m);
    const int y = NoteY(71);
    EXPECT_EQ(ScoreTexts(m), WithEndMarks({Glyph(kSixteenthRest, 32, 11), Glyph("q", 64, y), Glyph("q", 96, y),
                                           Glyph(kSixteenthRest, 128, 11), Glyph("q", 160, y),
                                           Glyph(kSixteenthRest, 192, 11), Glyph("q", 224, y)},
                                          m));
    EXPECT_EQ(PositionsX(m), (std::vector<double>{64, 96, 160, 224}));
    // The stepping relies on x = 32 (k + 1 + RestCount(k)).
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(m.state.NotePositions[k].StartTick, 32 * (k + 1 + m.state.GoodTrack[k].RestCount));
    EXPECT_EQ(m.state.GoodTrack[0].RestCount, 1);
}

TEST(TakeScore, RestGlyphFollowsTheGapAndStandsAtY11WhateverThePitch) {
    Main m;
    std::vector<Played> take;
    double tick = 0;
    const std::vector<double> gaps = {48, 96, 200, 384, 576, 800};
    const std::vector<int> pitches = {84, 53, 60, 77, 64, 88};
    for (std::size_t i = 0; i < gaps.size(); ++i) {
        tick += gaps[i];
        take.push_back({pitches[i], tick, tick + 48});
        tick += 48;
    }
    LoadTake(m, take);
    PutInScore2(m);
    EXPECT_EQ(RestsOf(m), (std::vector<std::string>{Glyph(kSixteenthRest, 32, 11), Glyph(kEighthRest, 96, 11),
                                                    Glyph(kQuarterRest, 160, 11), Glyph(kHalfRest, 224, 11),
                                                    Glyph(kDottedHalfRest, 288, 11), Glyph(kWholeRest, 352, 11)}));
}

TEST(TakeScore, SharpsUseTheMemoryOfTheLastSharp) {
    struct Case {
        const char* name;
        std::vector<int> pitches;
        std::vector<std::string> signs;
    };
    const int c = NoteY(72);
    const std::vector<Case> cases = {
        {"C# C# C", {73, 73, 72}, {Glyph("#", 24, c), Glyph("n", 88, c)}},
        {"C# C C", {73, 72, 72}, {Glyph("#", 24, c), Glyph("n", 56, c)}},
        {"C# D# C", {73, 75, 72}, {Glyph("#", 24, c), Glyph("#", 56, NoteY(75))}},
        // Same pitch class in another octave keeps the sign off; a new run marks again.
        {"C#5 C#4 C4 C#4", {73, 61, 60, 61}, {Glyph("#", 24, c), Glyph("n", 88, NoteY(60)), Glyph("#", 120, NoteY(61))}},
        // Only the most recent sharp is cancelled; flats are never written.
        {"F# C# F C", {66, 73, 65, 72}, {Glyph("#", 24, NoteY(66)), Glyph("#", 56, c), Glyph("n", 120, c)}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Main m;
        LoadTake(m, Legato(k.pitches, 192));
        PutInScore2(m);
        EXPECT_EQ(SignsOf(m), k.signs);
    }
}

TEST(TakeScore, LedgerLinesFollowTheNoteAndItsRest) {
    Main m;
    // C4, then after a rest A3 (lines one pixel further left), then F3.
    LoadTake(m, {{60, 0, 192}, {57, 240, 432}, {53, 432, 624}});
    PutInScore2(m);
    EXPECT_EQ(LedgerLines(m), (std::vector<LineOp>{{27, 71, 43, 71, 0, 1},
                                                   {90, 73, 106, 73, 0, 1},
                                                   {90, 79, 106, 79, 0, 1},
                                                   {123, 73, 139, 73, 0, 1},
                                                   {123, 79, 139, 79, 0, 1},
                                                   {123, 87, 139, 87, 0, 1}}));
    EXPECT_EQ(PositionsX(m), (std::vector<double>{32, 96, 128}));
}

TEST(TakeScore, AnEmptyTakeDrawsStaffAndEndMarksOnly) {
    for (bool withSpare : {true, false}) {
        SCOPED_TRACE(withSpare ? "only the spare" : "no element at all");
        Main m;
        m.PicScore.SetWidth(500);
        LoadTake(m, {});
        if (!withSpare) m.state.NoteEvents.clear();
        m.state.NotePositions = {NoteEvent{10, 32, 0, "", 0}, NoteEvent{20, 64, 0, "", 0}};
        PutInScore2(m);
        EXPECT_EQ(ScoreTexts(m), EndMarks(m));
        EXPECT_EQ(m.PicScore.Texts()[0].x, 492);
        EXPECT_EQ(m.PicScore.Lines().size(), 5u);
        EXPECT_EQ(m.PicScore.Lines()[4], (LineOp{0, 64, 500, 64, 0, 1}));
        ASSERT_EQ(m.state.NotePositions.size(), 2u);
        EXPECT_EQ(m.state.NotePositions[1].TimeMs, 20);
        EXPECT_EQ(m.state.NotePositions[1].StartTick, 64);
        EXPECT_FALSE(m.Pic2.Texts().empty());
    }
}

TEST(TakeScore, NNotesGiveNPositionsAndATrackOfNPlusOne) {
    Main m;
    LoadTake(m, Legato({60, 62, 64, 65, 67, 69, 71}, 96));
    PutInScore2(m);
    EXPECT_EQ(m.state.GoodTrack.size(), 8u);
    EXPECT_EQ(m.state.NotePositions.size(), 7u);
    // A shorter take engraved next cuts both down.
    LoadTake(m, Legato({72, 74}, 96));
    m.PicScore.Clear();
    m.Pic2.Clear();
    PutInScore2(m);
    EXPECT_EQ(m.state.GoodTrack.size(), 3u);
    EXPECT_EQ(PositionsX(m), (std::vector<double>{32, 64}));
}

TEST(TakeScore, NothingWithoutAReadyDevice) {
    Main m;
    LoadTake(m, Legato({60, 62, 64}, 192));
    m.state.DeviceReady = false;
    m.state.GoodTrack.resize(1);
    m.state.GoodTrack[0].DurationText = "old";
    m.state.NotePositions.resize(2);
    m.state.NoteY = 17;
    m.PicScore.Line(1, 2, 3, 4, 0, 1);
    PutInScore2(m);
    ASSERT_EQ(m.state.GoodTrack.size(), 1u);
    EXPECT_EQ(m.state.GoodTrack[0].DurationText, "old");
    EXPECT_EQ(m.state.NotePositions.size(), 2u);
    EXPECT_EQ(m.state.NoteY, 17);
    ASSERT_EQ(m.PicScore.Ops().size(), 1u);  // not even cleared
    EXPECT_TRUE(m.Pic2.Ops().empty());
}

// Everything drawn lies within the picture: texts by their origin, lines by both ends.
void ExpectNothingBeyond(const Main& m, int width) {
    for (const TextOp& t : m.PicScore.Texts()) EXPECT_LE(t.x, width) << t.text;
    for (const LineOp& l : m.PicScore.Lines()) {
        EXPECT_LE(l.x1, width);
        EXPECT_LE(l.x2, width);
    }
}

TEST(TakeScore, LongTakesKeepTheirTruePositionsAndDrawOnlyInsideThePicture) {
    const int width = 16383;
    {
        SCOPED_TRACE("600 notes, no gaps");
        Main m;
        std::vector<int> pitches;
        for (int k = 0; k < 600; ++k) pitches.push_back(k % 2 ? 60 : 61);  // ledger lines and signs on every note
        LoadTake(m, Legato(pitches, 96));
        PutInScore2(m);
        ExpectNothingBeyond(m, width);
        ASSERT_EQ(m.state.NotePositions.size(), 600u);
        for (int k = 0; k < 600; ++k) EXPECT_EQ(m.state.NotePositions[k].StartTick, 32 * (k + 1)) << k;
        int notes = 0;
        for (const TextOp& t : m.PicScore.Texts()) notes += t.text == "e";
        EXPECT_EQ(notes, 511);  // x = 32 .. 16352
        EXPECT_EQ(m.PicScore.Lines().size(), 5u + 511u);
        EXPECT_EQ(m.PicScore.Texts().back().x, 0);  // the end marks still close the score
    }
    {
        SCOPED_TRACE("600 notes each after a rest: past 32767");
        Main m;
        std::vector<Played> take;
        for (int k = 0; k < 600; ++k) take.push_back({64, 96.0 * (2 * k + 1), 96.0 * (2 * k + 2)});
        LoadTake(m, take);
        PutInScore2(m);
        ExpectNothingBeyond(m, width);
        ASSERT_EQ(m.state.NotePositions.size(), 600u);
        for (int k = 0; k < 600; ++k) EXPECT_EQ(m.state.NotePositions[k].StartTick, 64 * (k + 1)) << k;
        EXPECT_EQ(m.state.NotePositions.back().StartTick, 38400);
        int rests = 0, notes = 0;
        for (const TextOp& t : m.PicScore.Texts()) {
            rests += t.text == kEighthRest;
            notes += t.text == "e";
        }
        EXPECT_EQ(rests, 256);  // x = 32 .. 16352
        EXPECT_EQ(notes, 255);  // x = 64 .. 16320
    }
}

// Played legato from a MIDI keyboard: D4 held on after E4 began, G4 after A4.
// Each note keeps its head; the held one ends where the next begins.
TEST(TakeScore, ANoteHeldOnIntoTheNextOneKeepsItsHead) {
    Main m;
    m.state.DeviceReady = true;
    m.state.TimeSigNumerator = m.state.TimeSigDenominator = 4;
    // Division 192; deltas, then note-ons (velocity 0 ends a note).
    const std::string track = std::string("\x00\x90\x3e\x50", 4) +        // D4 on at 0
                              std::string("\x81\x40\x90\x40\x50", 5) +    // E4 on at 192
                              std::string("\x18\x90\x3e\x00", 4) +         // D4 off at 216
                              std::string("\x81\x28\x90\x40\x00", 5) +    // E4 off at 384
                              std::string("\x00\x90\x43\x50", 4) +         // G4 on at 384
                              std::string("\x81\x40\x90\x45\x50", 5) +    // A4 on at 576
                              std::string("\x30\x90\x43\x00", 4) +         // G4 off at 624
                              std::string("\x81\x10\x90\x45\x00", 5) +    // A4 off at 768
                              std::string("\x00\xff\x2f\x00", 4);
    const std::string bytes = std::string("MThd\0\0\0\x06\0\0\0\x01\0\xc0MTrk", 18) +
                              std::string("\0\0\0", 3) + static_cast<char>(track.size()) + track;
    ASSERT_EQ(ReadFourBytes(m.state, bytes), ReadStatus::Ok);
    ASSERT_EQ(m.state.NoteEvents.size(), 5u);
    PutInScore2(m);
    // Four quarter notes, one column each, no rest between them.
    EXPECT_EQ(ScoreTexts(m), WithEndMarks({Glyph("q", 32, NoteY(62)), Glyph("q", 64, NoteY(64)),
                                           Glyph("q", 96, NoteY(67)), Glyph("q", 128, NoteY(69))},
                                          m));
}

}  // namespace
}  // namespace tonemark
