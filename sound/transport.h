// Loading, playing, stopping and following the current song.
#pragma once

#include <string>
#include <vector>

#include "app/main_form.h"

namespace tonemark {

// Minutes and seconds with at least two digits each: 125 -> "02:05".
std::string TimeText(long seconds);

bool OpenMIDI_Click(Main& m);
bool OpenMusic(Main& m);
void PlayMidiFile(Main& m);
void StopMidiFile(Main& m);
void BtnPlay_Click(Main& m);
void BtnStop_Click(Main& m);
void Timer1_Timer(Main& m);  // the follower, every millisecond while playing
void Timer2_Timer(Main& m);  // releases a note sounded from the score

// Shared by the two ways a song is loaded (a scale, a take).
// The state a failed rebuild goes back to.
struct SongSnapshot {
    MainState state;
    std::vector<std::string> eventLog;
    std::string tempoText;
};
SongSnapshot TakeSnapshot(const Main& m);
void Restore(Main& m, SongSnapshot&& snap);
// Loads SmfPath into the player made by Initialize, takes its meter, sets the
// tempo factor and the volume, and shows the number of bars.
bool LoadIntoSynth(Main& m);
// The loaded song's length in Label7, at the tempo in TempoBPMValue.
void ShowSongLength(Main& m);

}  // namespace tonemark
