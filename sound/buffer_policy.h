// How much sound a stream keeps queued at the sound server. Small is quick (a
// key is heard sooner) but a machine that is busy cannot always refill it in
// time, and the server then plays silence: an audible click. The policy
// starts small, grows the buffer one step at each underrun (one click is one
// too many, and a machine that stalled once will again) and shrinks it one
// step after a long quiet spell; each growth makes the next quiet spell
// needed longer, so that a buffer that failed is not tried again soon. When a
// burst of underruns comes at the largest buffer the machine cannot keep up,
// which the window says once. Pure bookkeeping: the output feeds it what the
// server reports and applies the target it answers.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"

namespace tonemark {

struct BufferPolicySettings {
    // The buffer sizes tried, smallest first, in milliseconds.
    std::vector<int> stepsMs = {10, 15, 20, 30, 40, 50};
    std::size_t firstStep = 0;
    // At the largest buffer, this many underruns within the window mean the
    // machine cannot keep up.
    int burstUnderruns = 2;
    MonotonicMicros burstWindow = 10'000'000;
    // No underrun for this long shrinks the buffer one step...
    MonotonicMicros quietSpell = 30'000'000;
    // ...and every growth doubles it, up to the longest.
    MonotonicMicros longestQuietSpell = 600'000'000;
    // Underruns this soon after the stream started or its buffer changed are
    // the server settling, not the machine falling behind.
    MonotonicMicros settling = 300'000;
    // A smaller buffer is tried only after this long without sound: if it
    // does not hold, it runs dry where nobody hears the gap.
    MonotonicMicros silenceToShrink = 2'000'000;
};

// The step of `settings` to start at for a buffer of `ms` that held last
// time: the smallest step at least that large (the largest when none is).
std::size_t StepFor(const BufferPolicySettings& settings, int ms);

// The buffer an output settled at, kept between runs so that the next run
// starts there instead of paying again, in gaps, for finding it: a file with
// the milliseconds in it, under $XDG_STATE_HOME/tonemark (by default
// ~/.local/state/tonemark). Reading gives nothing for a missing or damaged
// file; writing says whether it worked (it matters to no one if it did not).
std::string DefaultBufferMemoryPath();
std::optional<int> ReadBufferMemory(const std::string& path);
bool WriteBufferMemory(const std::string& path, int ms);

// Whether a block carries any sound (a smaller buffer is tried only in silence).
bool Audible(const float* left, const float* right, int frames);

// The message line's words when even the largest buffer, `bufferMs`, runs dry.
std::string CannotKeepUpMessage(int bufferMs);

class BufferPolicy {
public:
    explicit BufferPolicy(BufferPolicySettings settings = {}, MonotonicMicros now = 0);

    int TargetMs() const { return settings_.stepsMs[step_]; }
    // An underrun reported at `now`; true when the target changed.
    bool Underrun(MonotonicMicros now);
    // The stream carried sound at `now` (anything above silence).
    void Sounded(MonotonicMicros now) { lastSound_ = now; }
    // Time going by; true when the target changed (it shrank).
    bool Tick(MonotonicMicros now);
    // Underruns went on at the largest buffer; cleared when it shrinks again.
    bool CannotKeepUp() const { return cannotKeepUp_; }
    std::uint64_t UnderrunCount() const { return underruns_; }

private:
    void ChangedAt(MonotonicMicros now);

    BufferPolicySettings settings_;
    std::size_t step_;
    MonotonicMicros quietSpell_;
    MonotonicMicros lastChange_;
    MonotonicMicros lastUnderrun_;
    MonotonicMicros lastSound_;
    std::deque<MonotonicMicros> recent_;  // underruns within the burst window
    std::uint64_t underruns_ = 0;
    bool cannotKeepUp_ = false;
};

}  // namespace tonemark
