#include "app/lifecycle.h"

#include <optional>

#include "score/header.h"
#include "sound/transport.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr int kScoreLeftEdge = 86;

bool EnsureSynthRoot(Main& m) {
    if (m.SynthRootHandle) return true;
    if (!m.makeSynthRoot) return false;
    m.SynthRootHandle = m.makeSynthRoot(m.sound);
    // The follower compares what is heard with the score, so it holds back
    // by as much as the synthesiser's position runs ahead of the loudspeaker.
    m.state.FollowLeadMs = static_cast<std::int16_t>(m.sound.positionLeadMs);
    if (!m.sound.message.empty()) m.Notify(m.sound.message);
    return m.SynthRootHandle != nullptr;
}

void DrawInitialStaff(Canvas& score) {
    for (int y = 32; y <= 64; y += 8) score.Line(0, y, 800, y, kBlack, 1);
}

}  // namespace

void RestoreKeyColors(Main& m) {
    for (size_t i = 0; i < m.ui.key.size(); ++i) m.ui.key[i].backColor = m.state.KeyColors[i];
}

void Form_Load(Main& m) {
    m.ui.List4.rows = {"Quantize None", "Quantize 1/16", "Quantize 1/8", "Quantize 1/4"};
    for (size_t i = 0; i < m.ui.key.size(); ++i) m.state.KeyColors[i] = m.ui.key[i].backColor;
    m.ui.PicScore.rect.left = kScoreLeftEdge;
    m.state.RecTicks.assign(1, 0);
    m.state.NoteValueTicks = 192;
    m.state.FollowLeadMs = static_cast<std::int16_t>(m.sound.positionLeadMs);
    DrawInitialStaff(m.PicScore);
    if (EnsureSynthRoot(m)) m.SongLoaderHandle = m.SynthRootHandle->CreateLoader();
    else if (m.ui.StatusLine.caption.empty()) m.Notify("The synthesiser could not be started: there is no sound.");
    m.state.DeviceReady = false;
    m.state.TimeSigNumerator = 4;
    m.state.TimeSigDenominator = 4;
    Intestazione(m.Pic2, m.state);
    m.ui.List1.rows.assign(kScaleNames.begin(), kScaleNames.end());
    m.ui.List1.listIndex = 0;
    List1_Click(m);
}

void Form_Unload(Main& m) { CloseDevice(m); }

void BtnRec_Click(Main& m) {
    CloseDevice(m);
    m.platform->EndProgram();
}

void Command1_Click(Main& m) { m.platform->ShowCircle(); }

void RefreshSoundStatus(Main& m) {
    if (!m.SynthRootHandle) return;
    std::optional<SoundStatus> now = m.SynthRootHandle->StatusNow();
    if (!now) return;
    const std::string shown = m.sound.message;
    m.sound = std::move(*now);
    m.state.FollowLeadMs = static_cast<std::int16_t>(m.sound.positionLeadMs);
    if (m.sound.message == shown) return;
    if (m.ui.StatusLine.caption == shown || m.ui.StatusLine.caption.empty()) m.Notify(m.sound.message);
}

bool Initialize(Main& m) {
    if (!EnsureSynthRoot(m)) return false;
    m.SynthPlayerHandle = m.SynthRootHandle->CreatePlayer();
    // The new player may have found the sound device again.
    RefreshSoundStatus(m);
    m.SongLoaderHandle = m.SynthRootHandle->CreateLoader();
    if (!m.SynthPlayerHandle || !m.SongLoaderHandle) return false;
    const std::array<std::int32_t, 7> noAudioParams{};
    if (!m.SynthPlayerHandle->OpenAudio(0, 63, noAudioParams, 8, 128)) return false;
    m.SynthPlayerHandle->SetupCall(5);
    m.SynthPlayerHandle->SetupCall(1);
    return true;
}

void CloseDevice(Main& m) {
    m.ui.Timer1.enabled = false;
    SynthPlayer* player = m.SynthPlayerHandle.get();
    SynthSong* song = m.SynthSongHandle.get();
    if (m.state.DeviceReady && player != nullptr) {
        if (song != nullptr) player->Stop(*song, 0, 0);
        player->TearDown1();
        m.platform->DoEvents();
        // Pending events may have replaced the handles.
        player = m.SynthPlayerHandle.get();
        song = m.SynthSongHandle.get();
    }
    if (song != nullptr && player != nullptr) song->Unload(*player);
    if (player != nullptr) player->TearDown2(1);
    m.SynthPlaybackHandle.reset();
    m.SynthSongHandle.reset();
    m.SynthPlayerHandle.reset();
    ZeroVariables(m);
}

void SynthArrived(Main& m, std::unique_ptr<SynthRoot> root, SoundStatus status) {
    const bool songLoaded = m.state.DeviceReady;
    std::vector<NoteEvent> notes = m.state.NoteEvents;
    CloseDevice(m);
    m.state.NoteEvents = std::move(notes);
    m.SongLoaderHandle.reset();
    m.SynthRootHandle = std::move(root);
    m.sound = std::move(status);
    m.state.FollowLeadMs = static_cast<std::int16_t>(m.sound.positionLeadMs);
    if (m.SynthRootHandle) {
        m.SongLoaderHandle = m.SynthRootHandle->CreateLoader();
        if (songLoaded) {
            m.state.DeviceReady = Initialize(m) && LoadIntoSynth(m);
            if (!m.state.DeviceReady) {
                m.Notify("The song could not be loaded into the synthesiser.");
                return;
            }
        }
    }
    if (!m.sound.message.empty()) m.Notify(m.sound.message);
}

void ZeroVariables(Main& m) {
    m.state.NoteEvents.assign(1, NoteEvent{});
    m.state.DeviceReady = false;
}

}  // namespace tonemark
