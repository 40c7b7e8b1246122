#include "sound/transport.h"

#include <algorithm>
#include <optional>

#include <cmath>
#include <cstdio>

#include "app/lifecycle.h"
#include "app/temp_files.h"
#include "keyboard/keys.h"
#include "keyboard/recorder.h"
#include "midifile/reader.h"
#include "midifile/take_pipeline.h"
#include "midifile/writer.h"
#include "practice/session.h"
#include "score/scale_score.h"
#include "score/take_score.h"

namespace tonemark {
namespace {

constexpr int kMusicTimePerBar = 4 * kMusicTimePerQuarter;  // a displayed bar, whatever the meter
constexpr int kFirstPageLeft = 86;

std::string BarText(int bar, int count) { return std::to_string(bar) + " of " + std::to_string(count); }

// Whole bars the song spans, the last one counted even when it is not full.
std::int16_t BarsSpanned(std::int32_t length) {
    if (length <= 0) return 0;
    return static_cast<std::int16_t>((length + kMusicTimePerBar - 1) / kMusicTimePerBar);
}

std::int32_t SongLength(Main& m) {
    if (!m.SynthSongHandle) return 0;
    return m.SynthSongHandle->Length().value_or(0);
}

std::int32_t PlayPosition(Main& m) {
    if (!m.SynthPlaybackHandle) return 0;
    return m.SynthPlaybackHandle->Position().value_or(0);
}

void SetRecorderButtons(Main& m, bool enabled) {
    m.ui.Command2.enabled = enabled;
    m.ui.Command3.enabled = enabled;
    m.ui.Command4.enabled = enabled;
}

// The nearest integer, halves to the even neighbour.
long RoundHalfEven(double x) { return std::lrint(x); }

void TurnPageFor(Main& m, int x) {
    const long r = RoundHalfEven(x) % 576;
    if (r > 500) m.ui.PicScore.rect.left = static_cast<int>(650 - x - r);
}

void ReachNote(Main& m) {
    MainState& s = m.state;
    const size_t i = static_cast<size_t>(s.FollowIndex);
    const int x = static_cast<int>(s.NotePositions[i].StartTick);
    if (i < s.NoteEvents.size()) m.ui.LabNote.caption = s.NoteEvents[i].NoteName;
    m.ui.Line1.x1 = m.ui.Line1.x2 = x;
    m.ui.LabNote.rect.left = x;
    if (i + 1 < s.NoteEvents.size()) {
        RestoreKeyColors(m);
        LightKeyOfNote(m, s.NoteEvents[i].NoteNumber);
    }
    TurnPageFor(m, x);
    s.FollowIndex += 1;
}

}  // namespace

SongSnapshot TakeSnapshot(const Main& m) { return {m.state, m.ui.List2.rows, m.ui.Label9.caption}; }

void Restore(Main& m, SongSnapshot&& snap) {
    m.state = std::move(snap.state);
    m.ui.List2.rows = std::move(snap.eventLog);
    m.ui.Label9.caption = std::move(snap.tempoText);
}

// Loads SmfPath into the player and takes the meter, tempo factor, volume
// and length from it.
bool LoadIntoSynth(Main& m) {
    if (!m.SongLoaderHandle || !m.SynthPlayerHandle) return false;
    m.SynthSongHandle = m.SongLoaderHandle->LoadSong(m.state.SmfPath);
    if (!m.SynthSongHandle) return false;
    SynthSong& song = *m.SynthSongHandle;
    SynthPlayer& player = *m.SynthPlayerHandle;
    if (!song.Prepare() || !song.Download(player)) return false;
    std::int32_t next = 0;
    if (auto meter = player.GetTimeSignature(2000, next)) {
        m.state.TimeSigNumerator = static_cast<std::int16_t>(meter->beatsPerBar);
        m.state.TimeSigDenominator = static_cast<std::int16_t>(meter->beatUnit);
    }
    player.SetTempoFactor(1.0f);
    player.SetMasterVolume(-312);
    m.state.BarCount = BarsSpanned(SongLength(m));
    m.ui.Label10.caption = BarText(1, m.state.BarCount);
    return true;
}

namespace {

bool BuildAndRead(Main& m) {
    SongSnapshot before = TakeSnapshot(m);
    if (!MakeSMF(m)) return false;  // the writer has told the user; nothing changed
    const ReadStatus status = ReadBack(m.state);
    if (status == ReadStatus::Ok) return true;
    // Keep the song that is loaded and playable rather than a half-read one.
    Restore(m, std::move(before));
    m.Notify(DescribeReadStatus(status, m.state.SmfPath.empty() ? kScoreFileName : m.state.SmfPath));
    return false;
}

}  // namespace

std::string TimeText(long seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

bool OpenMusic(Main& m) {
    BusyCursor busy(*m.platform);
    // The new song is built and read before the loaded one is let go, so a
    // file that cannot be written or read leaves the current song playable.
    if (!BuildAndRead(m)) return false;
    std::vector<NoteEvent> notes = m.state.NoteEvents;
    CloseDevice(m);
    m.state.NoteEvents = std::move(notes);
    if (!Initialize(m) || !LoadIntoSynth(m)) {
        m.Notify("The song could not be loaded into the synthesiser.");
        return false;
    }
    m.state.DeviceReady = true;
    m.PicScore.Clear();
    m.Pic2.Clear();
    // A take reloaded at a new tempo is still engraved as a take.
    if (TakeOnShow(m)) PutInScore2(m);
    else PutInScore(m);
    m.Notify(m.sound.message);  // an earlier file problem is over; a sound problem is not
    return true;
}

bool OpenMIDI_Click(Main& m) {
    m.ui.LabNote.caption.clear();
    m.platform->RepaintScore();
    StopMidiFile(m);
    if (!OpenMusic(m)) return false;
    m.state.TempoBPMValue = m.state.TempoBPM;
    if (m.state.TempoBPMValue <= 0) return false;
    m.state.TicksPerBeat = std::trunc(60000.0 / m.state.TempoBPMValue);
    ShowSongLength(m);
    return true;
}

void ShowSongLength(Main& m) {
    if (m.state.TempoBPMValue <= 0) return;
    const double length = SongLength(m);
    m.ui.Label7.caption = TimeText(static_cast<long>(length / kMusicTimePerQuarter * 60 / m.state.TempoBPMValue));
}

void PlayMidiFile(Main& m) {
    if (!m.state.DeviceReady) return;
    PracticeEscape(m);  // a practice pass under way ends: the cursor is the playback's now
    SetRecorderButtons(m, false);
    if (m.SynthSongHandle && m.SynthPlayerHandle) {
        m.SynthSongHandle->SetStartPoint(0);
        if (auto playback = m.SynthPlayerHandle->Play(*m.SynthSongHandle, 0, 0))
            m.SynthPlaybackHandle = std::move(playback);
    }
    if (m.SynthPlayerHandle) {
        m.SynthPlayerHandle->SendMidi(0, 1, 0, 192, 0, 0);
        m.SynthPlayerHandle->SendMidi(0, 1, 9, 192, 0, 0);
    }
    m.state.FilePlaying = true;
    m.ui.Timer1.enabled = true;
}

void StopMidiFile(Main& m) {
    if (!m.state.DeviceReady) return;
    m.ui.PicScore.rect.left = kFirstPageLeft;
    SetRecorderButtons(m, true);
    for (Control& lamp : m.ui.Beat) lamp.backColor = kBeatGrey;
    if (m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, 0, 176, 120, 0);
    RestoreKeyColors(m);
    m.ui.Timer1.enabled = false;
    m.ui.Label10.caption = BarText(1, m.state.BarCount);
    m.ui.PlayLed.backColor = kLampGrey;
    if (m.SynthSongHandle && m.SynthPlayerHandle) {
        m.SynthPlayerHandle->Stop(*m.SynthSongHandle, 0, 0);
        m.SynthSongHandle->SetStartPoint(0);
    }
    m.state.FilePlaying = false;
    m.ui.Line1.x1 = m.ui.Line1.x2 = 0;
    m.state.FollowIndex = 0;
}

void BtnPlay_Click(Main& m) {
    m.ui.PlayLed.backColor = kGreen;
    PlayMidiFile(m);
}

void BtnStop_Click(Main& m) {
    StopMidiFile(m);
    m.state.FilePlaying = false;
}

void Timer1_Timer(Main& m) {
    MainState& s = m.state;
    // The output's latency changes while a song plays when its buffer adapts
    // to the machine: the follower holds back by what it is now.
    if (m.SynthRootHandle)
        if (const std::optional<int> lead = m.SynthRootHandle->PositionLeadMsNow())
            s.FollowLeadMs = static_cast<std::int16_t>(std::clamp(*lead, 0, 32767));
    const double elapsedMs = PlayPosition(m) / 768000.0 * s.TempoMicros - s.FollowLeadMs;
    const int bar = PlayPosition(m) / kMusicTimePerBar + 1;
    m.ui.Label10.caption = BarText(s.BarCount > 0 ? std::min(bar, static_cast<int>(s.BarCount)) : bar, s.BarCount);
    if (s.TempoBPMValue > 0)
        m.ui.Label8.caption = TimeText(static_cast<long>(PlayPosition(m) / 768.0 * 60 / s.TempoBPMValue));
    if (s.FollowIndex >= 0 && static_cast<size_t>(s.FollowIndex) < s.NotePositions.size() &&
        elapsedMs >= s.NotePositions[static_cast<size_t>(s.FollowIndex)].TimeMs)
        ReachNote(m);
    if (PlayPosition(m) >= SongLength(m)) {
        StopMidiFile(m);
        Command3_Click(m);
    }
    m.platform->DoEvents();
}

void Timer2_Timer(Main& m) {
    if (m.state.DeviceReady && m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, 0, 176, 120, 0);
    m.ui.Timer2.enabled = false;
}

}  // namespace tonemark
