// What the practice mode keeps in the program's record between handlers: the
// options chosen, the pass under way, the last pass judged and its review,
// the calibrated offset and the history. practice/session.h works on it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "practice/coach.h"
#include "practice/history.h"
#include "practice/judge.h"

namespace tonemark {

enum class PracticeMode { KeepGoing, WaitForMe };

// "Keep going" or "Wait for me", as shown and kept in the history.
const char* PracticeModeText(PracticeMode mode);

enum class PracticePhase { Idle, Passing, Tapping };

struct PracticeOptions {
    PracticeMode mode = PracticeMode::KeepGoing;
    bool hearItToo = false;    // the material sounds softly while the learner plays
    double bpm = 0;            // the pass's tempo; 0 follows the tempo the main window shows
    bool loopWeakest = false;  // the next pass plays the weakest bar, with one bar before it
    bool stepUp = false;       // the tempo follows practice::StepTempo after each pass
};

// What a pass practised, as the history keys it.
struct PracticeMaterial {
    std::string material;
    std::string key;
    int noteValue = 0;
    bool operator==(const PracticeMaterial&) const = default;
};

// A note of a "Wait for me" pass: the keys that were not it, and how long the
// learner took from the moment the cursor reached it to its own key.
struct WaitNote {
    int wrongKeys = 0;
    int firstWrongPitch = -1;
    double msToRight = NAN;
    int velocity = 0;
    bool got = false;
};

struct PracticeState {
    PracticeOptions options;
    PracticePhase phase = PracticePhase::Idle;
    // Where the history lives; empty: practice::DefaultHistoryPath(). The
    // settings file (offset, mode) sits beside it.
    std::string historyPath;
    bool settingsRead = false;
    double offsetMs = 0;       // the learner's calibrated steady offset
    bool offsetTapped = false; // it comes from a tap-along (else it is the default 0)
    int shownBpmSeen = 0;      // the main window's tempo when options.bpm was last set

    // The pass under way. Its clock counts milliseconds from `zero` on the
    // monotonic clock: the moment the first note is due as heard.
    PracticeMode passMode = PracticeMode::KeepGoing;
    double passBpm = 0;
    PracticeMaterial passMaterial;
    std::string passStartedAt;  // ISO 8601 UTC, for the history
    std::vector<practice::ExpectedNote> expected;
    std::vector<practice::PlayedNote> played;
    std::array<int, 128> held{};  // per MIDI note: 1 + index into `played` of the press holding it, 0 if none
    MonotonicMicros zero = 0;
    MonotonicMicros leadMicros = 0;  // from handing a sound to the synthesiser to hearing it
    double beatMs = 500;
    int clicksPerBar = 4;
    std::vector<double> clickMs;     // on the pass clock, count-in first
    std::size_t clicksSent = 0;
    struct Sound {
        double ms;
        int status, note, velocity;
    };
    std::vector<Sound> sounds;       // "hear it too", in time order
    std::size_t soundsSent = 0;
    double endMs = 0;                // a "Keep going" pass ends here
    int at = -1;                     // the expected note the cursor stands on, -1 before the first
    std::optional<int> loopBar;      // the bar being looped, if any
    std::uint64_t scoreGeneration = 0;  // the score's drawing when the pass began
    // "Wait for me": the notes reached so far and each note's figures.
    std::vector<WaitNote> waitNotes;
    double waitSinceMs = 0;
    // Tap along: its clicks use clickMs and zero; the taps on the same clock.
    std::vector<double> tapMs;

    // The last pass judged, and its review on the score.
    std::optional<practice::PassJudgement> judged;
    std::vector<practice::ExpectedNote> judgedExpected;
    PracticeMode judgedMode = PracticeMode::KeepGoing;
    bool judgedEarly = false;
    std::vector<std::string> summary;   // the lines the practice window shows
    std::uint64_t reviewGeneration = 0;
    bool reviewOn = false;
    int passesDone = 0;                 // counts finished passes, for views to refresh

    practice::TempoStep step;
    bool stepStarted = false;
    std::unique_ptr<practice::History> history;
    bool historyProblemTold = false;
};

}  // namespace tonemark
