// Judging a practice pass: what the score asked for, what the learner played
// (from the input's own stamps), and a verdict per note. Pure functions, no
// clock, no window: the pass driver hands in both lists when the pass ends.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "music/music_model.h"

namespace tonemark::practice {

enum class Verdict { OnTime, Early, Late, Wrong, Missed, Extra };

// The words kept in the history and shown in the review: "on time", "early",
// "late", "wrong", "missed", "extra".
const char* VerdictText(Verdict v);

// One note the pass expects, on the pass clock: milliseconds from the moment
// the pass's first note is due (that note has dueMs 0 unless a lead-in bar
// comes first).
struct ExpectedNote {
    int idx = 0;          // the note's index in MusicModel::notes (its place on the score)
    int pitch = 60;       // MIDI note that should sound
    double dueMs = 0;     // when it should start
    double lengthMs = 0;  // its written length at the pass's tempo
    int chord = -1;       // notes struck together share a number; -1 alone
    int bar = 1;
};

// One key the learner played, on the pass clock, from the press's and the
// release's own stamps.
struct PlayedNote {
    int pitch = 60;
    double onMs = 0;
    double offMs = NAN;  // NaN: still held when the pass ended
    int velocity = 0;    // 1..127 from a MIDI keyboard; 0 when the input has none
};

struct NoteResult {
    int idx = 0;                  // as ExpectedNote::idx; an extra note takes the idx of the note it came nearest
    double dueMs = 0;
    int expectedPitch = 60;       // for an extra note: the pitch of that nearest note
    int playedPitch = -1;         // -1: nothing played for it
    double onsetErrorMs = NAN;    // played onset - offset - due (an extra note's against the note it
                                  // came nearest); NaN when nothing was played
    double heldFraction = NAN;    // held time / written length; NaN when nothing was played
    int velocity = 0;
    Verdict verdict = Verdict::Missed;
};

struct PassSummary {
    int expected = 0;              // notes the pass asked for
    int right = 0;                 // on time, early or late with the right pitch
    int onTime = 0;
    int wrong = 0;
    int missed = 0;
    int extra = 0;
    double medianAbsErrorMs = NAN; // of |onset error| over the notes played with the right pitch
    double p90AbsErrorMs = NAN;
    double evennessMs = NAN;       // spread (standard deviation) of the played inter-onset intervals
                                   // less the written ones (a chord is one onset, its first note; a
                                   // note not played right breaks the run); NaN under two intervals
    double meanHeldFraction = NAN; // each right note's held fraction capped at 1, so one note held
                                   // on does not hide another cut short
    double velocitySpread = NAN;   // standard deviation of the right notes' velocities; NaN without
                                   // MIDI velocities
};

struct PassJudgement {
    std::vector<NoteResult> notes;  // one per expected note in order, then the extra ones
    PassSummary summary;
};

// The notes of `model` from `firstNote` to `lastNote` (indices into
// model.notes, inclusive) at `speed` times the model's tempo, on the pass clock
// (the first of them due at `leadInMs`). Indices outside the model are
// clamped; a speed that is not a positive number gives no notes.
std::vector<ExpectedNote> ExpectedFromModel(const MusicModel& model, double speed, int firstNote, int lastNote,
                                            double leadInMs = 0);

// The window a press must land in to count as on time for a note of this
// written length: max(20 ms, 5 % of the length). Beyond it, up to half the
// length (never less than the on-time window), the note is early or late;
// further off it is missed.
double OnTimeWindowMs(double lengthMs);
double LateLimitMs(double lengthMs);

// Judges a pass. `offsetMs` (the learner's calibrated steady offset) is taken
// off every played onset first. Chord notes count as struck together when
// their presses come within 40 ms of each other.
//
// Matching: each press stands for one note at most. Presses of the right pitch
// are matched first, nearest in time first over the whole pass, so a repeated
// pitch takes the press nearest its own due time and never its neighbour's;
// a note left without one then takes the nearest unused press of another pitch
// inside its window as a wrong note; every press left over is extra.
//
// A chord's strike begins with its first right press. Its notes pressed
// within 40 ms of that one were struck together: they all take the verdict of
// the first press's onset error. A note pressed more than 40 ms after the
// first came late to the chord and is late, even when its own error alone
// would be on time. Every note keeps its own onset error.
//
// Held length runs from press to release; a key still held at the end (offMs
// NaN) counts as held until `passEndMs`. Without a pass end (the first form,
// or NaN) the pass ends when the last written note runs out, or at the last
// stamp played if that comes later. A press without a finite onset is left
// out. Quantiles interpolate between the nearest ranks.
PassJudgement JudgePass(const std::vector<ExpectedNote>& expected, const std::vector<PlayedNote>& played,
                        double offsetMs);
PassJudgement JudgePass(const std::vector<ExpectedNote>& expected, const std::vector<PlayedNote>& played,
                        double offsetMs, double passEndMs);

}  // namespace tonemark::practice
