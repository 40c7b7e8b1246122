#include "score/staff.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tonemark {
namespace {

struct Placed {
    int noteY;
    int pitchClass;
    std::string sign;
};

Placed Place(int note) {
    MainState s;
    Placed p{0, -1, "junk"};
    CALCOLONOTA(s, note, p.pitchClass, p.sign);
    p.noteY = s.NoteY;
    return p;
}

TEST(StaffMapping, SampleNotesLandOnTheirStaffPlaces) {
    const std::vector<std::pair<int, int>> samples = {
        {53, 51}, {55, 47}, {57, 43}, {59, 39}, {60, 35}, {61, 35}, {62, 31}, {64, 27},
        {67, 19}, {71, 11}, {72, 7},  {77, -5}, {81, -13}, {84, -21}, {88, -29}};
    for (auto [note, noteY] : samples) EXPECT_EQ(Place(note).noteY, noteY) << "note " << note;
    // Heads on the bottom and top staff lines.
    EXPECT_EQ(Place(64).noteY + 37, 64);
    EXPECT_EQ(Place(77).noteY + 37, 32);
}

TEST(StaffMapping, PitchClassAndSharpOfEveryKey) {
    const std::vector<std::string> signs = {"", "#", "", "#", "", "", "#", "", "#", "", "#", ""};
    for (int pc = 0; pc < 12; ++pc) {
        const Placed p = Place(72 + pc);
        EXPECT_EQ(p.pitchClass, pc);
        EXPECT_EQ(p.sign, signs[pc]) << "pitch class " << pc;
    }
    EXPECT_EQ(Place(60).sign, "");
    EXPECT_EQ(Place(61).sign, "#");
}

// A white key is one diatonic step (4 px) above the white key below it; a
// black key shares the place of the white key below. This holds across every
// octave boundary and for the notes outside the designed octaves 2 to 9.
TEST(StaffMapping, StepsOfFourPixelsOverTheWholeMidiRange) {
    int previousWhiteY = Place(0).noteY;
    EXPECT_EQ(previousWhiteY, 175);
    for (int note = 1; note <= 127; ++note) {
        const Placed p = Place(note);
        EXPECT_EQ(((p.noteY % 4) + 4) % 4, 3) << "note " << note;
        if (p.sign == "#") {
            EXPECT_EQ(p.noteY, previousWhiteY) << "note " << note;
        } else {
            EXPECT_EQ(p.noteY, previousWhiteY - 4) << "note " << note;
            previousWhiteY = p.noteY;
        }
    }
    EXPECT_EQ(Place(23).noteY, 123);
    EXPECT_EQ(Place(120).noteY, -105);
    EXPECT_EQ(Place(127).noteY, -121);
}

struct Written {
    int placingNote;
    std::string name;
};

Written Write(int note, std::string name, int sharps, int flats) {
    const int placing = KeyNotation(note, name, sharps, flats);
    return {placing, name};
}

TEST(StaffKeyNotation, FlatKeysWriteBlackKeysAsTheFlatAbove) {
    const std::vector<std::pair<int, std::string>> flats = {
        {61, "REb"}, {63, "MIb"}, {66, "SOLb"}, {68, "LAb"}, {70, "SIb"}, {71, "DOb"}};
    for (const auto& [note, written] : flats) {
        const Written w = Write(note, PitchNames[note % 12], 0, 3);
        EXPECT_EQ(w.placingNote, note + 1) << written;
        EXPECT_EQ(w.name, written);
    }
    MainState s;
    int pc = 0;
    std::string sign;
    CALCOLONOTA(s, Write(63, "MIb - RE#", 0, 3).placingNote, pc, sign);
    EXPECT_EQ(s.NoteY, 27);
    CALCOLONOTA(s, Write(71, "SI", 0, 1).placingNote, pc, sign);
    EXPECT_EQ(s.NoteY, 7);
}

TEST(StaffKeyNotation, SharpKeysKeepThePlaceAndTakeTheSharpName) {
    const std::vector<std::pair<int, std::string>> sharps = {
        {61, "DO#"}, {63, "RE#"}, {66, "FA#"}, {68, "SOL#"}, {70, "LA#"}};
    for (const auto& [note, written] : sharps) {
        const Written w = Write(note, PitchNames[note % 12], 2, 0);
        EXPECT_EQ(w.placingNote, note);
        EXPECT_EQ(w.name, written);
    }
}

TEST(StaffKeyNotation, WhiteKeysAndTheKeyOfCChangeNothing) {
    for (int note = 60; note < 72; ++note) {
        const std::string name = PitchNames[note % 12];
        const Written inC = Write(note, name, 0, 0);
        EXPECT_EQ(inC.placingNote, note);
        EXPECT_EQ(inC.name, name);
        if (name.size() > 3 || name == "SI") continue;  // the black keys and B
        for (auto [sharps, flats] : {std::pair{5, 0}, std::pair{0, 6}}) {
            const Written w = Write(note, name, sharps, flats);
            EXPECT_EQ(w.placingNote, note) << name;
            EXPECT_EQ(w.name, name);
        }
    }
    EXPECT_EQ(Write(71, "SI", 4, 0).name, "SI");
}

}  // namespace
}  // namespace tonemark
