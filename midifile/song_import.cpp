#include "midifile/song_import.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>

namespace tonemark {
namespace {

constexpr int kPercussionChannel = 9;
constexpr double kDefaultMicrosPerQuarter = 500000;  // 120 beats per minute

struct TickEvent {
    std::int64_t tick = 0;
    std::size_t order = 0;  // position in the file, to keep equal ticks in file order
    bool press = false;
    int note = 0;
    int velocity = 0;
};

struct TempoChange {
    std::int64_t tick = 0;
    std::size_t order = 0;
    double microsPerQuarter = kDefaultMicrosPerQuarter;
};

class Bytes {
public:
    explicit Bytes(std::string_view data) : data_(data) {}
    bool AtEnd() const { return at_ >= data_.size(); }
    std::size_t Left() const { return data_.size() - at_; }
    std::optional<int> Byte() {
        if (AtEnd()) return std::nullopt;
        return static_cast<unsigned char>(data_[at_++]);
    }
    std::optional<int> Peek() const {
        if (AtEnd()) return std::nullopt;
        return static_cast<unsigned char>(data_[at_]);
    }
    // A variable-length quantity of at most four bytes.
    std::optional<std::uint32_t> Quantity() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto b = Byte();
            if (!b) return std::nullopt;
            value = (value << 7) | static_cast<std::uint32_t>(*b & 0x7F);
            if ((*b & 0x80) == 0) return value;
        }
        return std::nullopt;
    }
    std::optional<std::uint32_t> Big(int n) {
        std::uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            const auto b = Byte();
            if (!b) return std::nullopt;
            value = (value << 8) | static_cast<std::uint32_t>(*b);
        }
        return value;
    }
    bool Skip(std::size_t n) {
        if (n > Left()) return false;
        at_ += n;
        return true;
    }
    std::string_view Take(std::size_t n) {
        n = std::min(n, Left());
        std::string_view part = data_.substr(at_, n);
        at_ += n;
        return part;
    }

private:
    std::string_view data_;
    std::size_t at_ = 0;
};

// One track's notes and tempo changes, up to its end or its last whole event.
void ReadTrack(std::string_view track, std::vector<TickEvent>& notes, std::vector<TempoChange>& tempos,
               std::size_t& order) {
    Bytes in(track);
    std::int64_t tick = 0;
    int status = 0;
    // Notes sounding, per channel and key: how many presses are still open.
    std::map<int, int> open;
    while (!in.AtEnd()) {
        const auto delta = in.Quantity();
        if (!delta) break;
        tick += *delta;
        auto first = in.Peek();
        if (!first) break;
        if (*first >= 0x80) {
            in.Byte();
            if (*first < 0xF0) status = *first;  // running status holds for channel messages only
        } else if (status == 0) {
            break;  // data without a status: the track is damaged here
        }
        const int kind = *first >= 0x80 ? *first : status;
        if (kind == 0xFF) {
            status = 0;
            const auto type = in.Byte();
            const auto length = in.Quantity();
            if (!type || !length || *length > in.Left()) break;
            if (*type == 0x2F) break;
            Bytes data(in.Take(*length));
            if (*type == 0x51 && *length == 3) {
                const auto micros = data.Big(3);
                if (micros && *micros > 0) tempos.push_back({tick, order++, static_cast<double>(*micros)});
            }
            continue;
        }
        if (kind == 0xF0 || kind == 0xF7) {
            status = 0;
            const auto length = in.Quantity();
            if (!length || !in.Skip(*length)) break;
            continue;
        }
        if (kind >= 0xF0) break;  // no other system message belongs in a file
        const int type = kind & 0xF0;
        const int channel = kind & 0x0F;
        const int dataBytes = (type == 0xC0 || type == 0xD0) ? 1 : 2;
        const auto a = in.Byte();
        const auto b = dataBytes == 2 ? in.Byte() : std::optional<int>(0);
        if (!a || !b || *a > 127 || *b > 127) break;
        if ((type != 0x80 && type != 0x90) || channel == kPercussionChannel) continue;
        const int key = channel * 128 + *a;
        if (type == 0x90 && *b > 0) {
            ++open[key];
            notes.push_back({tick, order++, true, *a, *b});
        } else if (open[key] > 0) {
            --open[key];
            notes.push_back({tick, order++, false, *a, 0});
        }
    }
    for (const auto& [key, count] : open) {
        for (int i = 0; i < count; ++i) notes.push_back({tick, order++, false, key % 128, 0});
    }
}

}  // namespace

ImportedSong ImportSmf(std::string_view bytes) {
    ImportedSong song;
    Bytes in(bytes);
    if (bytes.substr(0, 4) != "MThd") {
        song.error = "it is not a MIDI file";
        return song;
    }
    in.Skip(4);
    const auto headerLength = in.Big(4);
    const auto format = in.Big(2);
    in.Big(2);  // the track count; the chunks themselves are read
    const auto division = in.Big(2);
    if (!headerLength || !division || *headerLength < 6 || !in.Skip(*headerLength - 6)) {
        song.error = "its header is damaged";
        return song;
    }
    if ((*division & 0x8000) != 0 || *division == 0) {
        song.error = "it counts time in frames of video time code, which Tonemark does not read";
        return song;
    }
    (void)format;  // format 2's songs one after another are read as one, like format 1

    std::vector<TickEvent> notes;
    std::vector<TempoChange> tempos;
    std::size_t order = 0;
    while (in.Left() >= 8) {
        const std::string_view id = in.Take(4);
        const std::uint32_t length = *in.Big(4);
        const std::string_view chunk = in.Take(length);  // a cut chunk is read as far as it goes
        if (id == "MTrk") ReadTrack(chunk, notes, tempos, order);
    }
    if (std::none_of(notes.begin(), notes.end(), [](const TickEvent& e) { return e.press; })) {
        song.error = "it holds no notes";
        return song;
    }

    // Ticks to milliseconds through the tempo changes of all tracks.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& x, const TempoChange& y) { return x.tick < y.tick; });
    if (!tempos.empty())
        song.tempoBpm = static_cast<int>(std::lround(60'000'000.0 / tempos.front().microsPerQuarter));
    const double ticksPerQuarter = *division;
    auto toMs = [&](std::int64_t tick) {
        double ms = 0;
        std::int64_t from = 0;
        double micros = kDefaultMicrosPerQuarter;
        for (const TempoChange& t : tempos) {
            if (t.tick >= tick) break;
            ms += static_cast<double>(t.tick - from) * micros / ticksPerQuarter / 1000.0;
            from = t.tick;
            micros = t.microsPerQuarter;
        }
        return ms + static_cast<double>(tick - from) * micros / ticksPerQuarter / 1000.0;
    };

    std::stable_sort(notes.begin(), notes.end(), [](const TickEvent& x, const TickEvent& y) {
        if (x.tick != y.tick) return x.tick < y.tick;
        if (x.press != y.press) return !x.press;  // a key is let go before it is struck again
        return x.order < y.order;
    });

    // Past the last note kept, the notes still sounding end as in the file.
    std::map<int, int> sounding;
    int presses = 0;
    for (const TickEvent& e : notes) {
        if (e.press && presses == kLongestImport) {
            ++song.notesLeftOut;
            continue;
        }
        if (e.press) {
            ++presses;
            ++sounding[e.note];
        } else {
            if (sounding[e.note] == 0) continue;  // the release of a note left out
            --sounding[e.note];
        }
        song.events.push_back({toMs(e.tick), e.press, e.note, e.velocity});
    }
    return song;
}

}  // namespace tonemark
