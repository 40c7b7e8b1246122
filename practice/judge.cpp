#include "practice/judge.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

namespace tonemark::practice {

namespace {

constexpr double kOnTimeFloorMs = 20;
constexpr double kOnTimeShare = 0.05;
constexpr double kMissedShare = 0.5;
constexpr double kChordTogetherMs = 40;

// A press that could be the one meant for an expected note.
struct Candidate {
    double distance;  // |onset error|
    int note;         // into `expected`
    int press;        // into the presses sorted by onset
};

struct Press {
    const PlayedNote* played;
    double onset;  // on the pass clock, the offset taken off
};

double Quantile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const double place = p * static_cast<double>(v.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(place));
    const std::size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (v[above] - v[below]) * (place - static_cast<double>(below));
}

double StandardDeviation(const std::vector<double>& v) {
    if (v.empty()) return NAN;
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
    double squares = 0;
    for (double x : v) squares += (x - mean) * (x - mean);
    return std::sqrt(squares / static_cast<double>(v.size()));
}

bool IsRight(Verdict v) { return v == Verdict::OnTime || v == Verdict::Early || v == Verdict::Late; }

Verdict TimingVerdict(double errorMs, double lengthMs) {
    if (std::fabs(errorMs) <= OnTimeWindowMs(lengthMs)) return Verdict::OnTime;
    return errorMs < 0 ? Verdict::Early : Verdict::Late;
}

// Where a pass ends when the caller does not say: when the last written note
// runs out, or at the last stamp played if that comes later.
double InferredPassEnd(const std::vector<ExpectedNote>& expected, const std::vector<PlayedNote>& played) {
    double end = 0;
    for (const ExpectedNote& e : expected) end = std::max(end, e.dueMs + e.lengthMs);
    for (const PlayedNote& p : played) {
        end = std::max(end, p.onMs);
        if (!std::isnan(p.offMs)) end = std::max(end, p.offMs);
    }
    return end;
}

double HeldFraction(const PlayedNote& p, double lengthMs, double passEndMs) {
    const double off = std::isnan(p.offMs) ? std::max(passEndMs, p.onMs) : p.offMs;
    const double held = std::max(0.0, off - p.onMs);
    if (lengthMs <= 0) return held > 0 ? 1.0 : 0.0;
    return held / lengthMs;
}

void FillPlayed(NoteResult& r, const Press& press, const ExpectedNote& e, double passEndMs) {
    r.playedPitch = press.played->pitch;
    r.onsetErrorMs = press.onset - e.dueMs;
    r.heldFraction = HeldFraction(*press.played, e.lengthMs, passEndMs);
    r.velocity = press.played->velocity;
}

// Greedy one-to-one matching, nearest in time first: every pair of an
// unjudged note and an unused press that `fits` and lands within the note's
// missed limit, taken in order of |onset error| (ties to the earlier note,
// then the earlier press). Presses are sorted by onset, so each note looks
// only at the presses inside its window.
template <typename Fits>
void MatchNearest(const std::vector<ExpectedNote>& expected, const std::vector<Press>& presses,
                  std::vector<int>& pressOfNote, std::vector<char>& pressUsed, Fits fits) {
    std::vector<Candidate> candidates;
    for (std::size_t n = 0; n < expected.size(); ++n) {
        if (pressOfNote[n] >= 0) continue;
        const ExpectedNote& e = expected[n];
        const double limit = LateLimitMs(e.lengthMs);
        auto first = std::lower_bound(presses.begin(), presses.end(), e.dueMs - limit,
                                      [](const Press& p, double t) { return p.onset < t; });
        for (auto it = first; it != presses.end() && it->onset <= e.dueMs + limit; ++it) {
            const int k = static_cast<int>(it - presses.begin());
            if (pressUsed[k] || !fits(e, *it->played)) continue;
            candidates.push_back({std::fabs(it->onset - e.dueMs), static_cast<int>(n), k});
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.distance != b.distance) return a.distance < b.distance;
        if (a.note != b.note) return a.note < b.note;
        return a.press < b.press;
    });
    for (const Candidate& c : candidates) {
        if (pressOfNote[c.note] >= 0 || pressUsed[c.press]) continue;
        pressOfNote[c.note] = c.press;
        pressUsed[c.press] = 1;
    }
}

// The chord rule. A chord's strike starts with its first right press; the
// notes pressed within 40 ms of it were struck together with it and all take
// the verdict of that first press's onset error. A note of the chord pressed
// more than 40 ms after the first came late to the chord: it is late, even if
// its own error alone would be on time. Every note keeps its own onset error.
void JudgeChords(const std::vector<ExpectedNote>& expected, const std::vector<int>& pressOfNote,
                 const std::vector<Press>& presses, std::vector<NoteResult>& results) {
    std::vector<std::size_t> order(expected.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return expected[a].chord < expected[b].chord; });
    for (std::size_t begin = 0; begin < order.size();) {
        const int chord = expected[order[begin]].chord;
        std::size_t end = begin;
        while (end < order.size() && expected[order[end]].chord == chord) ++end;
        if (chord >= 0 && end - begin > 1) {
            int lead = -1;
            for (std::size_t k = begin; k < end; ++k) {
                const std::size_t n = order[k];
                if (!IsRight(results[n].verdict)) continue;
                if (lead < 0 || presses[pressOfNote[n]].onset < presses[pressOfNote[lead]].onset)
                    lead = static_cast<int>(n);
            }
            if (lead >= 0) {
                const double leadOnset = presses[pressOfNote[lead]].onset;
                const Verdict chordVerdict = TimingVerdict(leadOnset - expected[lead].dueMs, expected[lead].lengthMs);
                for (std::size_t k = begin; k < end; ++k) {
                    const std::size_t n = order[k];
                    if (!IsRight(results[n].verdict)) continue;
                    const bool together = presses[pressOfNote[n]].onset - leadOnset <= kChordTogetherMs;
                    results[n].verdict = together ? chordVerdict : Verdict::Late;
                }
            }
        }
        begin = end;
    }
}

PassSummary Summarise(const std::vector<ExpectedNote>& expected, const std::vector<NoteResult>& results) {
    PassSummary s;
    s.expected = static_cast<int>(expected.size());
    std::vector<double> absErrors, held, velocities;
    for (const NoteResult& r : results) {
        switch (r.verdict) {
            case Verdict::OnTime: ++s.onTime; break;
            case Verdict::Wrong: ++s.wrong; break;
            case Verdict::Missed: ++s.missed; break;
            case Verdict::Extra: ++s.extra; break;
            default: break;
        }
        if (!IsRight(r.verdict)) continue;
        ++s.right;
        absErrors.push_back(std::fabs(r.onsetErrorMs));
        // Capped, so that one note held on does not hide another cut short.
        held.push_back(std::min(r.heldFraction, 1.0));
        if (r.velocity > 0) velocities.push_back(r.velocity);
    }
    s.medianAbsErrorMs = Quantile(absErrors, 0.5);
    s.p90AbsErrorMs = Quantile(absErrors, 0.9);
    if (!held.empty()) s.meanHeldFraction = std::accumulate(held.begin(), held.end(), 0.0) / held.size();
    s.velocitySpread = StandardDeviation(velocities);

    // Evenness: one onset per strike (a chord's earliest right note), the
    // change of onset error from each strike to the next one played right;
    // a strike missed or wrong breaks the run.
    std::vector<double> changes;
    bool havePrevious = false;
    double previousError = 0;
    for (std::size_t n = 0; n < expected.size();) {
        std::size_t end = n + 1;
        while (end < expected.size() && expected[n].chord >= 0 && expected[end].chord == expected[n].chord) ++end;
        double error = NAN;
        for (std::size_t k = n; k < end; ++k) {
            if (!IsRight(results[k].verdict)) continue;
            if (std::isnan(error) || results[k].onsetErrorMs < error) error = results[k].onsetErrorMs;
        }
        if (std::isnan(error)) {
            havePrevious = false;
        } else {
            if (havePrevious) changes.push_back(error - previousError);
            previousError = error;
            havePrevious = true;
        }
        n = end;
    }
    if (changes.size() >= 2) s.evennessMs = StandardDeviation(changes);
    return s;
}

}  // namespace

const char* VerdictText(Verdict v) {
    switch (v) {
        case Verdict::OnTime: return "on time";
        case Verdict::Early: return "early";
        case Verdict::Late: return "late";
        case Verdict::Wrong: return "wrong";
        case Verdict::Missed: return "missed";
        case Verdict::Extra: return "extra";
    }
    return "missed";
}

std::vector<ExpectedNote> ExpectedFromModel(const MusicModel& model, double speed, int firstNote, int lastNote,
                                            double leadInMs) {
    std::vector<ExpectedNote> out;
    if (!(speed > 0) || !std::isfinite(speed) || model.notes.empty()) return out;
    firstNote = std::max(firstNote, 0);
    lastNote = std::min(lastNote, static_cast<int>(model.notes.size()) - 1);
    if (firstNote > lastNote) return out;
    const double start = model.notes[firstNote].onsetMs;
    out.reserve(static_cast<std::size_t>(lastNote - firstNote + 1));
    for (int i = firstNote; i <= lastNote; ++i) {
        const ModelNote& note = model.notes[i];
        ExpectedNote e;
        e.idx = note.index;
        e.pitch = note.pitch;
        e.dueMs = leadInMs + (note.onsetMs - start) / speed;
        e.lengthMs = note.durationMs / speed;
        e.chord = note.chord;
        e.bar = note.bar;
        out.push_back(e);
    }
    return out;
}

double OnTimeWindowMs(double lengthMs) { return std::max(kOnTimeFloorMs, kOnTimeShare * lengthMs); }

double LateLimitMs(double lengthMs) { return std::max(OnTimeWindowMs(lengthMs), kMissedShare * lengthMs); }

PassJudgement JudgePass(const std::vector<ExpectedNote>& expected, const std::vector<PlayedNote>& played,
                        double offsetMs) {
    return JudgePass(expected, played, offsetMs, NAN);
}

PassJudgement JudgePass(const std::vector<ExpectedNote>& expected, const std::vector<PlayedNote>& played,
                        double offsetMs, double passEndMs) {
    if (std::isnan(passEndMs)) passEndMs = InferredPassEnd(expected, played);
    if (!std::isfinite(offsetMs)) offsetMs = 0;

    std::vector<Press> presses;
    presses.reserve(played.size());
    for (const PlayedNote& p : played)
        if (std::isfinite(p.onMs)) presses.push_back({&p, p.onMs - offsetMs});
    std::stable_sort(presses.begin(), presses.end(), [](const Press& a, const Press& b) { return a.onset < b.onset; });

    std::vector<int> pressOfNote(expected.size(), -1);
    std::vector<char> pressUsed(presses.size(), 0);
    // The right pitch first; only then may a press of another pitch stand for
    // a note that no right press came for.
    MatchNearest(expected, presses, pressOfNote, pressUsed,
                 [](const ExpectedNote& e, const PlayedNote& p) { return p.pitch == e.pitch; });
    std::vector<char> rightPitch(expected.size());
    for (std::size_t n = 0; n < expected.size(); ++n) rightPitch[n] = pressOfNote[n] >= 0;
    MatchNearest(expected, presses, pressOfNote, pressUsed,
                 [](const ExpectedNote& e, const PlayedNote& p) { return p.pitch != e.pitch; });

    PassJudgement judged;
    judged.notes.reserve(expected.size() + presses.size());
    for (std::size_t n = 0; n < expected.size(); ++n) {
        const ExpectedNote& e = expected[n];
        NoteResult r;
        r.idx = e.idx;
        r.dueMs = e.dueMs;
        r.expectedPitch = e.pitch;
        if (pressOfNote[n] >= 0) {
            const Press& press = presses[pressOfNote[n]];
            FillPlayed(r, press, e, passEndMs);
            r.verdict = rightPitch[n] ? TimingVerdict(r.onsetErrorMs, e.lengthMs) : Verdict::Wrong;
        }
        judged.notes.push_back(r);
    }
    JudgeChords(expected, pressOfNote, presses, judged.notes);

    // What is left over is extra, filed under the note it came nearest.
    for (std::size_t k = 0; k < presses.size(); ++k) {
        if (pressUsed[k]) continue;
        NoteResult r;
        r.verdict = Verdict::Extra;
        r.playedPitch = presses[k].played->pitch;
        r.velocity = presses[k].played->velocity;
        if (!expected.empty()) {
            std::size_t nearest = 0;
            for (std::size_t n = 1; n < expected.size(); ++n)
                if (std::fabs(presses[k].onset - expected[n].dueMs) <
                    std::fabs(presses[k].onset - expected[nearest].dueMs))
                    nearest = n;
            const ExpectedNote& e = expected[nearest];
            r.idx = e.idx;
            r.dueMs = e.dueMs;
            r.expectedPitch = e.pitch;
            FillPlayed(r, presses[k], e, passEndMs);
        } else {
            r.idx = 0;
            r.dueMs = presses[k].onset;
            r.expectedPitch = -1;
        }
        judged.notes.push_back(r);
    }
    judged.summary = Summarise(expected, judged.notes);
    return judged;
}

}  // namespace tonemark::practice
