#include "music/musicxml_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "app/temp_files.h"

namespace tonemark {
namespace {

// ---------------------------------------------------------------------------
// Time: the notes and rests as spans of ticks, one after another.

// A stretch of the music: notes [first, first + count) of the model struck
// together, or a rest when count is 0.
struct Span {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::size_t first = 0;
    std::size_t count = 0;
};

std::int64_t TicksPerBar(const MusicModel& music) {
    const std::int64_t ticks = static_cast<std::int64_t>(music.beatsPerBar) * music.division * 4 /
                               std::max(music.beatUnit, 1);
    return std::max<std::int64_t>(ticks, 1);
}

// Takes are written on sixteenths; generated material as it is.
std::int64_t GridOf(const MusicModel& music) {
    return music.isTake ? std::max(music.division / 4, 1) : 1;
}

std::int64_t Snap(std::int64_t ticks, std::int64_t grid) {
    const std::int64_t down = ticks >= 0 ? ticks / grid : -((-ticks + grid - 1) / grid);
    return (ticks - down * grid) * 2 >= grid ? (down + 1) * grid : down * grid;
}

std::vector<Span> NoteSpans(const MusicModel& music) {
    const std::vector<ModelNote>& notes = music.notes;
    const std::int64_t grid = GridOf(music);
    std::set<int> restBefore;
    for (const ModelRest& rest : music.rests) restBefore.insert(rest.beforeNote);

    std::vector<Span> spans;
    std::vector<bool> restShown;  // before each span
    for (std::size_t i = 0; i < notes.size();) {
        std::size_t count = 1;
        while (i + count < notes.size() && notes[i].chord >= 0 && notes[i + count].chord == notes[i].chord) ++count;
        std::int64_t soundingEnd = 0;
        for (std::size_t k = i; k < i + count; ++k)
            soundingEnd = std::max(soundingEnd, notes[k].onsetTicks + notes[k].durationTicks);

        Span span{Snap(notes[i].onsetTicks, grid), 0, i, count};
        const bool rest = restBefore.count(notes[i].index) != 0;
        if (spans.empty()) {
            if (!rest || span.start < 0) span.start = 0;
        } else {
            span.start = std::max(span.start, spans.back().start + grid);
        }
        span.end = std::max(Snap(soundingEnd, grid), span.start + grid);
        spans.push_back(span);
        restShown.push_back(rest);
        i += count;
    }
    // Each note lasts to the next unless the score shows a rest between them;
    // a note held into the next one ends where that one starts.
    for (std::size_t k = 0; k + 1 < spans.size(); ++k) {
        if (!restShown[k + 1]) spans[k].end = spans[k + 1].start;
        else spans[k].end = std::min(spans[k].end, spans[k + 1].start);
    }
    return spans;
}

// Every stretch from the first bar line to the end of the last bar, rests
// filling the gaps and the last bar.
std::vector<Span> Timeline(const MusicModel& music) {
    std::vector<Span> timeline;
    std::int64_t now = 0;
    for (const Span& span : NoteSpans(music)) {
        if (span.start > now) timeline.push_back({now, span.start, 0, 0});
        timeline.push_back(span);
        now = span.end;
    }
    const std::int64_t bar = TicksPerBar(music);
    const std::int64_t end = std::max<std::int64_t>((now + bar - 1) / bar, 1) * bar;
    if (end > now) timeline.push_back({now, end, 0, 0});
    return timeline;
}

// ---------------------------------------------------------------------------
// Note values

struct NoteValue {
    std::int64_t ticks;
    const char* type;
    bool dotted;
};

// The values a length can be written with, longest first; only those whole in
// the song's division.
std::vector<NoteValue> NoteValues(int division) {
    struct Value {
        int sixtyFourthsOfQuarter;
        const char* type;
        bool dotted;
    };
    constexpr Value kValues[] = {
        {256, "whole", false}, {192, "half", true},  {128, "half", false}, {96, "quarter", true},
        {64, "quarter", false}, {48, "eighth", true}, {32, "eighth", false}, {24, "16th", true},
        {16, "16th", false},   {12, "32nd", true},   {8, "32nd", false},   {4, "64th", false},
        {2, "128th", false},   {1, "256th", false},
    };
    std::vector<NoteValue> values;
    for (const Value& v : kValues) {
        const std::int64_t scaled = static_cast<std::int64_t>(division) * v.sixtyFourthsOfQuarter;
        if (scaled % 64 == 0) values.push_back({scaled / 64, v.type, v.dotted});
    }
    return values;
}

// A length as values that add up to it, longest first. A remainder shorter
// than every value keeps the shortest value's look with its true length.
void Split(std::int64_t ticks, const std::vector<NoteValue>& values, std::vector<NoteValue>& parts) {
    while (ticks > 0) {
        auto fits = std::find_if(values.begin(), values.end(), [ticks](const NoteValue& v) { return v.ticks <= ticks; });
        if (fits == values.end()) {
            parts.push_back({ticks, values.empty() ? "256th" : values.back().type, false});
            break;
        }
        parts.push_back(*fits);
        ticks -= fits->ticks;
    }
}

// The values for a length that starts `position` ticks into its bar: one that
// starts off the beat is first written up to the next beat, so that the beat
// can be seen, as a musician writes it.
std::vector<NoteValue> SplitAt(std::int64_t position, std::int64_t ticks, std::int64_t beatTicks,
                               const std::vector<NoteValue>& values) {
    std::vector<NoteValue> parts;
    const std::int64_t intoBeat = beatTicks > 0 ? position % beatTicks : 0;
    if (intoBeat != 0) {
        const std::int64_t toBeat = std::min(ticks, beatTicks - intoBeat);
        Split(toBeat, values, parts);
        ticks -= toBeat;
    }
    Split(ticks, values, parts);
    return parts;
}

// ---------------------------------------------------------------------------
// Text

class Xml {
public:
    std::string text;

    Xml& operator<<(std::string_view s) {
        text += s;
        return *this;
    }
    Xml& operator<<(std::int64_t n) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, n);
        text.append(digits, result.ptr);
        return *this;
    }
    Xml& operator<<(int n) { return *this << static_cast<std::int64_t>(n); }
};

// A number with at most two decimals and no trailing zeros.
std::string Decimal(double value) {
    char digits[40];
    std::snprintf(digits, sizeof digits, "%.2f", value);
    std::string text = digits;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

// Text as XML character data: markup characters escaped, characters that XML
// cannot hold left out.
std::string Escaped(std::string_view raw) {
    std::string out;
    for (char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (byte >= 0x20 || c == '\t' || c == '\n') out += c;
        }
    }
    return out;
}

const char* AccidentalName(ShownAccidental shown) {
    switch (shown) {
        case ShownAccidental::Sharp: return "sharp";
        case ShownAccidental::Flat: return "flat";
        case ShownAccidental::Natural: return "natural";
        case ShownAccidental::None: break;
    }
    return nullptr;
}

constexpr double kMidiForte = 90;  // the velocity MusicXML's dynamics are a percentage of

void WriteHeader(Xml& x, const MusicModel& music) {
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
         "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
         "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
         "<score-partwise version=\"4.0\">\n";
    if (!music.title.empty()) x << "  <movement-title>" << Escaped(music.title) << "</movement-title>\n";
    x << "  <identification>\n    <encoding>\n      <software>Tonemark</software>\n    </encoding>\n"
         "  </identification>\n"
         "  <part-list>\n    <score-part id=\"P1\">\n      <part-name print-object=\"no\">Piano</part-name>\n"
         "      <score-instrument id=\"P1-I1\"><instrument-name>Acoustic Grand Piano</instrument-name>"
         "</score-instrument>\n"
         "      <midi-instrument id=\"P1-I1\"><midi-channel>1</midi-channel><midi-program>1</midi-program>"
         "</midi-instrument>\n"
         "    </score-part>\n  </part-list>\n  <part id=\"P1\">\n";
}

void WriteFirstBarOpening(Xml& x, const MusicModel& music) {
    x << "      <attributes>\n        <divisions>" << music.division << "</divisions>\n"
      << "        <key><fifths>" << music.fifths << "</fifths></key>\n"
      << "        <time><beats>" << music.beatsPerBar << "</beats><beat-type>" << music.beatUnit
      << "</beat-type></time>\n"
      << "        <clef><sign>G</sign><line>2</line></clef>\n      </attributes>\n";
    x << "      <direction placement=\"above\">\n        <direction-type>\n          <metronome><beat-unit>quarter"
         "</beat-unit><per-minute>"
      << static_cast<std::int64_t>(std::llround(music.tempoBpm)) << "</per-minute></metronome>\n"
      << "        </direction-type>\n        <sound tempo=\"" << Decimal(music.tempoBpm) << "\"/>\n"
      << "      </direction>\n";
}

struct Piece {
    NoteValue value;
    bool tiedFromBefore;
    bool tiedToNext;
};

// What each line and space of the staff means so far in the bar: the key
// signature, then the signs written earlier in the bar.
class BarAccidentals {
public:
    explicit BarAccidentals(int fifths) : fifths_(fifths) {}
    void NewBar() { written_.clear(); }

    // The sign a note needs written: the one the score shows, else one when
    // the line or space would read otherwise (a take's score has no bars, so
    // its signs do not always follow the bar).
    const char* SignFor(const ModelNote& note) {
        const int place = 7 * note.spelling.octave + StepIndex(note.spelling.step);
        const auto it = written_.find(place);
        const int reads = it != written_.end() ? it->second : KeyAlteration(note.spelling.step);
        const char* sign = AccidentalName(note.shown);
        if (sign == nullptr && reads != note.spelling.alter) sign = SignForAlter(note.spelling.alter);
        if (sign != nullptr) written_[place] = note.spelling.alter;
        return sign;
    }

private:
    static int StepIndex(char step) {
        const std::string_view steps = "CDEFGAB";
        const std::size_t i = steps.find(step);
        return i == std::string_view::npos ? 0 : static_cast<int>(i);
    }
    int KeyAlteration(char step) const {
        const std::string_view sharps = "FCGDAEB", flats = "BEADGCF";
        if (fifths_ > 0 && static_cast<int>(sharps.find(step)) < fifths_) return 1;
        if (fifths_ < 0 && static_cast<int>(flats.find(step)) < -fifths_) return -1;
        return 0;
    }
    static const char* SignForAlter(int alter) {
        switch (alter) {
            case -2: return "flat-flat";
            case -1: return "flat";
            case 0: return "natural";
            case 1: return "sharp";
            case 2: return "double-sharp";
            default: return nullptr;
        }
    }

    int fifths_;
    std::map<int, int> written_;  // by line or space: the alteration last written there
};

void WriteNote(Xml& x, const ModelNote& note, const Piece& piece, bool chordMember, BarAccidentals& signs) {
    x << "      <note";
    if (note.velocity > 0) x << " dynamics=\"" << Decimal(note.velocity * 100.0 / kMidiForte) << "\"";
    x << ">\n";
    if (chordMember) x << "        <chord/>\n";
    x << "        <pitch><step>" << std::string_view(&note.spelling.step, 1) << "</step>";
    if (note.spelling.alter != 0) x << "<alter>" << note.spelling.alter << "</alter>";
    x << "<octave>" << note.spelling.octave << "</octave></pitch>\n";
    x << "        <duration>" << piece.value.ticks << "</duration>\n";
    if (piece.tiedFromBefore) x << "        <tie type=\"stop\"/>\n";
    if (piece.tiedToNext) x << "        <tie type=\"start\"/>\n";
    x << "        <voice>1</voice>\n        <type>" << piece.value.type << "</type>\n";
    if (piece.value.dotted) x << "        <dot/>\n";
    if (!piece.tiedFromBefore) {
        if (const char* sign = signs.SignFor(note)) x << "        <accidental>" << sign << "</accidental>\n";
    }
    if (piece.tiedFromBefore || piece.tiedToNext) {
        x << "        <notations>";
        if (piece.tiedFromBefore) x << "<tied type=\"stop\"/>";
        if (piece.tiedToNext) x << "<tied type=\"start\"/>";
        x << "</notations>\n";
    }
    x << "      </note>\n";
}

void WriteRest(Xml& x, std::int64_t ticks, const NoteValue* value) {
    if (value == nullptr) {  // the whole bar
        x << "      <note>\n        <rest measure=\"yes\"/>\n        <duration>" << ticks
          << "</duration>\n        <voice>1</voice>\n      </note>\n";
        return;
    }
    x << "      <note>\n        <rest/>\n        <duration>" << ticks << "</duration>\n        <voice>1</voice>\n"
      << "        <type>" << value->type << "</type>\n";
    if (value->dotted) x << "        <dot/>\n";
    x << "      </note>\n";
}

struct BarGrid {
    std::int64_t start, ticks, beatTicks;
};

void WriteSpanInBar(Xml& x, const MusicModel& music, const Span& span, std::int64_t from, std::int64_t to,
                    const std::vector<NoteValue>& values, const BarGrid& bar, BarAccidentals& signs) {
    const std::vector<NoteValue> parts = SplitAt(from - bar.start, to - from, bar.beatTicks, values);
    if (span.count == 0) {
        if (to - from == bar.ticks) {
            WriteRest(x, bar.ticks, nullptr);
            return;
        }
        for (const NoteValue& v : parts) WriteRest(x, v.ticks, &v);
        return;
    }
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const Piece piece{parts[p], from > span.start || p > 0, to < span.end || p + 1 < parts.size()};
        for (std::size_t k = 0; k < span.count; ++k)
            WriteNote(x, music.notes[span.first + k], piece, k > 0, signs);
    }
}

void WriteBars(Xml& x, const MusicModel& music) {
    const std::int64_t barTicks = TicksPerBar(music);
    const std::int64_t beatTicks = std::max<std::int64_t>(music.division * 4 / std::max(music.beatUnit, 1), 1);
    const std::vector<NoteValue> values = NoteValues(music.division);
    const std::vector<Span> timeline = Timeline(music);
    const std::int64_t end = timeline.empty() ? barTicks : timeline.back().end;
    std::size_t next = 0;
    BarAccidentals signs(music.fifths);
    for (std::int64_t bar = 0; bar * barTicks < end; ++bar) {
        const std::int64_t barStart = bar * barTicks, barEnd = barStart + barTicks;
        signs.NewBar();
        x << "    <measure number=\"" << bar + 1 << "\">\n";
        if (bar == 0) WriteFirstBarOpening(x, music);
        for (std::size_t k = next; k < timeline.size() && timeline[k].start < barEnd; ++k) {
            const Span& span = timeline[k];
            WriteSpanInBar(x, music, span, std::max(span.start, barStart), std::min(span.end, barEnd), values,
                           {barStart, barTicks, beatTicks}, signs);
            if (span.end <= barEnd) next = k + 1;
        }
        if (barEnd >= end) x << "      <barline location=\"right\"><bar-style>light-heavy</bar-style></barline>\n";
        x << "    </measure>\n";
    }
}

// ---------------------------------------------------------------------------
// Zip

constexpr char kMimeType[] = "application/vnd.recordare.musicxml";
constexpr char kScoreEntry[] = "score.musicxml";
constexpr char kContainer[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<container>\n  <rootfiles>\n"
    "    <rootfile full-path=\"score.musicxml\" media-type=\"application/vnd.recordare.musicxml+xml\"/>\n"
    "  </rootfiles>\n</container>\n";

void Le16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Le32(std::string& out, std::uint32_t v) {
    Le16(out, v & 0xFFFF);
    Le16(out, v >> 16);
}

// Raw deflate, as zip wants it; empty when zlib fails.
bool Deflate(const std::string& in, std::string& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END;
}

struct ZipEntry {
    std::string name;
    std::string data;
    bool compress;
};

// MS-DOS time and date of the moment the archive is made.
void DosNow(std::uint32_t& time, std::uint32_t& date) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    time = static_cast<std::uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    date = static_cast<std::uint32_t>((std::max(local.tm_year - 80, 0) << 9) | ((local.tm_mon + 1) << 5) |
                                      local.tm_mday);
}

std::string Zip(const std::vector<ZipEntry>& entries) {
    std::uint32_t time = 0, date = 0;
    DosNow(time, date);
    std::string archive, directory;
    for (const ZipEntry& entry : entries) {
        std::string stored;
        const bool deflated = entry.compress && Deflate(entry.data, stored);
        if (!deflated) stored = entry.data;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size())));
        const auto offset = static_cast<std::uint32_t>(archive.size());
        const std::uint32_t method = deflated ? 8 : 0;

        std::string common;  // from "version needed" to the name's length
        Le16(common, 20);
        Le16(common, 0);
        Le16(common, method);
        Le16(common, time);
        Le16(common, date);
        Le32(common, crc);
        Le32(common, static_cast<std::uint32_t>(stored.size()));
        Le32(common, static_cast<std::uint32_t>(entry.data.size()));
        Le16(common, static_cast<std::uint32_t>(entry.name.size()));
        Le16(common, 0);  // extra field

        Le32(archive, 0x04034b50);
        archive += common + entry.name + stored;

        Le32(directory, 0x02014b50);
        Le16(directory, 20);  // made by: MS-DOS attributes, zip 2.0
        directory += common;
        Le16(directory, 0);  // comment
        Le16(directory, 0);  // disk
        Le16(directory, 0);  // internal attributes
        Le32(directory, 0);  // external attributes
        Le32(directory, offset);
        directory += entry.name;
    }
    const auto directoryAt = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    Le32(archive, 0x06054b50);
    Le16(archive, 0);
    Le16(archive, 0);
    Le16(archive, static_cast<std::uint32_t>(entries.size()));
    Le16(archive, static_cast<std::uint32_t>(entries.size()));
    Le32(archive, static_cast<std::uint32_t>(directory.size()));
    Le32(archive, directoryAt);
    Le16(archive, 0);
    return archive;
}

bool EndsWithMxl(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".mxl";
}

}  // namespace

std::string MusicXmlDocument(const MusicModel& music) {
    Xml x;
    x.text.reserve(1024 + music.notes.size() * 400);
    WriteHeader(x, music);
    WriteBars(x, music);
    x << "  </part>\n</score-partwise>\n";
    return std::move(x.text);
}

std::string CompressedMusicXml(const MusicModel& music) {
    // The mimetype comes first and stored, so that it can be recognised.
    return Zip({{"mimetype", kMimeType, false},
                {"META-INF/container.xml", kContainer, true},
                {kScoreEntry, MusicXmlDocument(music), true}});
}

std::string ExportMusicXml(const MusicModel& music, const std::string& path) {
    if (music.notes.empty()) return "there are no notes to export";
    return ReplaceFileAtOnce(path, EndsWithMxl(path) ? CompressedMusicXml(music) : MusicXmlDocument(music));
}

}  // namespace tonemark
