#include "score/staff_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace tonemark::testing {
namespace {

// The note glyphs sit 37 px below their text origin at 16 points, and that
// drop grows with the point size (the header's 18-pt signs stand 41.6 px
// above their places).
constexpr double kHeadDrop = 37.0;
constexpr double kReferencePoints = 16.0;
constexpr int kTopLine = 32;  // F5
constexpr int kStep = 4;      // line to the next space
constexpr int kTopLineDiatonic = 10;  // F5 is ten diatonic steps above C4

constexpr std::array<int, 7> kNaturalSemitones = {0, 2, 4, 5, 7, 9, 11};  // C D E F G A B
constexpr std::array<char, 7> kLetters = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};

// The order in which signatures add their signs, as staff heights in the header.
constexpr std::array<int, 5> kSharpPlaces = {32, 44, 28, 40, 52};     // F C G D A
constexpr std::array<int, 6> kFlatPlaces = {48, 36, 52, 40, 56, 44};  // B E A D G C
// How far a header sign may stand from its place and still be read there.
constexpr double kHeaderSlack = 2.5;

bool IsNoteGlyph(const std::string& t) {
    return t == "x" || t == "e" || t == "q" || t == "h" || t == "h." || t == "y";
}

int FloorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int Diatonic(int place) { return kTopLineDiatonic - (place - kTopLine) / kStep; }
int Letter(int diatonic) { return diatonic - 7 * FloorDiv(diatonic, 7); }
int Octave(int diatonic) { return 4 + FloorDiv(diatonic, 7); }

std::string Written(int diatonic, const std::string& sign) {
    return std::string(1, kLetters[static_cast<std::size_t>(Letter(diatonic))]) + sign +
           std::to_string(Octave(diatonic));
}

std::string Where(const TextOp& t) {
    return "'" + t.text + "' at (" + std::to_string(t.x) + ", " + std::to_string(t.y) + ")";
}

double Place(const TextOp& t) { return t.y + kHeadDrop * t.points / kReferencePoints; }

// The letters the signature alters, by the order of sharps or of flats.
template <std::size_t N>
void ReadSignature(const std::vector<TextOp>& signs, const std::array<int, N>& places, const char* kind,
                   StaffReading& out, int& count) {
    count = static_cast<int>(signs.size());
    if (signs.size() > N) {
        out.doubts.push_back(std::to_string(signs.size()) + " " + kind + " in the signature");
        return;
    }
    for (std::size_t i = 0; i < signs.size(); ++i) {
        if (std::abs(Place(signs[i]) - places[i]) > kHeaderSlack)
            out.doubts.push_back(std::string(kind) + " " + std::to_string(i + 1) + " " + Where(signs[i]) +
                                 " is not where that sign of the signature stands");
    }
}

}  // namespace

StaffReading ReadStaff(const RecordingCanvas& header, const RecordingCanvas& score) {
    StaffReading out;

    // The header: a treble clef, then sharps or flats from left to right.
    std::vector<TextOp> sharps, flats;
    bool clef = false;
    for (const TextOp& t : header.Texts()) {
        if (t.font != "Keep") continue;
        if (t.text == "&") clef = true;
        if (t.text == "#") sharps.push_back(t);
        if (t.text == "b") flats.push_back(t);
    }
    if (!clef) out.doubts.push_back("no treble clef in the header");
    const auto byX = [](const TextOp& a, const TextOp& b) { return a.x < b.x; };
    std::stable_sort(sharps.begin(), sharps.end(), byX);
    std::stable_sort(flats.begin(), flats.end(), byX);
    if (!sharps.empty() && !flats.empty()) out.doubts.push_back("sharps and flats together in the signature");
    ReadSignature(sharps, kSharpPlaces, "sharps", out, out.sharps);
    ReadSignature(flats, kFlatPlaces, "flats", out, out.flats);
    std::array<int, 7> keyAlteration{};
    const auto alterLetters = [&](const auto& places, int count, int by) {
        for (int i = 0; i < count && i < static_cast<int>(places.size()); ++i)
            keyAlteration[static_cast<std::size_t>(Letter(Diatonic(places[static_cast<std::size_t>(i)])))] = by;
    };
    alterLetters(kSharpPlaces, out.sharps, +1);
    alterLetters(kFlatPlaces, out.flats, -1);

    // The score: heads, the signs 8 px before them, and bar lines.
    struct Head {
        TextOp op;
        int place;
        std::string signText;
    };
    std::vector<Head> heads;
    std::vector<TextOp> signs;
    std::vector<int> barLines;
    for (const TextOp& t : score.Texts()) {
        if (t.font != "Keep" || t.points != kReferencePoints) continue;
        if (IsNoteGlyph(t.text)) {
            const double place = Place(t);
            const int rounded = static_cast<int>(std::lround(place));
            if (place != rounded || (rounded - kTopLine) % kStep != 0) {
                out.doubts.push_back("head " + Where(t) + " is neither on a line nor in a space");
                continue;
            }
            heads.push_back({t, rounded, {}});
        } else if (t.text == "n" || t.text == "#" || t.text == "b") {
            signs.push_back(t);
        } else if (t.text == "|") {
            barLines.push_back(t.x);
        }
    }
    for (const TextOp& sign : signs) {
        auto it = std::find_if(heads.begin(), heads.end(), [&](const Head& h) {
            return h.op.x == sign.x + 8 && h.op.y == sign.y;
        });
        if (it == heads.end()) {
            out.doubts.push_back("sign " + Where(sign) + " stands before no head");
            continue;
        }
        if (!it->signText.empty()) out.doubts.push_back("two signs before the head " + Where(it->op));
        it->signText = sign.text;
    }

    // Reading along the staff: a sign holds for its line or space until the bar line.
    std::map<std::pair<int, int>, int> carried;  // (bar, place) -> alteration
    for (const Head& h : heads) {
        const int bar = static_cast<int>(std::count_if(barLines.begin(), barLines.end(),
                                                       [&](int bx) { return bx < h.op.x; }));
        const int d = Diatonic(h.place);
        int alteration = keyAlteration[static_cast<std::size_t>(Letter(d))];
        std::string shown;
        if (auto c = carried.find({bar, h.place}); c != carried.end()) alteration = c->second;
        if (!h.signText.empty()) {
            alteration = h.signText == "#" ? 1 : h.signText == "b" ? -1 : 0;
            carried[{bar, h.place}] = alteration;
        }
        shown = alteration > 0 ? "#" : alteration < 0 ? "b" : (h.signText == "n" ? "n" : "");
        const int midi = 12 * (Octave(d) + 1) + kNaturalSemitones[static_cast<std::size_t>(Letter(d))] + alteration;
        out.heads.push_back({h.op.x, midi, Written(d, shown)});
    }
    return out;
}

std::vector<std::vector<int>> Columns(const StaffReading& reading) {
    std::vector<std::vector<int>> columns;
    int lastX = 0;
    for (const ReadHead& h : reading.heads) {
        if (columns.empty() || h.x != lastX) columns.emplace_back();
        columns.back().push_back(h.midi);
        lastX = h.x;
    }
    for (auto& c : columns) std::sort(c.begin(), c.end());
    return columns;
}

}  // namespace tonemark::testing
