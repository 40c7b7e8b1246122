// The practice pass as the program runs it: the count-in and the metronome
// handed to the synthesiser ahead of time, the cursor and the keys lit as the
// material goes by, every key played taken on the pass clock from its own
// stamp, and, when the pass ends, the judging, the history, the review on the
// score and what the next pass should be. No window system here: the view
// calls these handlers and a millisecond ticker calls PracticeTick.
//
// The pass clock. A "Keep going" pass counts milliseconds from the moment its
// first note is due as heard: the clicks are handed to the synthesiser to
// sound at a time on the monotonic clock and are heard the sound output's
// lead later (the same lead the playback follower holds back by), so zero is
// the first note's scheduled time plus that lead. A press stamped `when`
// (the moment the window system or the MIDI input saw it) is at
// (when - zero) / 1000 ms; no press is ever timed by reading the clock when it
// is handled.
//
// "Wait for me" has no beat: its clock counts from the pass's start; the
// cursor stands on a note until its key is pressed. Each note's result has
// the verdict "on time" when its key was the first pressed, "wrong" (with the
// first wrong key as the played pitch) when another key came first; dueMs is
// when the right key came, onsetErrorMs is NaN (nothing was due at a time),
// heldFraction NaN, velocity that of the right key. Chords ("Triadi") take
// their notes in any order.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/main_form.h"

namespace tonemark {

// Starts a pass on the music on show in the chosen mode at the practice
// tempo; with "Loop the weakest bar" and a judged pass before it, on that
// bar with one bar before it. A pass or tap-along under way is ended first.
// False (and a message) when there is nothing to practise.
bool StartPracticePass(Main& m);

// Ends the pass or tap-along under way (Escape). A pass stopped early is
// judged over the notes due so far, reviewed, and not kept in the history.
void StopPractice(Main& m);

// Ctrl+P and the "Practice" button: the practice window, and a pass.
void Practice_Click(Main& m);

// Escape: ends what is under way; does nothing otherwise.
void PracticeEscape(Main& m);

// Every millisecond while PracticeTicking: hands the clicks (and the soft
// notes) due soon to the synthesiser, moves the cursor, ends the pass.
void PracticeTick(Main& m);
bool PracticeTicking(const Main& m);

// A key pressed (down) or released at `when` on the monotonic clock, from any
// input; `velocity` 1..127 from a MIDI keyboard, 0 from the others.
void PracticeKeyAt(Main& m, int pitch, int velocity, bool down, MonotonicMicros when);

// Tap along: eight clicks at the practice tempo; taps from any key. When the
// clicks are over the median offset is kept (and saved) if four taps or more
// came near a click.
void StartTapAlong(Main& m);

// The options the practice window sets; the mode is kept for the next run.
void SetPracticeMode(Main& m, PracticeMode mode);
void SetPracticeBpm(Main& m, double bpm);
// The tempo the next pass runs at: the one set, else the one the main window shows.
double PracticeBpm(Main& m);

// A click on engraved note `note` of the score while a review is on it:
// shows that note's figures in the message line. False when no review is on.
bool PracticeReviewClick(Main& m, int note);

// The material on show as the history keys it.
PracticeMaterial CurrentMaterial(const Main& m);

// The history, opened on first use. Its problem, if any, is said once.
practice::History& PracticeHistory(Main& m);
// The last passes of the material on show, oldest first.
std::vector<practice::PassPoint> PracticeChart(Main& m, int count = 30);

// One line on what is under way ("Count-in", "Note 3 of 15", "Play E4"), or
// empty when nothing is.
std::string PracticeProgressText(const Main& m);

// The settings file beside the history.
std::string PracticeSettingsPath(const Main& m);

}  // namespace tonemark
