#include "score/staff.h"

#include <array>
#include <string_view>

namespace tonemark {

namespace {

// Text-origin y term of each pitch class: the natural it is written on (a black
// key stands on the place of the natural below it).
constexpr std::array<int, 12> kPitchClassTerm = {76, 76, 72, 72, 68, 64, 64, 60, 60, 56, 56, 52};
constexpr std::array<bool, 12> kBlackKey = {false, true,  false, true,  false, false,
                                            true,  false, true,  false, true,  false};
constexpr int kStaffOffset = 69;

int FloorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Seven diatonic steps of 4 pixels per octave, 0 for the octave from note 72.
// The table the staff was designed with covers octaves 2 to 9 (notes 24-119);
// the same rule is used for every other octave, so notes outside that range
// keep NoteY = 35 - 4 x (diatonic steps from middle C) instead of jumping.
int OctaveTerm(int octave) { return 28 * (6 - octave); }

}  // namespace

int StaffNoteY(int note) {
    const int octave = FloorDiv(note, 12);
    return OctaveTerm(octave) + kPitchClassTerm[note - 12 * octave] - kStaffOffset;
}

void CALCOLONOTA(MainState& s, int NOTX, int& NotaDaCalc, std::string& DIESIS) {
    DIESIS.clear();
    const int octave = FloorDiv(NOTX, 12);
    NotaDaCalc = NOTX - 12 * octave;
    if (kBlackKey[NotaDaCalc]) DIESIS = "#";
    s.NoteY = static_cast<std::int16_t>(StaffNoteY(NOTX));
}

namespace {

constexpr int kMiddleCY = 35;      // NoteY of a head on middle C
constexpr int kStepPixels = 4;     // one line or space
constexpr std::array<char, 7> kSteps = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};
constexpr std::array<int, 7> kStepSemitones = {0, 2, 4, 5, 7, 9, 11};

}  // namespace

Spelling SpellingAt(int noteY, int pitch) {
    const int fromMiddleC = FloorDiv(kMiddleCY - noteY, kStepPixels);  // diatonic steps
    const int octave = FloorDiv(fromMiddleC, 7);
    const int step = fromMiddleC - 7 * octave;
    const int natural = 60 + 12 * octave + kStepSemitones[step];
    return {kSteps[step], pitch - natural, 4 + octave};
}

namespace {

struct FlatSpelling {
    std::string_view prefix;
    std::string_view name;
};

// In flat keys a black key is the flat of the natural above; B becomes C flat.
constexpr std::array<FlatSpelling, 6> kFlatSpellings = {{
    {"REb ", "REb"},
    {"MIb ", "MIb"},
    {"SOLb", "SOLb"},
    {"LAb ", "LAb"},
    {"SIb ", "SIb"},
    {"SI", "DOb"},
}};

// In sharp keys a black key takes its sharp name, checked in this order.
constexpr std::array<std::string_view, 5> kSharpNames = {"FA#", "DO#", "SOL#", "LA#", "RE#"};

}  // namespace

int KeyNotation(int noteNumber, std::string& noteName, int sharpCount, int flatCount) {
    const std::string prefix = noteName.substr(0, 4);
    int placingNote = noteNumber;
    if (flatCount > 0) {
        for (const FlatSpelling& f : kFlatSpellings) {
            if (prefix == f.prefix) {
                placingNote = noteNumber + 1;
                noteName = f.name;
                break;
            }
        }
    }
    if (sharpCount > 0) {
        for (std::string_view sharp : kSharpNames)
            if (noteName.find(sharp) != std::string::npos) noteName = sharp;
    }
    return placingNote;
}

}  // namespace tonemark
