#include "sound/fluid/fluid_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "sound/fluid/fluid_log.h"
#include "sound/fluid/midi_message.h"
#include "sound/fluid/soundfont_check.h"
#include "sound/fluid/soundfont_search.h"

namespace tonemark {

std::shared_ptr<FluidEngine> FluidEngine::Create(const std::string& soundFontPath,
                                                 std::function<MonotonicMicros()> clock) {
    QuietFluidLog();
    std::shared_ptr<FluidEngine> engine(new FluidEngine());
    engine->clock_ = clock ? std::move(clock) : MonotonicNow;
    if (!engine->Build()) return nullptr;
    engine->FindSoundFontFile(soundFontPath);
    return engine;
}

FluidEngine::~FluidEngine() {
    if (soundFontLoader_.joinable()) soundFontLoader_.join();
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
}

namespace {
constexpr double kNormalGain = 1.0;
}  // namespace

bool FluidEngine::Build() {
    settings_ = new_fluid_settings();
    if (!settings_) return false;
    // Samples are read when an instrument is first selected: the SoundFont
    // then opens several times faster than when every sample is read at once.
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(settings_, "synth.threadsafe-api", 1);
    // Keep the channels' instruments when a song ends.
    fluid_settings_setint(settings_, "player.reset-synth", 0);
    // FluidSynth's default gain (0.2) leaves room for many voices; a scale
    // on the General MIDI piano then peaks near -31 dBFS, too quiet to hear
    // well. The program plays at most a three-note chord and a click, so the
    // normal gain is five times that (-17 dBFS for a scale, with headroom).
    fluid_settings_setnum(settings_, "synth.gain", kNormalGain);
    synth_ = new_fluid_synth(settings_);
    if (!synth_) return false;
    fluid_settings_getnum(settings_, "synth.sample-rate", &sampleRate_);
    normalGain_ = fluid_synth_get_gain(synth_);
    blockFrames_ = std::max(1, fluid_synth_get_internal_bufsize(synth_));
    frameClock_ = FrameClock(sampleRate_);
    return true;
}

bool FluidEngine::SoundFontLoaded() const {
    const SoundFontState state = soundFontState_;
    return state == SoundFontState::Loading || state == SoundFontState::Loaded;
}

std::string FluidEngine::SoundFontMessage() const {
    std::lock_guard<std::mutex> lock(messageMutex_);
    return soundFontMessage_;
}

void FluidEngine::FindSoundFontFile(const std::string& soundFontPath) {
    const auto candidates = SoundFontCandidates(soundFontPath);
    const auto found = FindSoundFont(candidates);
    if (!found) {
        soundFontMessage_ = NoSoundFontMessage(candidates);
        return;
    }
    soundFontFile_ = *found;
    soundFontState_ = SoundFontState::Loading;
}

void FluidEngine::ReadSoundFont(SoundFontLoading loading) {
    if (soundFontFile_.empty() || soundFontLoader_.joinable()) return;
    if (loading == SoundFontLoading::Now) {
        LoadSoundFont(soundFontFile_);
    } else {
        soundFontLoader_ = std::thread([this] { LoadSoundFont(soundFontFile_); });
    }
}

// FluidSynth's own calls are thread-safe, so this may run while other threads
// sound notes and render. Each call holds the synthesiser's lock, and with it
// the sound thread, for as long as it takes; so the file is opened without
// choosing instruments, and only the two channels the program plays on (the
// piano on 0, the drum kit on 9) get theirs, one call at a time, instead of
// all sixteen in one long call. A file that is plainly not a whole SoundFont
// is not handed to FluidSynth at all, which would only fail on it more slowly
// and with less to say.
void FluidEngine::LoadSoundFont(const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    std::string fault = SoundFontFileFault(path);
    const int id = fault.empty() ? fluid_synth_sfload(synth_, path.c_str(), 0) : FLUID_FAILED;
    if (id >= 0) {
        for (int channel : {0, 9}) fluid_synth_program_change(synth_, channel, 0);
    } else if (fault.empty()) {
        fault = DamagedSoundFontMessage(path);
    }
    soundFontLoadMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (id < 0) {
        std::lock_guard<std::mutex> lock(messageMutex_);
        soundFontMessage_ = std::move(fault);
    }
    std::lock_guard<std::mutex> lock(gainMutex_);
    soundFontState_ = id < 0 ? SoundFontState::Failed : SoundFontState::Loaded;
    if (pendingGain_) fluid_synth_set_gain(synth_, *pendingGain_);
    pendingGain_.reset();
}

void FluidEngine::SetGain(float gain) {
    std::lock_guard<std::mutex> lock(gainMutex_);
    if (soundFontState_ == SoundFontState::Loading && soundFontLoader_.joinable()) {
        pendingGain_ = gain;
        return;
    }
    fluid_synth_set_gain(synth_, gain);
}

void FluidEngine::Schedule(const ScheduledMessage& message) {
    if (!delayTaken_.exchange(true)) scheduledDelay_ = outputDelay_.load();
    schedule_.Add(message);
}

void FluidEngine::CancelScheduled() {
    schedule_.Clear();
    delayTaken_ = false;
}

// FluidSynth renders in blocks and starts what it was sent at the next block
// it renders. Stopping a write at a block boundary therefore makes a message
// sent then sound from exactly that boundary, which is how each scheduled
// message gets the block nearest its due frame.
void FluidEngine::Render(float* left, float* right, int frames, MonotonicMicros outputDelay) {
    auto lock = RenderLock();
    outputDelay_ = std::max<MonotonicMicros>(outputDelay, 0);
    frameClock_.Observe(clock_(), framesRendered_);
    int done = 0;
    while (done < frames) {
        std::int64_t count = frames - done;
        if (const auto nextStart = SendDueMessages()) count = std::min(count, *nextStart - framesRendered_);
        fluid_synth_write_float(synth_, static_cast<int>(count), left, done, 1, right, done, 1);
        done += static_cast<int>(count);
        framesRendered_ += count;
    }
}

std::int64_t FluidEngine::NearestBlockStart(MonotonicMicros due) const {
    // Far beyond any time a render reaches, but safe to convert.
    constexpr double kFarthestFrame = 1e18;
    const MonotonicMicros grown = outputDelay_.load() - scheduledDelay_.load();
    const double frame = std::clamp(frameClock_.FrameAt(due - grown), -kFarthestFrame, kFarthestFrame);
    return static_cast<std::int64_t>(std::floor(frame / static_cast<double>(blockFrames_) + 0.5)) * blockFrames_;
}

// Sends every message whose block starts no later than the next block
// FluidSynth will render (those past due included) and returns the start of
// the block the first message left waits for.
std::optional<std::int64_t> FluidEngine::SendDueMessages() {
    const std::int64_t nextBlock = (framesRendered_ + blockFrames_ - 1) / blockFrames_ * blockFrames_;
    std::optional<std::int64_t> waitingStart;
    schedule_.SendDue(
        [&](MonotonicMicros due) {
            const std::int64_t start = NearestBlockStart(due);
            if (start > nextBlock) waitingStart = start;
            return start <= nextBlock;
        },
        [this](const ScheduledMessage& m) { SendChannelMessage(synth_, m.channel, m.status, m.data1, m.data2); });
    return waitingStart;
}

}  // namespace tonemark
