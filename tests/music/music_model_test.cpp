// The model of the music on show, made by a real rebuild (file written, read
// back, engraved) on a fake synthesiser, and checked against what was played
// and against the display list the score is painted from.
#include "music/music_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "support/music_songs.h"
#include "score/glyphs.h"

namespace tonemark {
namespace {

const std::set<std::string> kNoteGlyphs = {"x", "e", "q", "h", "h.", "y"};

// The note a head's text origin y stands for, read off the staff: middle C's
// head is at 35, each line or space 4 pixels higher up the page.
std::string StaffNote(int y) {
    const int steps = (35 - y) / 4;
    const int octave = 4 + (steps >= 0 ? steps / 7 : (steps - 6) / 7);
    return std::string(1, "CDEFGAB"[steps - 7 * (octave - 4)]) + std::to_string(octave);
}

std::string Written(const Spelling& s) { return std::string(1, s.step) + std::to_string(s.octave); }

std::string SignText(ShownAccidental shown) {
    switch (shown) {
        case ShownAccidental::Sharp: return "#";
        case ShownAccidental::Flat: return "b";
        case ShownAccidental::Natural: return "n";
        case ShownAccidental::None: break;
    }
    return "";
}

// Every model note has its head where the score drew the note of that index,
// on the line or space of its spelling, with exactly the sign shown beside it;
// the model's rests are the rest columns of the score.
void ExpectModelIsTheScore(const Main& m) {
    for (const ModelNote& note : m.music.notes) {
        SCOPED_TRACE("note " + std::to_string(note.index));
        int heads = 0;
        std::string signs;
        for (const DrawOp& op : m.PicScore.Ops()) {
            if (op.note != note.index || op.kind != DrawOp::Kind::Text) continue;
            if (op.text.text == "#" || op.text.text == "b" || op.text.text == "n") {
                signs += op.text.text;
                EXPECT_EQ(op.text.x, note.x - 8);
            } else if (op.text.text.empty() || kNoteGlyphs.count(op.text.text)) {
                ++heads;
                EXPECT_EQ(op.text.x, note.x);
                EXPECT_EQ(StaffNote(op.text.y), Written(note.spelling));
            }
        }
        EXPECT_EQ(heads, 1);
        EXPECT_EQ(signs, SignText(note.shown));
        // The spelling sounds the note's pitch.
        constexpr int kNatural[] = {9, 11, 0, 2, 4, 5, 7};  // A to G
        EXPECT_EQ(12 * (note.spelling.octave + 1) + kNatural[note.spelling.step - 'A'] + note.spelling.alter,
                  note.pitch);
    }
    std::multiset<int> restColumns, modelRests;
    for (const DrawOp& op : m.PicScore.Ops()) {
        if (op.kind == DrawOp::Kind::Text && op.note < 0 && op.text.y == 11 && !op.text.text.empty()) {
            restColumns.insert(op.text.x);
        }
    }
    for (const ModelRest& rest : m.music.rests) modelRests.insert(rest.x);
    EXPECT_EQ(modelRests, restColumns);
}

std::vector<std::string> Spellings(const MusicModel& music) {
    std::vector<std::string> out;
    for (const ModelNote& n : music.notes) {
        std::string s(1, n.spelling.step);
        s += n.spelling.alter > 0 ? std::string(n.spelling.alter, '#') : std::string(-n.spelling.alter, 'b');
        s += std::to_string(n.spelling.octave) + SignText(n.shown);
        out.push_back(s);
    }
    return out;
}

struct Played {
    int pitch;
    double onMs, offMs;
};

// The notes of a take's event log: each key press with the release of its key.
std::vector<Played> PlayedNotes(const std::vector<std::string>& rows) {
    std::vector<Played> played;
    for (const std::string& row : rows) {
        double ms = 0;
        int status = 0, note = 0;
        if (std::sscanf(row.c_str(), "%lf\t%d\t%d", &ms, &status, &note) != 3) continue;
        if (status == 144) played.push_back({note, ms, -1});
        if (status != 128) continue;
        for (Played& p : played)
            if (p.pitch == note && p.offMs < 0) p.offMs = ms;
    }
    return played;
}

class MusicModelTest : public testing::StartedProgram {};

TEST_F(MusicModelTest, ScaleInAFlatKey) {
    testing::ShowHarmonicMinorInC(m, 192);
    const MusicModel& music = m.music;
    EXPECT_EQ(music.title, "Scala minore armonica: DO");
    EXPECT_FALSE(music.isTake);
    EXPECT_EQ(music.fifths, -3);
    EXPECT_EQ(music.division, 192);
    EXPECT_DOUBLE_EQ(music.tempoBpm, 120);
    EXPECT_DOUBLE_EQ(music.tempoMicros, 500000);
    EXPECT_EQ(music.beatsPerBar, 4);
    EXPECT_EQ(music.beatUnit, 4);
    EXPECT_TRUE(music.rests.empty());
    // B natural is the raised seventh, and shows its natural against the three flats.
    EXPECT_EQ(Spellings(music),
              (std::vector<std::string>{"C4", "D4", "Eb4", "F4", "G4", "Ab4", "B4n", "C5", "B4n", "Ab4", "G4", "F4",
                                        "Eb4", "D4", "C4"}));
    ASSERT_EQ(music.notes.size(), 15u);
    const std::vector<int> pitches = {60, 62, 63, 65, 67, 68, 71, 72, 71, 68, 67, 65, 63, 62, 60};
    for (int k = 0; k < 15; ++k) {
        const ModelNote& n = music.notes[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(n.index, k);
        EXPECT_EQ(n.pitch, pitches[k]);
        EXPECT_EQ(n.onsetTicks, 192 * k);
        EXPECT_EQ(n.durationTicks, k == 14 ? 384 : 192);
        EXPECT_DOUBLE_EQ(n.onsetMs, 500.0 * k);
        EXPECT_DOUBLE_EQ(n.durationMs, k == 14 ? 1000 : 500);
        EXPECT_EQ(n.velocity, 100);
        EXPECT_EQ(n.bar, k / 4 + 1);
        EXPECT_DOUBLE_EQ(n.beat, k % 4 + 1);
        EXPECT_EQ(n.chord, -1);
        EXPECT_EQ(n.x, 32 * (k + 1));
    }
    ExpectModelIsTheScore(m);
}

TEST_F(MusicModelTest, TriadsAreChordsOfThreeInOneColumn) {
    testing::ShowTriadsInD(m);
    const MusicModel& music = m.music;
    EXPECT_EQ(music.fifths, 2);
    ASSERT_EQ(music.notes.size(), 45u);
    for (int k = 0; k < 45; ++k) {
        const ModelNote& n = music.notes[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(n.chord, k / 3);
        EXPECT_EQ(n.x, 32 * (k / 3 + 1));
        EXPECT_EQ(n.onsetTicks, 192 * (k / 3));
        // Root and third sound as long as the fifth, though the score reads
        // the song as one voice and sees only the fifth end.
        EXPECT_EQ(n.durationTicks, k / 3 == 14 ? 384 : 192);
        EXPECT_EQ(n.bar, k / 12 + 1);
    }
    const std::vector<std::string> spelled = Spellings(music);
    EXPECT_EQ(std::vector<std::string>(spelled.begin(), spelled.begin() + 9),
              (std::vector<std::string>{"D4", "F#4", "A4", "E4", "G4", "B4", "F#4", "A4", "C#5"}));
    EXPECT_EQ(std::vector<std::string>(spelled.begin() + 18, spelled.begin() + 21),
              (std::vector<std::string>{"C#5", "E5", "G5"}))
        << "the diminished chord on the seventh";
    ExpectModelIsTheScore(m);
}

TEST_F(MusicModelTest, TakeWithRestsAndAnOverlap) {
    testing::RecordTestTake(m, platform);
    const MusicModel& music = m.music;
    EXPECT_TRUE(music.isTake);
    EXPECT_EQ(music.title, m.ui.Labella.caption);
    EXPECT_EQ(music.fifths, 0);
    EXPECT_EQ(Spellings(music), (std::vector<std::string>{"C#4#", "D4", "E4", "C4n", "F#4#"}));
    ASSERT_EQ(music.notes.size(), 5u);
    // What was played, as the recorder logged it: onsets and lengths in
    // milliseconds, to the tick (2.6 ms).
    const std::vector<Played> played = PlayedNotes(m.ui.List2.rows);
    ASSERT_EQ(played.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        const ModelNote& n = music.notes[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(n.pitch, played[k].pitch);
        EXPECT_NEAR(n.onsetMs, played[k].onMs, 2.7);
        EXPECT_NEAR(n.durationMs, played[k].offMs - played[k].onMs, 2.7)
            << "the D is held into the E and sounds its full length";
        EXPECT_NEAR(static_cast<double>(n.onsetTicks), played[k].onMs * 0.384, 1);
        EXPECT_EQ(n.velocity, 100);
        EXPECT_EQ(n.chord, -1);
    }
    EXPECT_EQ(music.notes[4].bar, 2);
    EXPECT_NEAR(music.notes[4].beat, 4.0, 0.03) << "pressed on the fourth beat";
    // Rests where the score draws them: after the C sharp and before the F
    // sharp; none before the E, as the D held into it ends, on the staff,
    // where the E begins.
    std::vector<int> restBefore;
    for (const ModelRest& rest : music.rests) restBefore.push_back(rest.beforeNote);
    EXPECT_EQ(restBefore, (std::vector<int>{1, 4}));
    ExpectModelIsTheScore(m);
}

}  // namespace
}  // namespace tonemark
