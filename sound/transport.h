// Loading, playing, stopping and following the current song.
#pragma once

#include <string>

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

}  // namespace tonemark
