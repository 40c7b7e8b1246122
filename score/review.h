// The review of a practice pass on the score: each judged note's head in the
// colour of its verdict, its onset error in small figures above it, a wrong
// note's played pitch as a grey head beside it, and the line the message
// line shows for a note clicked.
#pragma once

#include <cstdint>
#include <string>

#include "music/music_model.h"
#include "practice/judge.h"
#include "score/canvas.h"

namespace tonemark {

// Colours of the review (RGB, red in the lowest byte, as TextOp::color).
inline constexpr std::uint32_t kReviewOnTime = 0x3C9600;  // green (0, 150, 60)
inline constexpr std::uint32_t kReviewOffTime = 0x0082E6; // orange (230, 130, 0): early or late
inline constexpr std::uint32_t kReviewWrong = 0x0000DC;   // red (220, 0, 0)
inline constexpr std::uint32_t kReviewMissed = 0xAAAAAA;  // light grey: faded out, not played
inline constexpr std::uint32_t kReviewPlayed = 0x6E6E6E;  // darker grey: the pitch a wrong note played

// The head colour of a verdict; black for an extra note, which has no head.
std::uint32_t ReviewColor(practice::Verdict v);

// Lays the review of `judged` over `score` as `model` engraved it (the model's
// columns place the marks). Draws over an earlier review, taking that off
// first. Heads are the note's text operations other than its signs; stems are
// part of the head glyphs and take its colour, ledger lines and signs stay
// black. Each column shows one figure above its (highest) head, left of the
// stem: a lone note's onset error, a chord's the error of its first right
// note. The played pitch of a wrong note is a grey cue-sized head right of the
// stem, with the sign the key needs before it (signs held from earlier in the
// bar are not taken into account). Notes outside the picture get no marks;
// extra presses are not drawn.
void DrawPracticeReview(RecordingCanvas& score, const MusicModel& model, const practice::PassJudgement& judged);

// Takes the review off: every mark gone, every head black again.
void ClearPracticeReview(RecordingCanvas& score);

// The onset error as the review writes it: "+23", "−30" (a true minus), "0".
std::string OnsetErrorText(double errorMs);

// A MIDI note's name, "E4", "F#4"; black keys as flats in a key with flats
// (`fifths` < 0).
std::string PitchName(int pitch, int fifths = 0);

// The message line's text for a judged note, e.g. "Note 3, E4: late +34 ms,
// held 92 %, velocity 80" (notes counted from 1; velocity only from a MIDI
// keyboard).
std::string NoteReviewText(const practice::NoteResult& note, int fifths = 0);

}  // namespace tonemark
