// What the synthesiser actually sounds like, rendered offline and analysed.
#include "sound/fluid/fluid_synth.h"

#include <gtest/gtest.h>

#include "midifile/writer.h"
#include "theory/scales.h"
#include "support/temp_path.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <vector>

namespace tonemark {
namespace {

constexpr int kNoteOn = 0x90;
constexpr int kControl = 0xB0;

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
};

Stereo Render(FluidSynthRoot& root, double seconds) {
    const int frames = static_cast<int>(seconds * root.SampleRate());
    Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
    constexpr int kBlock = 256;
    for (int at = 0; at < frames; at += kBlock) {
        root.RenderOffline(out.left.data() + at, out.right.data() + at, std::min(kBlock, frames - at));
    }
    return out;
}

double Rms(const Stereo& sound) {
    double sum = 0;
    for (std::size_t i = 0; i < sound.left.size(); ++i) {
        sum += sound.left[i] * sound.left[i] + sound.right[i] * sound.right[i];
    }
    return sound.left.empty() ? 0.0 : std::sqrt(sum / (2.0 * sound.left.size()));
}

// Magnitude of the Hann-windowed spectrum of `samples` at `hz`.
double SpectrumAt(const std::vector<float>& samples, double hz, double rate) {
    const double step = 2 * std::numbers::pi * hz / rate;
    const double n = static_cast<double>(samples.size());
    double re = 0, im = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1));
        re += samples[i] * window * std::cos(step * i);
        im -= samples[i] * window * std::sin(step * i);
    }
    return std::hypot(re, im);
}

// The strongest spectral peak between `low` and `high` Hz: a 1 Hz scan, then
// a golden-section search inside the peak's main lobe.
double PeakFrequency(const std::vector<float>& samples, double low, double high, double rate) {
    double best = low, bestMagnitude = -1;
    for (double hz = low; hz <= high; hz += 1.0) {
        const double magnitude = SpectrumAt(samples, hz, rate);
        if (magnitude > bestMagnitude) {
            bestMagnitude = magnitude;
            best = hz;
        }
    }
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    double a = best - 1.0, b = best + 1.0;
    while (b - a > 1e-3) {
        const double c = b - ratio * (b - a), d = a + ratio * (b - a);
        if (SpectrumAt(samples, c, rate) > SpectrumAt(samples, d, rate)) {
            b = d;
        } else {
            a = c;
        }
    }
    return (a + b) / 2;
}

double Cents(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}

double NoteFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// The pitch of `left` near `note`: the strongest peak within two semitones.
double MeasuredPitch(const std::vector<float>& left, int note, double rate) {
    const double expected = NoteFrequency(note);
    return PeakFrequency(left, expected * std::pow(2.0, -2 / 12.0), expected * std::pow(2.0, 2 / 12.0), rate);
}

std::vector<float> Slice(const std::vector<float>& samples, double fromSeconds, double seconds, double rate) {
    const auto from = static_cast<std::size_t>(fromSeconds * rate);
    const auto count = static_cast<std::size_t>(seconds * rate);
    return std::vector<float>(samples.begin() + from, samples.begin() + from + count);
}

class FluidSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = CreateFluidSynthRoot({FluidOptions::Audio::Offline, ""});
        ASSERT_NE(root_, nullptr);
        ASSERT_TRUE(root_->Status().soundFontLoaded) << root_->Status().message;
        player_ = root_->CreatePlayer();
        ASSERT_NE(player_, nullptr);
    }

    double Rate() const { return root_->SampleRate(); }

    std::unique_ptr<FluidSynthRoot> root_;
    std::unique_ptr<SynthPlayer> player_;
};

TEST_F(FluidSoundTest, MiddleCSoundsAtItsPitch) {
    ASSERT_TRUE(player_->SendMidi(0, 1, 0, kNoteOn, 60, 100));
    const Stereo sound = Render(*root_, 0.6);
    const std::vector<float> steady = Slice(sound.left, 0.1, 0.4, Rate());
    const double pitch = MeasuredPitch(steady, 60, Rate());
    EXPECT_NEAR(Cents(pitch, 261.63), 0.0, 5.0) << pitch << " Hz";
}

TEST_F(FluidSoundTest, MetronomeClickIsAudible) {
    const double silence = Rms(Render(*root_, 0.05));
    ASSERT_TRUE(player_->SendMidi(0, 1, 9, kNoteOn, 33, 100));
    const double click = Rms(Render(*root_, 0.1));
    EXPECT_LT(silence, 1e-6);
    EXPECT_GT(click, 1e-3);
}

// The level of channel 0 between 5 and 55 ms after `end` follows a note that
// sounded for 0.2 s. The piano keeps a little reverberation (its instrument
// sends to the reverb whatever controller 91 says), so "silent" means the
// note itself has stopped and only that fading tail remains.
double LevelAfter(FluidSynthRoot& root, SynthPlayer& player, int endStatus, int endData1, double& sounding) {
    player.SendMidi(0, 1, 0, kNoteOn, 60, 100);
    sounding = Rms(Render(root, 0.2));
    player.SendMidi(0, 1, 0, endStatus, endData1, 0);
    Render(root, 0.005);
    const double level = Rms(Render(root, 0.05));
    player.SendMidi(0, 1, 0, kControl, 120, 0);
    Render(root, 2.0);
    return level;
}

TEST_F(FluidSoundTest, AllSoundsOffSilencesASoundingNote) {
    double sounding = 0;
    const double afterRelease = LevelAfter(*root_, *player_, 0x80, 60, sounding);
    const double afterCut = LevelAfter(*root_, *player_, kControl, 120, sounding);
    EXPECT_GT(sounding, 1e-3);
    EXPECT_LT(afterCut, sounding * 0.1);
    EXPECT_LT(afterCut, afterRelease * 0.2) << "a note-off fades the note; controller 120 must cut it";
    // Half a second later the room is quiet too.
    player_->SendMidi(0, 1, 0, kNoteOn, 60, 100);
    Render(*root_, 0.2);
    player_->SendMidi(0, 1, 0, kControl, 120, 0);
    Render(*root_, 0.5);
    EXPECT_LT(Rms(Render(*root_, 0.05)), sounding * 1e-2);
}

TEST_F(FluidSoundTest, NoteOffAndAllNotesOffReleaseTheNote) {
    player_->SendMidi(0, 1, 0, kControl, 91, 0);
    player_->SendMidi(0, 1, 0, kControl, 93, 0);
    ASSERT_TRUE(player_->SendMidi(0, 1, 0, kNoteOn, 64, 100));
    const double sounding = Rms(Render(*root_, 0.2));
    ASSERT_TRUE(player_->SendMidi(0, 1, 0, 0x80, 64, 0));
    Render(*root_, 1.5);  // the piano's release
    EXPECT_LT(Rms(Render(*root_, 0.05)), sounding * 1e-2);

    ASSERT_TRUE(player_->SendMidi(0, 1, 0, kNoteOn, 67, 100));
    Render(*root_, 0.2);
    ASSERT_TRUE(player_->SendMidi(0, 1, 0, kControl, 123, 0));
    Render(*root_, 1.5);
    EXPECT_LT(Rms(Render(*root_, 0.05)), sounding * 1e-2);
}

TEST_F(FluidSoundTest, RefusesMessagesItDoesNotSend) {
    EXPECT_FALSE(player_->SendMidi(0, 1, 0, 0xE0, 0, 64));   // pitch bend
    EXPECT_FALSE(player_->SendMidi(0, 1, 0, 0xF0, 0, 0));    // system
    EXPECT_FALSE(player_->SendMidi(0, 1, 16, kNoteOn, 60, 100));
    EXPECT_FALSE(player_->SendMidi(0, 1, 0, kNoteOn, 128, 100));
    EXPECT_FALSE(player_->SendMidi(0, 1, 0, 0x190, 60, 100));
    EXPECT_TRUE(player_->SendMidi(0, 1, 0, 0xC0, 0, 0));
    EXPECT_TRUE(player_->SendMidi(0, 1, 9, 0xC0, 0, 0));
    EXPECT_LT(Rms(Render(*root_, 0.1)), 1e-6) << "a refused message made a sound";
}

TEST_F(FluidSoundTest, MasterVolumeIsInHundredthsOfADecibel) {
    auto levelAt = [this](std::int32_t volume) {
        EXPECT_TRUE(player_->SetMasterVolume(volume));
        player_->SendMidi(0, 1, 0, kNoteOn, 60, 100);
        const double level = Rms(Render(*root_, 0.3));
        player_->SendMidi(0, 1, 0, kControl, 120, 0);
        Render(*root_, 1.0);
        return level;
    };
    levelAt(0);  // the first note of a fresh synthesiser is not typical
    const double normal = levelAt(0);
    EXPECT_NEAR(20 * std::log10(levelAt(-600) / normal), -6.0, 0.1);
    EXPECT_NEAR(20 * std::log10(levelAt(-312) / normal), -3.12, 0.1);
}


TEST_F(FluidSoundTest, MajorScaleFilePlaysEveryNoteInOrder) {
    // The file the program writes for "Scala maggiore" in C at 120 BPM.
    ScaleFileRequest request;
    request.scaleIndex = 0;
    request.steps = ScaleStepsFor(0);
    const ScaleFile file = BuildScaleFile(request);
    const auto path = testing::TestTempPath("scale.mid");
    std::ofstream(path, std::ios::binary) << file.bytes;
    auto song = root_->CreateLoader()->LoadSong(path.string());
    std::filesystem::remove(path);
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song->Download(*player_));
    ASSERT_NE(player_->Play(*song, 0, 0), nullptr);
    const Stereo sound = Render(*root_, 8.0);
    for (size_t i = 0; i < request.steps.size(); ++i) {
        const int note = 60 + request.steps[i];
        // The middle of each half-second note.
        const std::vector<float> part = Slice(sound.left, 0.5 * static_cast<double>(i) + 0.1, 0.35, Rate());
        EXPECT_NEAR(Cents(MeasuredPitch(part, note, Rate()), NoteFrequency(note)), 0.0, 10.0) << "note " << i;
    }
}

}  // namespace
}  // namespace tonemark
