#include "music/model_builder.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "score/staff.h"

namespace tonemark {
namespace {

constexpr int kDefaultDivision = 192;
constexpr double kMicrosPerMinute = 60'000'000.0;

std::int64_t Ticks(double ticks) { return std::llround(ticks); }

// How long a note sounds: to its own note-off; a note never switched off
// lasts to the end the score gives it, if any.
double SoundingTicks(const NoteEvent& e) {
    if (e.OffTick >= e.StartTick) return e.OffTick - e.StartTick;
    if (e.EndTick > e.StartTick) return e.EndTick - e.StartTick;
    return 0;
}

std::int64_t TicksPerBar(const MusicModel& music) {
    return static_cast<std::int64_t>(music.beatsPerBar) * music.division * 4 / music.beatUnit;
}

void PlaceInBar(const MusicModel& music, std::int64_t onset, int& bar, double& beat) {
    const std::int64_t perBar = std::max<std::int64_t>(TicksPerBar(music), 1);
    const std::int64_t barIndex = onset >= 0 ? onset / perBar : (onset - perBar + 1) / perBar;
    bar = static_cast<int>(barIndex + 1);
    const double perBeat = music.division * 4.0 / music.beatUnit;
    beat = 1.0 + static_cast<double>(onset - barIndex * perBar) / perBeat;
}

}  // namespace

void StartMusicModel(Main& m, bool isTake, int fifths) {
    const MainState& s = m.state;
    MusicModel music;
    music.title = m.ui.Labella.caption;
    music.isTake = isTake;
    music.division = s.Division > 0 ? s.Division : kDefaultDivision;
    if (s.TempoMicros > 0) {
        music.tempoMicros = s.TempoMicros;
        music.tempoBpm = kMicrosPerMinute / s.TempoMicros;
    }
    if (s.TimeSigNumerator > 0 && s.TimeSigDenominator > 0) {
        music.beatsPerBar = s.TimeSigNumerator;
        music.beatUnit = s.TimeSigDenominator;
    }
    music.fifths = fifths;
    m.music = std::move(music);
}

void AddEngravedNote(Main& m, int index, int noteY, ShownAccidental shown, int x) {
    const MainState& s = m.state;
    if (index < 0 || static_cast<std::size_t>(index) >= s.NoteEvents.size()) return;
    const NoteEvent& e = s.NoteEvents[static_cast<std::size_t>(index)];
    ModelNote note;
    note.index = index;
    note.pitch = e.NoteNumber;
    note.spelling = SpellingAt(noteY, e.NoteNumber);
    note.shown = shown;
    note.onsetTicks = Ticks(e.StartTick);
    note.durationTicks = Ticks(SoundingTicks(e));
    note.onsetMs = e.TimeMs;
    note.durationMs = SoundingTicks(e) * s.MsPerTick;
    note.velocity = e.Velocity;
    PlaceInBar(m.music, note.onsetTicks, note.bar, note.beat);
    note.x = x;
    m.music.notes.push_back(note);
}

void AddEngravedRest(Main& m, int beforeNote, double gapTicks, int x) {
    const MainState& s = m.state;
    if (beforeNote < 0 || static_cast<std::size_t>(beforeNote) >= s.NoteEvents.size()) return;
    ModelRest rest;
    rest.beforeNote = beforeNote;
    rest.durationTicks = Ticks(gapTicks);
    rest.onsetTicks = Ticks(s.NoteEvents[static_cast<std::size_t>(beforeNote)].StartTick) - rest.durationTicks;
    double beat = 0;
    PlaceInBar(m.music, rest.onsetTicks, rest.bar, beat);
    rest.x = x;
    m.music.rests.push_back(rest);
}

// Notes that start on the same tick, one after another in the song, form a chord.
void FinishMusicModel(Main& m) {
    std::vector<ModelNote>& notes = m.music.notes;
    int chords = 0;
    for (std::size_t i = 1; i < notes.size(); ++i) {
        if (notes[i].onsetTicks != notes[i - 1].onsetTicks) continue;
        if (notes[i - 1].chord < 0) notes[i - 1].chord = chords++;
        notes[i].chord = notes[i - 1].chord;
    }
}

}  // namespace tonemark
