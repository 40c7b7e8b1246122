// Messages sent to sound at a time on the monotonic clock, rendered offline
// with a clock that moves on with the frames, as the sound thread sees it
// when it renders in real time.
#include "sound/fluid/fluid_synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tonemark {
namespace {

constexpr int kNoteOn = 0x90;
constexpr int kProgram = 0xC0;
constexpr int kClickChannel = 9;
constexpr int kClickNote = 33;
constexpr int kClickVelocity = 100;
constexpr std::int64_t kBlock = 64;
// A click peaks near 0.26; the reverberation it leaves stays below 0.006.
constexpr float kOnsetLevel = 0.02f;
// About a hundred days after boot, as a steady clock may well read.
constexpr MonotonicMicros kStart = 9'000'000'000'000;
constexpr MonotonicMicros kHalfSecond = 500'000;

// The louder channel of each frame.
std::vector<float> Levels(const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<float> levels(left.size());
    for (std::size_t i = 0; i < left.size(); ++i) levels[i] = std::max(std::fabs(left[i]), std::fabs(right[i]));
    return levels;
}

// Frames where a sound rises above the onset level after at least 50 ms
// below it; `levels` starts at frame `firstFrame`.
std::vector<std::int64_t> FindOnsets(const std::vector<float>& levels, double rate, std::int64_t firstFrame) {
    const auto quiet = static_cast<std::int64_t>(0.05 * rate);
    std::vector<std::int64_t> onsets;
    std::int64_t lastLoud = -quiet - 1;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(levels.size()); ++i) {
        if (levels[static_cast<std::size_t>(i)] <= kOnsetLevel) continue;
        if (i - lastLoud > quiet) onsets.push_back(firstFrame + i);
        lastLoud = i;
    }
    return onsets;
}

std::int64_t NextBlockStart(std::int64_t frame) {
    return (frame + kBlock - 1) / kBlock * kBlock;
}

// A click the user-interface thread hands over `lead` before it is due.
struct Click {
    MonotonicMicros due = 0;
    MonotonicMicros lead = 0;
    bool handedOver = false;
};

std::vector<Click> Clicks(int count, MonotonicMicros firstDue, MonotonicMicros lead) {
    std::vector<Click> clicks;
    for (int i = 0; i < count; ++i) clicks.push_back({firstDue + i * kHalfSecond, lead});
    return clicks;
}

std::vector<MonotonicMicros> Dues(const std::vector<Click>& clicks) {
    std::vector<MonotonicMicros> dues;
    for (const Click& click : clicks) dues.push_back(click.due);
    return dues;
}

class ScheduledMidiTest : public ::testing::Test {
protected:
    void SetUp() override {
        FluidOptions options;
        options.audio = FluidOptions::Audio::Offline;
        options.clock = [this] { return ClockReading(); };
        root_ = CreateFluidSynthRoot(options);
        ASSERT_NE(root_, nullptr);
        ASSERT_TRUE(root_->Status().soundFontLoaded) << root_->Status().message;
        rate_ = root_->SampleRate();
        player_ = root_->CreatePlayer();
        MeasureClickLatency();
    }

    // The first note of a fresh synthesiser starts a little softer than the
    // rest; so two clicks are sent at once on block boundaries, and the
    // second tells how far from the start of its block a click's onset lies.
    void MeasureClickLatency() {
        for (int i = 0; i < 2; ++i) {
            StartRecording();
            ASSERT_TRUE(player_->SendMidi(0, 1, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
            RenderUntil(rendered_ + 344 * kBlock, {static_cast<int>(kBlock)});
        }
        const auto onsets = Onsets();
        ASSERT_EQ(onsets.size(), 1u) << "channel 9 note 33 makes no sound";
        clickLatency_ = onsets[0] - recordedFrom_;
        ASSERT_LT(clickLatency_, kBlock);
        StartRecording();
    }

    void StartRecording() {
        levels_.clear();
        recordedFrom_ = rendered_;
    }

    MonotonicMicros TimeOfFrame(std::int64_t frame) const {
        return kStart + std::llround(static_cast<double>(frame) * 1e6 / rate_);
    }
    double FrameOfTime(MonotonicMicros time) const { return static_cast<double>(time - kStart) * rate_ / 1e6; }
    std::int64_t FramesAfter(MonotonicMicros time, double seconds) const {
        return std::llround(FrameOfTime(time) + seconds * rate_);
    }
    MonotonicMicros Now() const { return TimeOfFrame(rendered_); }

    // What the engine reads at the start of each render call: the time of
    // the first frame it renders, plus the call's lateness if any.
    MonotonicMicros ClockReading() {
        const MonotonicMicros late = lateness_ ? lateness_(calls_) : 0;
        ++calls_;
        return Now() + late;
    }

    // Renders up to `endFrame`, taking chunk sizes from `chunks` in turn.
    // Before each chunk come the clicks that the user-interface thread hands
    // over while the chunk renders, so that each is at least its lead ahead.
    void RenderUntil(std::int64_t endFrame, const std::vector<int>& chunks, std::vector<Click>* clicks = nullptr) {
        std::vector<float> left, right;
        for (std::size_t i = 0; rendered_ < endFrame; ++i) {
            const int count = static_cast<int>(std::min<std::int64_t>(chunks[i % chunks.size()], endFrame - rendered_));
            const MonotonicMicros chunkEnd = TimeOfFrame(rendered_ + count);
            for (Click& click : clicks ? *clicks : noClicks_) {
                if (click.handedOver || click.due - click.lead >= chunkEnd) continue;
                ASSERT_TRUE(player_->SendMidiAt(click.due, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
                click.handedOver = true;
            }
            left.assign(static_cast<std::size_t>(count), 0.0f);
            right.assign(static_cast<std::size_t>(count), 0.0f);
            root_->RenderOffline(left.data(), right.data(), count);
            const auto levels = Levels(left, right);
            levels_.insert(levels_.end(), levels.begin(), levels.end());
            rendered_ += count;
        }
    }
    void RenderFor(double seconds, int chunk) { RenderUntil(rendered_ + std::llround(seconds * rate_), {chunk}); }

    std::vector<std::int64_t> Onsets() const { return FindOnsets(levels_, rate_, recordedFrom_); }

    // Checks that each click starts in the block nearest its due frame, and
    // returns the largest distances from the due frames.
    struct Errors {
        double onset = 0;       // the click's onset
        double blockStart = 0;  // the start of the block the click started in
    };
    Errors CheckClicksOnTime(const std::vector<std::int64_t>& onsets, const std::vector<MonotonicMicros>& dues) const {
        EXPECT_EQ(onsets.size(), dues.size());
        Errors largest;
        for (std::size_t i = 0; i < std::min(onsets.size(), dues.size()); ++i) {
            const double dueFrame = FrameOfTime(dues[i]);
            const std::int64_t blockStart = onsets[i] - clickLatency_;
            const Errors errors{std::fabs(static_cast<double>(onsets[i]) - dueFrame),
                                std::fabs(static_cast<double>(blockStart) - dueFrame)};
            EXPECT_LT(errors.onset, kBlock) << "click " << i << " due at frame " << dueFrame;
            EXPECT_EQ(blockStart % kBlock, 0) << "click " << i << " did not start on a block boundary";
            EXPECT_LE(errors.blockStart, kBlock / 2 + 0.5)
                << "click " << i << " is not in the block nearest its due frame " << dueFrame;
            largest = {std::max(largest.onset, errors.onset), std::max(largest.blockStart, errors.blockStart)};
        }
        return largest;
    }

    // Clicks half a second apart are 22050 frames apart, within a block;
    // returns the largest difference.
    double CheckIntervals(const std::vector<std::int64_t>& onsets) const {
        double largest = 0;
        for (std::size_t i = 1; i < onsets.size(); ++i) {
            const double interval = static_cast<double>(onsets[i] - onsets[i - 1]);
            EXPECT_NEAR(interval, 0.5 * rate_, kBlock) << "after click " << i - 1;
            largest = std::max(largest, std::fabs(interval - 0.5 * rate_));
        }
        return largest;
    }

    // Clicks handed over as the test renders, checked and their errors noted.
    void CheckClicks(const std::vector<Click>& clicks) {
        const auto onsets = Onsets();
        const Errors errors = CheckClicksOnTime(onsets, Dues(clicks));
        RecordProperty("largestOnsetErrorFrames", std::to_string(errors.onset));
        RecordProperty("largestBlockStartErrorFrames", std::to_string(errors.blockStart));
        RecordProperty("largestIntervalErrorFrames", std::to_string(CheckIntervals(onsets)));
    }

    std::unique_ptr<FluidSynthRoot> root_;
    std::unique_ptr<SynthPlayer> player_;
    double rate_ = 44100.0;
    std::int64_t rendered_ = 0;
    std::vector<float> levels_;  // every frame rendered from recordedFrom_ on
    std::int64_t recordedFrom_ = 0;
    std::int64_t clickLatency_ = 0;
    int calls_ = 0;
    std::function<MonotonicMicros(int call)> lateness_;
    std::vector<Click> noClicks_;
};

struct ClickCase {
    std::string name;
    MonotonicMicros lead;
    std::vector<int> chunks;
    MonotonicMicros firstDueFromNow;
};

void PrintTo(const ClickCase& c, std::ostream* out) {
    *out << c.name;
}

class ClickTimingTest : public ScheduledMidiTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(ClickTimingTest, ClicksSoundOnTheirDueFramesHalfASecondApart) {
    const ClickCase& c = GetParam();
    std::vector<Click> clicks = Clicks(6, Now() + c.firstDueFromNow, c.lead);
    RenderUntil(FramesAfter(clicks.back().due, 0.4), c.chunks, &clicks);
    CheckClicks(clicks);
}

INSTANTIATE_TEST_SUITE_P(
    LeadsAndChunks, ClickTimingTest,
    ::testing::Values(ClickCase{"Lead100msChunk64", 100'000, {64}, 300'000},
                      ClickCase{"Lead100msChunk128", 100'000, {128}, 312'345},
                      ClickCase{"Lead100msChunk256", 100'000, {256}, 301'000},
                      ClickCase{"Lead100msChunk1000", 100'000, {1000}, 333'333},
                      ClickCase{"Lead1msChunk64", 1'000, {64}, 300'700},
                      ClickCase{"Lead1msChunk128", 1'000, {128}, 299'999},
                      ClickCase{"Lead1msChunk256", 1'000, {256}, 305'555},
                      ClickCase{"Lead1msChunk1000", 1'000, {1000}, 320'000},
                      ClickCase{"Lead1msMixedChunks", 1'000, {37, 1000, 64, 300, 128, 999}, 310'101},
                      ClickCase{"Lead100msMixedChunks", 100'000, {1000, 37, 256, 999, 64}, 300'010}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return info.param.name; });

TEST_F(ScheduledMidiTest, LateRenderCallsDoNotMoveTheClicks) {
    // Every fourth call starts 15 ms late, the others up to 0.3 ms late.
    lateness_ = [](int call) -> MonotonicMicros { return call % 4 == 3 ? 15'000 : (call % 7) * 50; };
    std::vector<Click> clicks = Clicks(6, Now() + 300'000, 100'000);
    RenderUntil(FramesAfter(clicks.back().due, 0.4), {128}, &clicks);
    CheckClicks(clicks);
}

// Handed over after its time, a click sounds in the next block rendered,
// however long ago it was due.
TEST_F(ScheduledMidiTest, AMessagePastItsTimeSoundsAtOnce) {
    std::vector<std::int64_t> expected;
    for (MonotonicMicros past : {MonotonicMicros{50'000}, MonotonicMicros{0}, MonotonicMicros{-1}}) {
        RenderFor(0.3, 100);  // ends in the middle of a block
        const MonotonicMicros due = past >= 0 ? Now() - past : std::numeric_limits<MonotonicMicros>::min();
        ASSERT_TRUE(player_->SendMidiAt(due, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
        expected.push_back(NextBlockStart(rendered_) + clickLatency_);
        RenderFor(0.3, 100);
    }
    EXPECT_EQ(Onsets(), expected);
}

TEST_F(ScheduledMidiTest, CancelDropsWhatHasNotSounded) {
    std::vector<Click> clicks = Clicks(3, Now() + 300'000, 100'000);
    RenderUntil(FramesAfter(clicks[0].due, 0.2), {128}, &clicks);
    for (Click& click : clicks) {
        if (!click.handedOver) {
            ASSERT_TRUE(player_->SendMidiAt(click.due, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
        }
    }
    player_->CancelScheduled();
    RenderFor(1.5, 128);
    CheckClicksOnTime(Onsets(), {clicks[0].due});

    // The schedule takes messages again after a cancel.
    const MonotonicMicros due = Now() + 200'000;
    ASSERT_TRUE(player_->SendMidiAt(due, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
    RenderFor(0.4, 128);
    CheckClicksOnTime(Onsets(), {clicks[0].due, due});
}

// A note sent at once does not wait behind the schedule, nor disturb it.
TEST_F(ScheduledMidiTest, SendingAtOnceIsNotHeldUpByScheduledMessages) {
    RenderFor(0.25, 100);
    const MonotonicMicros due = Now() + kHalfSecond;
    ASSERT_TRUE(player_->SendMidiAt(due, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
    ASSERT_TRUE(player_->SendMidiAt(due + kHalfSecond, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
    const std::int64_t atOnce = NextBlockStart(rendered_) + clickLatency_;
    ASSERT_TRUE(player_->SendMidi(0, 1, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
    RenderFor(1.3, 100);
    const auto onsets = Onsets();
    ASSERT_EQ(onsets.size(), 3u);
    EXPECT_EQ(onsets[0], atOnce);
    CheckClicksOnTime({onsets[1], onsets[2]}, {due, due + kHalfSecond});
}

// Messages handed over out of order sound in the order of their times, and
// those due at the same moment in the order they came: channel 1 has no
// instrument until the program change, so its note sounds only after it.
TEST_F(ScheduledMidiTest, MessagesSoundInTheOrderOfTheirTimes) {
    const MonotonicMicros first = Now() + 300'000;
    ASSERT_TRUE(player_->SendMidiAt(first + kHalfSecond, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
    ASSERT_TRUE(player_->SendMidiAt(first, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
    const MonotonicMicros pianoDue = first + 2 * kHalfSecond;
    ASSERT_TRUE(player_->SendMidiAt(pianoDue, 1, kProgram, 0, 0));
    ASSERT_TRUE(player_->SendMidiAt(pianoDue, 1, kNoteOn, 60, 100));
    RenderUntil(FramesAfter(pianoDue, 0.3), {256});
    const auto onsets = Onsets();
    ASSERT_EQ(onsets.size(), 3u) << "the piano note did not sound";
    CheckClicksOnTime({onsets[0], onsets[1]}, {first, first + kHalfSecond});
    EXPECT_NEAR(static_cast<double>(onsets[2]), FrameOfTime(pianoDue), 4 * kBlock);
}

TEST_F(ScheduledMidiTest, ScheduledMessagesOutliveThePlayerThatTookThem) {
    const std::vector<Click> clicks = Clicks(3, Now() + 300'000, 0);
    for (const Click& click : clicks) {
        ASSERT_TRUE(player_->SendMidiAt(click.due, kClickChannel, kNoteOn, kClickNote, kClickVelocity));
    }
    EXPECT_TRUE(player_->TearDown1());
    EXPECT_TRUE(player_->TearDown2(1));
    EXPECT_FALSE(player_->SendMidiAt(Now() + 100'000, kClickChannel, kNoteOn, kClickNote, kClickVelocity))
        << "a released player took a message";
    auto next = root_->CreatePlayer();
    RenderUntil(FramesAfter(clicks[0].due, 0.25), {256});
    player_.reset();
    RenderUntil(FramesAfter(clicks[1].due, 0.25), {256});
    // Any player cancels what is left, whoever scheduled it.
    next->CancelScheduled();
    RenderFor(1.0, 256);
    CheckClicksOnTime(Onsets(), {clicks[0].due, clicks[1].due});
}

TEST_F(ScheduledMidiTest, RefusesMessagesItDoesNotSend) {
    const MonotonicMicros due = Now() + 100'000;
    EXPECT_FALSE(player_->SendMidiAt(due, 0, 0xE0, 0, 64));  // pitch bend
    EXPECT_FALSE(player_->SendMidiAt(due, 0, 0xF0, 0, 0));   // system
    EXPECT_FALSE(player_->SendMidiAt(due, 16, kNoteOn, 60, 100));
    EXPECT_FALSE(player_->SendMidiAt(due, kClickChannel, kNoteOn, 128, 100));
    EXPECT_FALSE(player_->SendMidiAt(due, kClickChannel, kNoteOn, kClickNote, -1));
    EXPECT_FALSE(player_->SendMidiAt(due, kClickChannel, 0x190, kClickNote, 100));
    RenderFor(0.5, 256);
    EXPECT_TRUE(Onsets().empty()) << "a refused message made a sound";
}

}  // namespace
}  // namespace tonemark
