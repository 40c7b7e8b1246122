#include "score/scale_rules.h"

#include <array>
#include <span>
#include <string_view>

namespace tonemark {

namespace {

constexpr int kMelodicMinor = 2;
constexpr int kHarmonicMinor = 3;
constexpr int kBlues = 10;
constexpr int kWholeTone = 13;

enum class Sign { Natural, Sharp, Flat };
enum class When { Always, Sharps, Flats, NoSharps };
enum class Place { AsWritten, BackToNote, BelowNote };

struct Rule {
    std::string_view prefix;
    When when;
    Sign sign;
    Place place = Place::AsWritten;
    std::string_view newName = {};
};

constexpr Rule kRaisedSixth[] = {
    {"LA", When::Flats, Sign::Natural},
    {"SIb ", When::Sharps, Sign::Sharp},
    {"SI", When::Flats, Sign::Natural, Place::BackToNote, "SI"},
    {"DO", When::Flats, Sign::Natural},
    {"REb ", When::Sharps, Sign::Sharp},
    {"RE", When::Flats, Sign::Natural},
    {"MIb ", When::Sharps, Sign::Sharp},
    {"MI", When::Flats, Sign::Natural},
    {"FA", When::Sharps, Sign::Natural},
    {"SOLb", When::NoSharps, Sign::Sharp, Place::AsWritten, "FA#"},
    {"SOL", When::Flats, Sign::Natural},
    {"LAb ", When::Sharps, Sign::Sharp},
};

constexpr Rule kRaisedSeventh[] = {
    {"SI", When::Flats, Sign::Natural, Place::BackToNote, "SI"},
    {"DO", When::Sharps, Sign::Sharp, Place::BelowNote, "SI#"},
    {"REb ", When::Flats, Sign::Flat},
    {"RE", When::Flats, Sign::Natural},
    {"MIb ", When::Sharps, Sign::Sharp},
    {"MI", When::Flats, Sign::Natural},
    {"FA", When::Sharps, Sign::Natural},
    {"SOLb", When::Flats, Sign::Flat},
    {"SOL", When::Sharps, Sign::Natural},
    {"LAb ", When::NoSharps, Sign::Sharp, Place::AsWritten, "SOL#"},
    {"LA", When::Flats, Sign::Natural},
    {"SIb ", When::Sharps, Sign::Sharp},
};

// The octave stands on the place of the raised seventh just before it.
constexpr Rule kOctaveAfterSeventh[] = {
    {"RE", When::Flats, Sign::Natural},
    {"SOLb", When::Sharps, Sign::Sharp},
    {"SOL", When::Flats, Sign::Natural},
    {"LAb ", When::Sharps, Sign::Sharp},
};

constexpr Rule kDiminishedFifth[] = {
    {"SOLb", When::Always, Sign::Flat},
    {"SOL", When::Always, Sign::Natural},
    {"LAb ", When::Always, Sign::Sharp, Place::AsWritten, "SOL#"},
    {"LA", When::Always, Sign::Natural},
    {"SIb ", When::Always, Sign::Sharp},
    {"DO", When::Always, Sign::Natural},
    {"REb ", When::Always, Sign::Flat},
    {"RE", When::Always, Sign::Natural},
    {"MIb ", When::Always, Sign::Sharp},
    {"MI", When::Always, Sign::Natural},
    {"FA", When::Always, Sign::Natural},
    // The blues on F: its B is written on the place of C in the flat key, so
    // it is a C flat and carries the flat, as the fifth does in the other keys.
    // The fourth after it (B flat, on the place of B) needs nothing beyond the
    // key signature, so the table below has no row for it.
    {"SI", When::Flats, Sign::Flat},
};

// The fourth stands on the place of the diminished fifth just before it.
constexpr Rule kFourthAfterFifth[] = {
    {"SOL", When::Always, Sign::Natural}, {"LAb ", When::Always, Sign::Flat},
    {"LA", When::Always, Sign::Natural},  {"REb ", When::Always, Sign::Flat},
    {"RE", When::Always, Sign::Natural},  {"MIb ", When::Always, Sign::Flat},
};

std::span<const Rule> RulesFor(int selection, int i) {
    const bool minor = selection == kMelodicMinor || selection == kHarmonicMinor;
    if (selection == kMelodicMinor && i == 5) return kRaisedSixth;
    if (selection == kMelodicMinor && i == 6) return kRaisedSeventh;
    if (selection == kHarmonicMinor && (i == 6 || i == 8)) return kRaisedSeventh;
    if (minor && i == 7) return kOctaveAfterSeventh;
    if (selection == kBlues && (i == 3 || i == 9)) return kDiminishedFifth;
    if (selection == kBlues && i == 10) return kFourthAfterFifth;
    return {};
}

bool Holds(When when, int sharpCount, int flatCount) {
    switch (when) {
        case When::Always: return true;
        case When::Sharps: return sharpCount > 0;
        case When::Flats: return flatCount > 0;
        case When::NoSharps: return sharpCount == 0;
    }
    return false;
}

SignFlags FlagFor(Sign sign) {
    SignFlags flags;
    flags.natural = sign == Sign::Natural;
    flags.sharp = sign == Sign::Sharp;
    flags.flat = sign == Sign::Flat;
    return flags;
}

// Whole tone: the sign of the pairs (3, 9), (4, 8) and (5, 7) by key signature.
struct WholeToneKey {
    int sharps, flats;
    std::array<Sign, 3> signs;
};

constexpr WholeToneKey kWholeToneKeys[] = {
    {0, 0, {Sign::Sharp, Sign::Sharp, Sign::Sharp}},
    {0, 5, {Sign::Natural, Sign::Natural, Sign::Flat}},
    {2, 0, {Sign::Sharp, Sign::Sharp, Sign::Natural}},
    {0, 3, {Sign::Natural, Sign::Flat, Sign::Flat}},
    {4, 0, {Sign::Sharp, Sign::Natural, Sign::Natural}},
    {0, 1, {Sign::Flat, Sign::Flat, Sign::Flat}},
    {0, 6, {Sign::Natural, Sign::Natural, Sign::Natural}},
    {1, 0, {Sign::Sharp, Sign::Sharp, Sign::Natural}},
    {0, 4, {Sign::Natural, Sign::Natural, Sign::Flat}},
    {3, 0, {Sign::Sharp, Sign::Natural, Sign::Natural}},
    {0, 2, {Sign::Natural, Sign::Flat, Sign::Flat}},
    {5, 0, {Sign::Natural, Sign::Natural, Sign::Natural}},
};

int WholeTonePair(int i) {
    switch (i) {
        case 3: case 9: return 0;
        case 4: case 8: return 1;
        case 5: case 7: return 2;
        default: return -1;
    }
}

SignFlags WholeToneSign(int i, int sharpCount, int flatCount) {
    const int pair = WholeTonePair(i);
    if (pair < 0) return {};
    for (const WholeToneKey& key : kWholeToneKeys)
        if (key.sharps == sharpCount && key.flats == flatCount) return FlagFor(key.signs[pair]);
    return {};
}

}  // namespace

SignFlags ApplyScaleRules(int selection, int i, const std::string& prefix, int sharpCount,
                          int flatCount, int noteNumber, int& placingNote, std::string& noteName) {
    if (selection == kWholeTone) return WholeToneSign(i, sharpCount, flatCount);
    for (const Rule& rule : RulesFor(selection, i)) {
        if (rule.prefix != prefix) continue;
        if (!Holds(rule.when, sharpCount, flatCount)) return {};
        if (rule.place == Place::BackToNote) placingNote = noteNumber;
        if (rule.place == Place::BelowNote) placingNote = noteNumber - 1;
        if (!rule.newName.empty()) noteName = rule.newName;
        return FlagFor(rule.sign);
    }
    return {};
}

namespace {

constexpr bool kBlackKey[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
// Pitch classes of the naturals that the signatures alter, in the order they are added.
constexpr int kSharpOrder[5] = {5, 0, 7, 2, 9};     // F C G D A
constexpr int kFlatOrder[6] = {11, 4, 9, 2, 7, 0};  // B E A D G C

int PitchClass(int note) { return ((note % 12) + 12) % 12; }

int Alteration(const SignFlags& f) { return f.sharp ? 1 : f.flat ? -1 : 0; }

}  // namespace

HeldSigns::HeldSigns(int sharpCount, int flatCount) {
    for (int i = 0; i < sharpCount && i < 5; ++i) signature_[kSharpOrder[i]] = 1;
    for (int i = 0; i < flatCount && i < 6; ++i) signature_[kFlatOrder[i]] = -1;
}

SignFlags HeldSigns::Settle(int noteNumber, int placingNote, SignFlags signs) {
    // A black key stands on the place of the natural below it.
    const int natural = placingNote - (kBlackKey[PitchClass(placingNote)] ? 1 : 0);
    if (signs.natural || signs.sharp || signs.flat) {
        held_[natural] = Alteration(signs);
        return signs;
    }
    const auto it = held_.find(natural);
    const int inForce = it != held_.end() ? it->second : signature_[PitchClass(natural)];
    const int needed = noteNumber - natural;
    if (needed == inForce || needed < -1 || needed > 1) return signs;
    SignFlags own;
    own.natural = needed == 0;
    own.sharp = needed == 1;
    own.flat = needed == -1;
    held_[natural] = needed;
    return own;
}

}  // namespace tonemark
