#include "score/scale_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "score/staff.h"

namespace tonemark {
namespace {

constexpr int kMelodic = 2, kHarmonic = 3, kBlues = 10, kWholeTone = 13;

const std::vector<int> kMelodicSteps = {0, 2, 3, 5, 7, 9, 11, 12, 10, 8, 7, 5, 3, 2, 0};
const std::vector<int> kHarmonicSteps = {0, 2, 3, 5, 7, 8, 11, 12, 11, 8, 7, 5, 3, 2, 0};
const std::vector<int> kBluesSteps = {0, 3, 5, 6, 7, 10, 12, 10, 7, 6, 5, 3, 0};
const std::vector<int> kWholeToneSteps = {0, 2, 4, 6, 8, 10, 12, 10, 8, 6, 4, 2, 0};

struct Key {
    int root, sharps, flats;
};

struct Written {
    int noteNumber;
    int placingNote;
    std::string name;
    char sign;  // 'n', '#', 'b' or '-' for none
};

char SignOf(const SignFlags& f) {
    EXPECT_LE(int(f.natural) + int(f.sharp) + int(f.flat), 1);
    return f.natural ? 'n' : f.sharp ? '#' : f.flat ? 'b' : '-';
}

// Note i of the material as the scale score writes it: key notation, then the rules.
Written Write(int selection, const std::vector<int>& steps, Key key, int i) {
    Written w;
    w.noteNumber = 60 + key.root + steps[i];
    const std::string asRead = PitchNames[w.noteNumber % 12];
    w.name = asRead;
    w.placingNote = KeyNotation(w.noteNumber, w.name, key.sharps, key.flats);
    const SignFlags f = ApplyScaleRules(selection, i, asRead.substr(0, 4), key.sharps, key.flats,
                                        w.noteNumber, w.placingNote, w.name);
    w.sign = SignOf(f);
    return w;
}

TEST(ScaleRules, AMelodicMinorRaisesSixthAndSeventhWithSharps) {
    const Key a{9, 0, 0};
    const Written sixth = Write(kMelodic, kMelodicSteps, a, 5);
    EXPECT_EQ(sixth.sign, '#');
    EXPECT_EQ(sixth.name, "FA#");
    EXPECT_EQ(sixth.placingNote, sixth.noteNumber);
    const Written seventh = Write(kMelodic, kMelodicSteps, a, 6);
    EXPECT_EQ(seventh.sign, '#');
    EXPECT_EQ(seventh.name, "SOL#");
    EXPECT_EQ(Write(kMelodic, kMelodicSteps, a, 7).sign, '-');
}

TEST(ScaleRules, DMelodicMinorTakesBBackAndWritesDFlat) {
    const Key d{2, 0, 1};
    const Written sixth = Write(kMelodic, kMelodicSteps, d, 5);
    EXPECT_EQ(sixth.sign, 'n');
    EXPECT_EQ(sixth.name, "SI");
    EXPECT_EQ(sixth.placingNote, 71);
    const Written seventh = Write(kMelodic, kMelodicSteps, d, 6);
    EXPECT_EQ(seventh.sign, 'b');
    EXPECT_EQ(seventh.placingNote, 74);
    EXPECT_EQ(seventh.name, "REb");
    const Written octave = Write(kMelodic, kMelodicSteps, d, 7);
    EXPECT_EQ(octave.sign, 'n');
    EXPECT_EQ(octave.placingNote, 74);
}

TEST(ScaleRules, GSharpMelodicMinorNaturalsThenSharp) {
    const Key gSharp{8, 5, 0};
    EXPECT_EQ(Write(kMelodic, kMelodicSteps, gSharp, 5).sign, 'n');
    EXPECT_EQ(Write(kMelodic, kMelodicSteps, gSharp, 6).sign, 'n');
    const Written octave = Write(kMelodic, kMelodicSteps, gSharp, 7);
    EXPECT_EQ(octave.sign, '#');
    EXPECT_EQ(octave.name, "SOL#");
}

TEST(ScaleRules, CSharpHarmonicMinorWritesBSharp) {
    const Key cSharp{1, 4, 0};
    for (int i : {6, 8}) {
        const Written seventh = Write(kHarmonic, kHarmonicSteps, cSharp, i);
        EXPECT_EQ(seventh.sign, '#') << i;
        EXPECT_EQ(seventh.placingNote, 71) << i;
        EXPECT_EQ(seventh.name, "SI#") << i;
    }
    EXPECT_EQ(Write(kHarmonic, kHarmonicSteps, cSharp, 7).sign, '-');
}

TEST(ScaleRules, CBluesFlatsTheDiminishedFifth) {
    const Key c{0, 0, 2};
    for (int i : {3, 9}) {
        const Written fifth = Write(kBlues, kBluesSteps, c, i);
        EXPECT_EQ(fifth.sign, 'b');
        EXPECT_EQ(fifth.placingNote, 67);
        EXPECT_EQ(fifth.name, "SOLb");
    }
    EXPECT_EQ(Write(kBlues, kBluesSteps, c, 10).sign, '-');
    EXPECT_EQ(Write(kBlues, kBluesSteps, c, 11).sign, '-');
}

TEST(ScaleRules, FBluesWritesItsDiminishedFifthAsCFlat) {
    const Key f{5, 0, 3};
    for (int i : {3, 9}) {
        const Written fifth = Write(kBlues, kBluesSteps, f, i);
        EXPECT_EQ(fifth.sign, 'b') << i;
        EXPECT_EQ(fifth.placingNote, 72) << i;
        EXPECT_EQ(fifth.name, "DOb") << i;
    }
    const Written fourth = Write(kBlues, kBluesSteps, f, 10);  // B flat, on the place of B
    EXPECT_EQ(fourth.sign, '-');
    EXPECT_EQ(fourth.placingNote, 71);
    EXPECT_EQ(fourth.name, "SIb");
}

TEST(ScaleRules, BluesFourthOnThePlaceOfTheFifth) {
    const Written eFlat = Write(kBlues, kBluesSteps, {3, 0, 5}, 10);  // A flat after A natural
    EXPECT_EQ(eFlat.sign, 'b');
    EXPECT_EQ(eFlat.placingNote, 69);
    EXPECT_EQ(Write(kBlues, kBluesSteps, {2, 0, 0}, 10).sign, 'n');  // G after G sharp
    const Written dFifth = Write(kBlues, kBluesSteps, {2, 0, 0}, 3);
    EXPECT_EQ(dFifth.sign, '#');
    EXPECT_EQ(dFifth.name, "SOL#");
}

TEST(ScaleRules, WholeToneSignsByPairAndKey) {
    const Key d{2, 2, 0};
    for (int i : {3, 9, 4, 8}) EXPECT_EQ(Write(kWholeTone, kWholeToneSteps, d, i).sign, '#') << i;
    for (int i : {5, 7}) EXPECT_EQ(Write(kWholeTone, kWholeToneSteps, d, i).sign, 'n') << i;
    for (int i : {3, 4, 5, 7, 8, 9})
        EXPECT_EQ(Write(kWholeTone, kWholeToneSteps, {0, 0, 0}, i).sign, '#') << i;
    for (int i : {0, 1, 2, 6, 10, 11, 12})
        EXPECT_EQ(Write(kWholeTone, kWholeToneSteps, d, i).sign, '-') << i;
    // One flat: B, C sharp and D sharp are written as C flat, D flat and E flat.
    for (int i : {3, 4, 5}) {
        const Written w = Write(kWholeTone, kWholeToneSteps, {5, 0, 1}, i);
        EXPECT_EQ(w.sign, 'b') << i;
        EXPECT_EQ(w.placingNote, w.noteNumber + 1) << i;
    }
    // A signature that no whole-tone key has gets nothing.
    EXPECT_EQ(Write(kWholeTone, kWholeToneSteps, {0, 6, 0}, 3).sign, '-');
}

TEST(ScaleRules, RowsOnlyApplyUnderTheirKeyCondition) {
    std::string name = "SOLb - FA#";
    int placing = 66;
    EXPECT_EQ(SignOf(ApplyScaleRules(kMelodic, 5, "SOLb", 1, 0, 66, placing, name)), '-');
    EXPECT_EQ(name, "SOLb - FA#");
    name = "SI";
    placing = 71;
    EXPECT_EQ(SignOf(ApplyScaleRules(kMelodic, 5, "SI", 0, 0, 71, placing, name)), '-');
    EXPECT_EQ(placing, 71);
    EXPECT_EQ(name, "SI");
    name = "DO";
    placing = 72;
    EXPECT_EQ(SignOf(ApplyScaleRules(kHarmonic, 6, "DO", 0, 0, 72, placing, name)), '-');
    EXPECT_EQ(placing, 72);
    name = "LAb - SOL#";
    EXPECT_EQ(SignOf(ApplyScaleRules(kHarmonic, 8, "LAb ", 0, 0, 68, placing, name)), '#');
    EXPECT_EQ(name, "SOL#");
    EXPECT_EQ(SignOf(ApplyScaleRules(kHarmonic, 8, "LAb ", 2, 0, 68, placing, name)), '-');
    EXPECT_EQ(SignOf(ApplyScaleRules(kMelodic, 7, "SOLb", 3, 0, 66, placing, name)), '#');
    EXPECT_EQ(SignOf(ApplyScaleRules(kMelodic, 7, "SOLb", 0, 3, 66, placing, name)), '-');
}

TEST(ScaleRules, HarmonicMinorSixthIsNeverSigned) {
    const std::vector<std::pair<int, int>> signatures = {{0, 3}, {4, 0}, {0, 1}, {0, 6},
                                                         {1, 0}, {0, 4}, {3, 0}, {0, 2},
                                                         {5, 0}, {0, 0}, {0, 5}, {2, 0}};
    for (int root = 0; root < 12; ++root) {
        const auto [sharps, flats] = signatures[root];
        EXPECT_EQ(Write(kHarmonic, kHarmonicSteps, {root, sharps, flats}, 5).sign, '-') << root;
    }
}

TEST(ScaleRules, OtherEntriesNeverSign) {
    const std::vector<std::pair<int, int>> signatures = {{0, 0}, {5, 0}, {0, 6}, {2, 0}, {0, 1}};
    for (int selection = -1; selection <= 16; ++selection) {
        if (selection == kMelodic || selection == kHarmonic || selection == kBlues ||
            selection == kWholeTone)
            continue;
        for (int i = 0; i < 16; ++i)
            for (const std::string& asRead : PitchNames)
                for (auto [sharps, flats] : signatures) {
                    std::string name = asRead;
                    int placing = 61;
                    const SignFlags f = ApplyScaleRules(selection, i, asRead.substr(0, 4), sharps,
                                                        flats, 60, placing, name);
                    EXPECT_EQ(SignOf(f), '-') << selection << " " << i << " " << asRead;
                    EXPECT_EQ(placing, 61);
                    EXPECT_EQ(name, asRead);
                }
    }
}

}  // namespace
}  // namespace tonemark
