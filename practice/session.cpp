#include "practice/session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/lifecycle.h"
#include "keyboard/keys.h"
#include "midifile/take_pipeline.h"
#include "practice/coach.h"
#include "practice/history.h"
#include "practice/judge.h"
#include "keyboard/metronome.h"
#include "score/review.h"
#include "sound/transport.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr int kAccentVelocity = 127;
constexpr int kHearChannel = 1;     // the learner's own keys sound on channel 0
constexpr int kHearVelocity = 40;   // "hear it too": softly
constexpr int kNoteOn = 144;
constexpr int kNoteOff = 128;
constexpr int kController = 176;
constexpr int kAllNotesOff = 123;
// Sounds are handed to the synthesiser this far ahead of their time: far more
// than the event loop is ever busy, far less than a beat.
constexpr double kLookAheadMs = 150;
// The first count-in click is due this long after "Start", so that it too is
// handed over ahead.
constexpr double kPrepareMs = 250;
constexpr int kTapClicks = 8;
constexpr int kScoreLeftEdge = 86;
constexpr int kColumn = 32;

using practice::ExpectedNote;
using practice::NoteResult;
using practice::PassJudgement;
using practice::PlayedNote;
using practice::Verdict;

double PassMs(const PracticeState& p, MonotonicMicros t) { return static_cast<double>(t - p.zero) / 1000.0; }

// When a sound must be handed over to be heard at `ms` on the pass clock.
MonotonicMicros SendTime(const PracticeState& p, double ms) {
    return p.zero + static_cast<MonotonicMicros>(std::llround(ms * 1000.0)) - p.leadMicros;
}

MonotonicMicros LeadMicros(Main& m) {
    int lead = m.state.FollowLeadMs;
    if (m.SynthRootHandle)
        if (const std::optional<int> now = m.SynthRootHandle->PositionLeadMsNow()) lead = std::max(*now, 0);
    return static_cast<MonotonicMicros>(lead) * 1000;
}

std::string SpellingText(const Spelling& s) {
    std::string text(1, s.step);
    if (s.alter > 0) text += std::string(static_cast<std::size_t>(s.alter), '#');
    if (s.alter < 0) text += std::string(static_cast<std::size_t>(-s.alter), 'b');
    return text + std::to_string(s.octave);
}

const ModelNote* NoteOf(const Main& m, int idx) {
    if (idx < 0 || idx >= static_cast<int>(m.music.notes.size())) return nullptr;
    return &m.music.notes[static_cast<std::size_t>(idx)];
}

// The name the score shows under a note, as playback shows it.
std::string ShownName(const Main& m, int idx) {
    if (idx >= 0 && idx < static_cast<int>(m.state.NoteEvents.size()) &&
        !m.state.NoteEvents[static_cast<std::size_t>(idx)].NoteName.empty())
        return m.state.NoteEvents[static_cast<std::size_t>(idx)].NoteName;
    const ModelNote* n = NoteOf(m, idx);
    return n ? SpellingText(n->spelling) : std::string();
}

void TurnPageFor(Main& m, int x) {
    const long r = std::lrint(x) % 576;
    if (r > 500) m.ui.PicScore.rect.left = static_cast<int>(650 - x - r);
}

void Light(Main& m, int pitch, Color color) {
    const int key = KeyOfNote(pitch);
    if (key >= 0) m.ui.key[static_cast<std::size_t>(key)].backColor = color;
}

// The cursor, the names and the keys for where the pass stands: the note at
// the cursor lit as in playback, the one after it in a colour of its own and
// its name shown beneath, and the keys held down lit as always.
void Present(Main& m) {
    PracticeState& p = m.practice;
    const int count = static_cast<int>(p.expected.size());
    const int at = p.at;
    const int next = at + 1 < count ? at + 1 : -1;
    RestoreKeyColors(m);
    if (at >= 0 && at < count) {
        const ExpectedNote& e = p.expected[static_cast<std::size_t>(at)];
        const ModelNote* n = NoteOf(m, e.idx);
        const int x = n ? n->x : 0;
        m.ui.Line1.x1 = m.ui.Line1.x2 = x;
        m.ui.LabNote.caption = ShownName(m, e.idx);
        m.ui.LabNote.rect.left = x;
        // A chord's notes all light.
        for (const ExpectedNote& other : p.expected)
            if (&other == &e || (e.chord >= 0 && other.chord == e.chord)) Light(m, other.pitch, kDarkRed);
        TurnPageFor(m, x);
    } else {
        m.ui.LabNote.caption.clear();
    }
    if (next >= 0) {
        const ExpectedNote& e = p.expected[static_cast<std::size_t>(next)];
        const bool sameChord = at >= 0 && e.chord >= 0 && p.expected[static_cast<std::size_t>(at)].chord == e.chord;
        // The next sound after a chord is the next chord or note.
        int shownNext = next;
        if (sameChord) {
            shownNext = -1;
            for (int i = next; i < count; ++i)
                if (p.expected[static_cast<std::size_t>(i)].chord != e.chord) {
                    shownNext = i;
                    break;
                }
        }
        if (shownNext >= 0) {
            const ExpectedNote& ahead = p.expected[static_cast<std::size_t>(shownNext)];
            const ModelNote* n = NoteOf(m, ahead.idx);
            m.ui.LabNext.caption = ShownName(m, ahead.idx);
            m.ui.LabNext.rect.left = n ? n->x : 0;
            if (at < 0 && n) {
                m.ui.Line1.x1 = m.ui.Line1.x2 = n->x;  // the count-in: the cursor waits on the first note
                TurnPageFor(m, n->x);
            }
            for (const ExpectedNote& other : p.expected)
                if (&other == &ahead || (ahead.chord >= 0 && other.chord == ahead.chord)) Light(m, other.pitch, kAheadBlue);
        } else {
            m.ui.LabNext.caption.clear();
        }
    } else {
        m.ui.LabNext.caption.clear();
    }
    for (std::size_t i = 0; i < m.ui.key.size(); ++i)
        if (m.ui.key[i].pressed || m.midiHeld[i] > 0) m.ui.key[i].backColor = kDarkRed;
}

void ClearPresentation(Main& m) {
    RestoreKeyColors(m);
    for (std::size_t i = 0; i < m.ui.key.size(); ++i)
        if (m.ui.key[i].pressed || m.midiHeld[i] > 0) m.ui.key[i].backColor = kDarkRed;
    m.ui.LabNote.caption.clear();
    m.ui.LabNext.caption.clear();
    m.ui.Line1.x1 = m.ui.Line1.x2 = 0;
}

void SendAhead(Main& m, double nowMs) {
    PracticeState& p = m.practice;
    if (!m.SynthPlayerHandle) return;
    SynthPlayer& player = *m.SynthPlayerHandle;
    // What is heard at `ms` is handed over the output's lead before it.
    const double handOverBy = nowMs + kLookAheadMs + static_cast<double>(p.leadMicros) / 1000.0;
    while (p.clicksSent < p.clickMs.size() && p.clickMs[p.clicksSent] <= handOverBy) {
        const double ms = p.clickMs[p.clicksSent];
        // The clicks of a pass start on a bar line; each bar's first is accented.
        const bool accent = p.phase == PracticePhase::Passing && p.clicksSent % static_cast<std::size_t>(p.clicksPerBar) == 0;
        player.SendMidiAt(SendTime(p, ms), kClickChannel, kNoteOn, kClickNote, accent ? kAccentVelocity : kClickVelocity);
        ++p.clicksSent;
    }
    while (p.soundsSent < p.sounds.size() && p.sounds[p.soundsSent].ms <= handOverBy) {
        const PracticeState::Sound& s = p.sounds[p.soundsSent];
        player.SendMidiAt(SendTime(p, s.ms), kHearChannel, s.status, s.note, s.velocity);
        ++p.soundsSent;
    }
}

void Silence(Main& m) {
    if (!m.SynthPlayerHandle) return;
    m.SynthPlayerHandle->CancelScheduled();
    m.SynthPlayerHandle->SendMidi(0, 1, kHearChannel, kController, kAllNotesOff, 0);
}

// --- Settings beside the history -------------------------------------------

void ReadSettings(Main& m) {
    PracticeState& p = m.practice;
    if (p.settingsRead) return;
    p.settingsRead = true;
    std::ifstream in(PracticeSettingsPath(m));
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string name = line.substr(0, space), value = line.substr(space + 1);
        if (name == "offset_ms") {
            char* end = nullptr;
            const double v = std::strtod(value.c_str(), &end);
            if (end != value.c_str() && std::isfinite(v) && std::abs(v) < 1000) {
                p.offsetMs = v;
                p.offsetTapped = true;
            }
        } else if (name == "mode") {
            if (value == PracticeModeText(PracticeMode::WaitForMe)) p.options.mode = PracticeMode::WaitForMe;
            else if (value == PracticeModeText(PracticeMode::KeepGoing)) p.options.mode = PracticeMode::KeepGoing;
        }
    }
}

void WriteSettings(Main& m) {
    const PracticeState& p = m.practice;
    const std::filesystem::path path(PracticeSettingsPath(m));
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const std::filesystem::path temp = path.string() + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (p.offsetTapped) {
            char text[64];
            std::snprintf(text, sizeof text, "%.1f", p.offsetMs);
            out << "offset_ms " << text << "\n";
        }
        out << "mode " << PracticeModeText(p.options.mode) << "\n";
        out.flush();
        if (!out) {
            m.Notify("The practice settings could not be written to " + path.string() +
                     ": the offset and mode hold until the program ends.");
            std::filesystem::remove(temp, error);
            return;
        }
    }
    std::filesystem::rename(temp, path, error);
    if (error) m.Notify("The practice settings could not be written to " + path.string() + ": " + error.message());
}

// --- Judging and the review -------------------------------------------------

std::string Ms(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f ms", v);
    return text;
}

double Median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A "Wait for me" pass as a judgement: see the header.
PassJudgement JudgeWaiting(const PracticeState& p, std::size_t reached) {
    PassJudgement j;
    for (std::size_t i = 0; i < reached && i < p.expected.size(); ++i) {
        const ExpectedNote& e = p.expected[i];
        const WaitNote& w = p.waitNotes[i];
        NoteResult r;
        r.idx = e.idx;
        r.expectedPitch = e.pitch;
        r.dueMs = w.got ? e.dueMs : NAN;
        if (w.got) {
            r.verdict = w.wrongKeys == 0 ? Verdict::OnTime : Verdict::Wrong;
            r.playedPitch = w.wrongKeys == 0 ? e.pitch : w.firstWrongPitch;
            r.velocity = w.velocity;
        } else {
            r.verdict = w.wrongKeys == 0 ? Verdict::Missed : Verdict::Wrong;
            r.playedPitch = w.firstWrongPitch;
        }
        j.notes.push_back(r);
    }
    practice::PassSummary& s = j.summary;
    s.expected = static_cast<int>(j.notes.size());
    for (const NoteResult& r : j.notes) {
        if (r.verdict == Verdict::OnTime) ++s.right, ++s.onTime;
        else if (r.verdict == Verdict::Wrong) ++s.wrong;
        else if (r.verdict == Verdict::Missed) ++s.missed;
    }
    return j;
}

std::vector<std::string> SummaryLines(const PracticeState& p) {
    std::vector<std::string> lines;
    if (!p.judged) return lines;
    const practice::PassSummary& s = p.judged->summary;
    char text[200];
    if (p.judgedMode == PracticeMode::WaitForMe) {
        int wrongKeys = 0;
        std::vector<double> times;
        for (std::size_t i = 0; i < p.waitNotes.size() && i < p.expected.size(); ++i) {
            wrongKeys += p.waitNotes[i].wrongKeys;
            if (p.waitNotes[i].got && std::isfinite(p.waitNotes[i].msToRight)) times.push_back(p.waitNotes[i].msToRight);
        }
        std::snprintf(text, sizeof text, "Right first time: %d of %d; wrong keys: %d", s.onTime, s.expected, wrongKeys);
        lines.push_back(text);
        if (!times.empty()) {
            lines.push_back("Time to the right key: median " + Ms(Median(times)) + ", longest " +
                            Ms(*std::max_element(times.begin(), times.end())));
        }
    } else {
        std::snprintf(text, sizeof text, "Notes right: %d of %d (%d on time, %d wrong, %d missed, %d extra)", s.right,
                      s.expected, s.onTime, s.wrong, s.missed, s.extra);
        lines.push_back(text);
        if (std::isfinite(s.medianAbsErrorMs))
            lines.push_back("|Onset error|: median " + Ms(s.medianAbsErrorMs) + ", 90th percentile " +
                            Ms(s.p90AbsErrorMs) + " (offset " + Ms(p.offsetMs) + " taken off)");
        if (std::isfinite(s.evennessMs)) lines.push_back("Evenness: " + Ms(s.evennessMs) + " spread of the intervals");
        if (std::isfinite(s.meanHeldFraction)) {
            std::snprintf(text, sizeof text, "Held: %.0f %% of the written length on average",
                          s.meanHeldFraction * 100);
            lines.push_back(text);
        }
        if (std::isfinite(s.velocitySpread)) {
            std::snprintf(text, sizeof text, "Velocity spread: %.1f", s.velocitySpread);
            lines.push_back(text);
        } else {
            lines.push_back("Velocity spread: none (no MIDI keyboard velocities)");
        }
    }
    if (p.judgedEarly) lines.push_back("Stopped early: judged up to where it stopped, not kept in the history.");
    return lines;
}

// The review on the score, laid over the engraving.
void DrawReview(Main& m) {
    PracticeState& p = m.practice;
    if (m.PicScore.Generation() != p.scoreGeneration) {
        m.Notify("The score changed during the pass: no review is drawn on it.");
        return;
    }
    DrawPracticeReview(m.PicScore, m.music, *p.judged);
    p.reviewGeneration = m.PicScore.Generation();
    p.reviewOn = true;
}

bool ReviewStillOn(const Main& m) {
    return m.practice.reviewOn && m.PicScore.Generation() == m.practice.reviewGeneration;
}

void TakeReviewOff(Main& m) {
    PracticeState& p = m.practice;
    if (ReviewStillOn(m)) ClearPracticeReview(m.PicScore);
    p.reviewOn = false;
}

std::string UtcNow() {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void SavePass(Main& m) {
    PracticeState& p = m.practice;
    practice::PassRecord record;
    record.startedAt = p.passStartedAt;
    record.material = p.passMaterial.material;
    record.key = p.passMaterial.key;
    record.noteValue = p.passMaterial.noteValue;
    record.mode = PracticeModeText(p.judgedMode);
    record.tempoBpm = p.passBpm;
    record.offsetMs = p.judgedMode == PracticeMode::KeepGoing ? p.offsetMs : 0;
    PracticeHistory(m).Save(record, *p.judged);
    PracticeHistory(m);  // says what went wrong, once
}

void FinishPass(Main& m, bool early, double stopMs) {
    PracticeState& p = m.practice;
    p.phase = PracticePhase::Idle;
    Silence(m);
    ClearPresentation(m);
    p.judgedMode = p.passMode;
    p.judgedEarly = early;
    if (p.passMode == PracticeMode::KeepGoing) {
        std::vector<ExpectedNote> due;
        for (const ExpectedNote& e : p.expected)
            if (!early || e.dueMs <= stopMs) due.push_back(e);
        std::vector<PlayedNote> played = p.played;
        std::stable_sort(played.begin(), played.end(),
                         [](const PlayedNote& a, const PlayedNote& b) { return a.onMs < b.onMs; });
        p.judgedExpected = due;
        // Keys still held count as held until the pass ended.
        p.judged = practice::JudgePass(due, played, p.offsetMs, early ? stopMs : p.endMs);
    } else {
        std::size_t reached = p.expected.size();
        if (early) {
            reached = 0;
            while (reached < p.waitNotes.size() && p.waitNotes[reached].got) ++reached;
            // The note the cursor stood on counts if a key was tried on it.
            if (reached < p.waitNotes.size() && p.waitNotes[reached].wrongKeys > 0) ++reached;
        }
        p.judgedExpected.assign(p.expected.begin(), p.expected.begin() + static_cast<std::ptrdiff_t>(reached));
        p.judged = JudgeWaiting(p, reached);
    }
    ++p.passesDone;
    if (p.judged->notes.empty()) {
        p.summary = {"Stopped before the first note: nothing to judge."};
        return;
    }
    DrawReview(m);
    if (!early) SavePass(m);
    p.summary = SummaryLines(p);
    if (!early && p.options.stepUp && p.passMode == PracticeMode::KeepGoing) {
        const double before = p.step.bpm;
        practice::StepTempo(p.step, p.judged->summary);
        p.options.bpm = p.step.bpm;
        char text[120];
        if (p.step.bpm > before) std::snprintf(text, sizeof text, "Step up: the next pass runs at %.0f BPM.", p.step.bpm);
        else if (p.step.bpm < before) std::snprintf(text, sizeof text, "Step down: the next pass runs at %.0f BPM.", p.step.bpm);
        else std::snprintf(text, sizeof text, "Step up: %d clean pass%s in a row of the three that raise the tempo.",
                           p.step.cleanRun, p.step.cleanRun == 1 ? "" : "es");
        p.summary.push_back(text);
    }
    if (p.options.loopWeakest && !p.loopBar && p.passMode == PracticeMode::KeepGoing) {
        if (const std::optional<int> bar = practice::WeakestBar(p.judgedExpected, *p.judged))
            p.summary.push_back("Loop: the next pass plays bar " + std::to_string(*bar) +
                                (*bar > 1 ? ", with bar " + std::to_string(*bar - 1) + " before it." : "."));
    }
}

// The notes a pass plays: all of them, or the weakest bar with one before it.
std::pair<int, int> PassRange(Main& m) {
    PracticeState& p = m.practice;
    const int last = static_cast<int>(m.music.notes.size()) - 1;
    if (!p.options.loopWeakest) {
        p.loopBar.reset();
        return {0, last};
    }
    if (!p.loopBar && p.judged && p.judgedMode == PracticeMode::KeepGoing)
        p.loopBar = practice::WeakestBar(p.judgedExpected, *p.judged);
    if (!p.loopBar) return {0, last};
    const int from = std::max(*p.loopBar - 1, 1), to = *p.loopBar;
    int first = -1, end = -1;
    for (int i = 0; i <= last; ++i) {
        const int bar = m.music.notes[static_cast<std::size_t>(i)].bar;
        if (bar >= from && bar <= to) {
            if (first < 0) first = i;
            end = i;
        }
    }
    if (first < 0) {
        p.loopBar.reset();
        return {0, last};
    }
    return {first, end};
}

void ScrollTo(Main& m, int idx) {
    const ModelNote* n = NoteOf(m, idx);
    m.ui.PicScore.rect.left = kScoreLeftEdge;
    if (n && n->x > 500) m.ui.PicScore.rect.left = kScoreLeftEdge - (n->x - kColumn);
}

void BeginKeepGoing(Main& m, int first, double speed, MonotonicMicros now) {
    PracticeState& p = m.practice;
    const MusicModel& music = m.music;
    const double msPerTick = music.tempoMicros / 1000.0 / music.division / speed;
    const std::int64_t beatTicks = std::max<std::int64_t>(music.division * 4 / std::max(music.beatUnit, 1), 1);
    const std::int64_t barTicks = beatTicks * std::max(music.beatsPerBar, 1);
    const std::int64_t firstTicks = music.notes[static_cast<std::size_t>(first)].onsetTicks;
    const std::int64_t barStart = (firstTicks >= 0 ? firstTicks / barTicks : (firstTicks - barTicks + 1) / barTicks) * barTicks;
    p.beatMs = static_cast<double>(beatTicks) * msPerTick;
    p.clicksPerBar = std::max(music.beatsPerBar, 1);
    const ExpectedNote& last = p.expected.back();
    p.endMs = last.dueMs + last.lengthMs + practice::LateLimitMs(last.lengthMs);
    p.clickMs.clear();
    for (std::int64_t tick = barStart - barTicks;; tick += beatTicks) {
        const double ms = static_cast<double>(tick - firstTicks) * msPerTick;
        if (ms > last.dueMs + last.lengthMs - 1) break;
        p.clickMs.push_back(ms);
    }
    p.sounds.clear();
    if (p.options.hearItToo) {
        for (const ExpectedNote& e : p.expected) {
            p.sounds.push_back({e.dueMs, kNoteOn, e.pitch, kHearVelocity});
            p.sounds.push_back({e.dueMs + std::max(e.lengthMs - 1, 1.0), kNoteOff, e.pitch, 0});
        }
        std::stable_sort(p.sounds.begin(), p.sounds.end(),
                         [](const PracticeState::Sound& a, const PracticeState::Sound& b) { return a.ms < b.ms; });
        if (m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, kHearChannel, 192, 0, 0);
    }
    p.leadMicros = LeadMicros(m);
    const double countIn = -p.clickMs.front();
    p.zero = now + static_cast<MonotonicMicros>(std::llround((kPrepareMs + countIn) * 1000.0)) + p.leadMicros;
}

// A score rebuilt under a pass (a new key, tempo or scale) ends it: its notes
// are not the ones on show any more.
bool Interrupted(Main& m) {
    PracticeState& p = m.practice;
    if (p.phase != PracticePhase::Passing || m.PicScore.Generation() == p.scoreGeneration) return false;
    FinishPass(m, true, PassMs(p, m.platform->Now()));
    return true;
}

}  // namespace

const char* PracticeModeText(PracticeMode mode) {
    return mode == PracticeMode::WaitForMe ? "Wait for me" : "Keep going";
}

std::string PracticeSettingsPath(const Main& m) {
    const std::string db = m.practice.historyPath.empty() ? practice::DefaultHistoryPath() : m.practice.historyPath;
    return (std::filesystem::path(db).parent_path() / "practice-settings.txt").string();
}

practice::History& PracticeHistory(Main& m) {
    PracticeState& p = m.practice;
    if (!p.history)
        p.history = std::make_unique<practice::History>(p.historyPath.empty() ? practice::DefaultHistoryPath() : p.historyPath);
    // Practice goes on without a history; the message line says why, once
    // for each thing that goes wrong (a lock that outlasts a save says so).
    if (!p.history->Problem().empty() && p.history->Problem() != p.historyProblemTold) {
        p.historyProblemTold = p.history->Problem();
        m.Notify(p.history->Problem());
    }
    return *p.history;
}

PracticeMaterial CurrentMaterial(const Main& m) {
    static const std::array<const char*, 12> kSharpNames = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    static const std::array<const char*, 12> kFlatNames = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};
    PracticeMaterial material;
    if (m.music.isTake || m.state.ScaleIndex == kTakeEntry) {
        // FNV-1a of the take's file as read.
        std::uint64_t hash = 1469598103934665603ull;
        for (const char c : m.state.SmfImage) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
        char text[40];
        std::snprintf(text, sizeof text, "take:%016llx", static_cast<unsigned long long>(hash));
        material.material = text;
        return material;
    }
    const int entry = m.state.ScaleIndex;
    material.material = entry >= 0 && entry < static_cast<int>(m.ui.List1.rows.size())
                            ? m.ui.List1.rows[static_cast<std::size_t>(entry)]
                            : m.music.title;
    const int k = ((m.ui.Tonality.value % 12) + 12) % 12;
    material.key = m.music.fifths < 0 ? kFlatNames[static_cast<std::size_t>(k)] : kSharpNames[static_cast<std::size_t>(k)];
    material.noteValue = m.state.NoteValueTicks;
    return material;
}

double PracticeBpm(Main& m) {
    PracticeState& p = m.practice;
    const int shown = m.ui.SpeedValue.value;
    // A new tempo in the main window is the one to practise at.
    if (shown != p.shownBpmSeen) {
        p.shownBpmSeen = shown;
        p.options.bpm = 0;
        p.stepStarted = false;
    }
    return p.options.bpm > 0 ? p.options.bpm : shown;
}

void SetPracticeBpm(Main& m, double bpm) {
    PracticeBpm(m);
    if (bpm <= 0 || !std::isfinite(bpm)) return;
    m.practice.options.bpm = bpm;
    m.practice.stepStarted = false;
}

void SetPracticeMode(Main& m, PracticeMode mode) {
    ReadSettings(m);
    if (m.practice.options.mode == mode) return;
    m.practice.options.mode = mode;
    WriteSettings(m);
}

bool StartPracticePass(Main& m) {
    PracticeState& p = m.practice;
    ReadSettings(m);
    if (p.phase != PracticePhase::Idle) StopPractice(m);
    if (m.ui.Timer3.enabled) {
        m.Notify("Stop the recording before practising.");
        return false;
    }
    if (!m.state.DeviceReady || m.music.notes.empty()) {
        m.Notify("There is nothing on show to practise.");
        return false;
    }
    if (m.state.FilePlaying) BtnStop_Click(m);
    TakeReviewOff(m);
    const double bpm = PracticeBpm(m);
    if (bpm <= 0 || m.music.tempoBpm <= 0) {
        m.Notify("The tempo is not set: there is nothing to practise at.");
        return false;
    }
    const PracticeMaterial material = CurrentMaterial(m);
    if (!p.stepStarted || !(material == p.passMaterial)) {
        p.step = practice::TempoStep{bpm, bpm, 0};
        p.stepStarted = true;
    }
    if (!(material == p.passMaterial)) p.loopBar.reset();
    p.passMaterial = material;
    p.passMode = p.options.mode;
    p.passBpm = bpm;
    p.passStartedAt = UtcNow();
    const double speed = bpm / m.music.tempoBpm;
    const auto [first, last] = p.passMode == PracticeMode::KeepGoing ? PassRange(m)
                                                                      : std::pair<int, int>{0, static_cast<int>(m.music.notes.size()) - 1};
    p.expected = practice::ExpectedFromModel(m.music, speed, first, last, 0);
    if (p.expected.empty()) {
        m.Notify("There is nothing on show to practise.");
        return false;
    }
    p.played.clear();
    p.held.fill(0);
    p.clickMs.clear();
    p.sounds.clear();
    p.clicksSent = p.soundsSent = 0;
    p.tapMs.clear();
    p.waitNotes.assign(p.expected.size(), WaitNote{});
    p.waitSinceMs = 0;
    p.summary.clear();
    p.at = -1;
    const MonotonicMicros now = m.platform->Now();
    if (p.passMode == PracticeMode::KeepGoing) {
        if (m.SynthPlayerHandle) m.SynthPlayerHandle->CancelScheduled();
        BeginKeepGoing(m, first, speed, now);
    } else {
        p.zero = now;
        p.leadMicros = 0;
        p.at = 0;
    }
    ScrollTo(m, first);
    p.scoreGeneration = m.PicScore.Generation();
    p.phase = PracticePhase::Passing;
    Present(m);
    if (p.passMode == PracticeMode::KeepGoing) SendAhead(m, PassMs(p, now));
    return true;
}

void StopPractice(Main& m) {
    PracticeState& p = m.practice;
    if (p.phase == PracticePhase::Passing) {
        FinishPass(m, true, PassMs(p, m.platform->Now()));
    } else if (p.phase == PracticePhase::Tapping) {
        p.phase = PracticePhase::Idle;
        Silence(m);
        m.Notify("Tap along stopped: the offset stays at " + Ms(p.offsetMs) + ".");
    }
}

void PracticeEscape(Main& m) {
    if (m.practice.phase != PracticePhase::Idle) StopPractice(m);
}

void Practice_Click(Main& m) {
    m.platform->ShowPractice();
    StartPracticePass(m);
}

bool PracticeTicking(const Main& m) {
    const PracticeState& p = m.practice;
    return p.phase == PracticePhase::Tapping ||
           (p.phase == PracticePhase::Passing && p.passMode == PracticeMode::KeepGoing);
}

void PracticeTick(Main& m) {
    PracticeState& p = m.practice;
    if (!PracticeTicking(m)) return;
    if (Interrupted(m)) return;
    const double now = PassMs(p, m.platform->Now());
    SendAhead(m, now);
    if (p.phase == PracticePhase::Tapping) {
        if (now > p.clickMs.back() + p.beatMs) {
            p.phase = PracticePhase::Idle;
            const std::optional<double> offset = practice::CalibratedOffsetMs(p.clickMs, p.tapMs);
            if (offset) {
                p.offsetMs = *offset;
                p.offsetTapped = true;
                WriteSettings(m);
                char text[160];
                std::snprintf(text, sizeof text, "Tap along: your offset is %+.0f ms; it is taken off every onset from now on.",
                              *offset);
                m.Notify(text);
            } else {
                m.Notify("Tap along needs four taps or more near the clicks: the offset stays at " + Ms(p.offsetMs) + ".");
            }
        }
        return;
    }
    int at = p.at;
    while (at + 1 < static_cast<int>(p.expected.size()) && p.expected[static_cast<std::size_t>(at) + 1].dueMs <= now) ++at;
    if (at != p.at) {
        p.at = at;
        Present(m);
    }
    if (now >= p.endMs) FinishPass(m, false, now);
}

void PracticeKeyAt(Main& m, int pitch, int velocity, bool down, MonotonicMicros when) {
    PracticeState& p = m.practice;
    if (p.phase == PracticePhase::Idle || pitch < 0 || pitch > 127) return;
    if (Interrupted(m)) return;
    const double ms = PassMs(p, when);
    if (p.phase == PracticePhase::Tapping) {
        if (down) p.tapMs.push_back(ms);
        return;
    }
    int& held = p.held[static_cast<std::size_t>(pitch)];
    if (p.passMode == PracticeMode::KeepGoing) {
        if (down) {
            if (held > 0) return;  // the same note from a second input while the first holds it
            p.played.push_back({pitch, ms, NAN, velocity});
            held = static_cast<int>(p.played.size());
        } else if (held > 0) {
            p.played[static_cast<std::size_t>(held - 1)].offMs = ms;
            held = 0;
        }
        Present(m);
        return;
    }
    // Wait for me.
    if (!down) {
        Present(m);
        return;
    }
    const int count = static_cast<int>(p.expected.size());
    if (p.at < 0 || p.at >= count) return;
    // The notes to play now: the one at the cursor, or its whole chord.
    const int chord = p.expected[static_cast<std::size_t>(p.at)].chord;
    int groupEnd = p.at + 1;
    while (chord >= 0 && groupEnd < count && p.expected[static_cast<std::size_t>(groupEnd)].chord == chord) ++groupEnd;
    int match = -1;
    for (int i = p.at; i < groupEnd; ++i)
        if (!p.waitNotes[static_cast<std::size_t>(i)].got && p.expected[static_cast<std::size_t>(i)].pitch == pitch) match = i;
    if (match < 0) {
        for (int i = p.at; i < groupEnd; ++i) {
            WaitNote& w = p.waitNotes[static_cast<std::size_t>(i)];
            if (w.got) continue;
            if (w.wrongKeys++ == 0) w.firstWrongPitch = pitch;
            break;  // counted once, on the first note still to play
        }
        Present(m);
        return;
    }
    WaitNote& w = p.waitNotes[static_cast<std::size_t>(match)];
    w.got = true;
    w.velocity = velocity;
    w.msToRight = ms - p.waitSinceMs;
    p.expected[static_cast<std::size_t>(match)].dueMs = ms;
    bool all = true;
    for (int i = p.at; i < groupEnd; ++i) all = all && p.waitNotes[static_cast<std::size_t>(i)].got;
    if (all) {
        p.at = groupEnd;
        p.waitSinceMs = ms;
        if (p.at >= count) {
            FinishPass(m, false, ms);
            return;
        }
    }
    Present(m);
}

void StartTapAlong(Main& m) {
    PracticeState& p = m.practice;
    ReadSettings(m);
    if (p.phase != PracticePhase::Idle) StopPractice(m);
    const double bpm = PracticeBpm(m);
    if (bpm <= 0) return;
    if (m.SynthPlayerHandle) m.SynthPlayerHandle->CancelScheduled();
    p.beatMs = 60000.0 / bpm;
    p.clickMs.clear();
    for (int i = 0; i < kTapClicks; ++i) p.clickMs.push_back(i * p.beatMs);
    p.clicksSent = 0;
    p.sounds.clear();
    p.soundsSent = 0;
    p.tapMs.clear();
    p.leadMicros = LeadMicros(m);
    p.zero = m.platform->Now() + static_cast<MonotonicMicros>(kPrepareMs * 1000) + p.leadMicros;
    p.phase = PracticePhase::Tapping;
    m.Notify("Tap along: tap any key with each of the eight clicks.");
    SendAhead(m, PassMs(p, m.platform->Now()));
}

bool PracticeReviewClick(Main& m, int note) {
    const PracticeState& p = m.practice;
    if (!ReviewStillOn(m) || !p.judged) return false;
    for (const NoteResult& r : p.judged->notes)
        if (r.idx == note && r.verdict != Verdict::Extra) {
            m.Notify(NoteReviewText(r, m.music.fifths));
            return true;
        }
    return false;
}

std::vector<practice::PassPoint> PracticeChart(Main& m, int count) {
    const PracticeMaterial material = CurrentMaterial(m);
    return PracticeHistory(m).Recent(material.material, material.key, material.noteValue, count);
}

std::string PracticeProgressText(const Main& m) {
    const PracticeState& p = m.practice;
    if (p.phase == PracticePhase::Tapping) return "Tap along: tap any key with the clicks";
    if (p.phase != PracticePhase::Passing) return {};
    const int count = static_cast<int>(p.expected.size());
    if (p.passMode == PracticeMode::WaitForMe) {
        if (p.at < 0 || p.at >= count) return {};
        const ModelNote* n = NoteOf(m, p.expected[static_cast<std::size_t>(p.at)].idx);
        return "Wait for me: note " + std::to_string(p.at + 1) + " of " + std::to_string(count) +
               (n ? ", play " + SpellingText(n->spelling) : std::string());
    }
    if (p.at < 0) return "Count-in";
    std::string text = "Keep going: note " + std::to_string(p.at + 1) + " of " + std::to_string(count);
    if (p.loopBar) text += " (looping bar " + std::to_string(*p.loopBar) + ")";
    return text;
}

}  // namespace tonemark
