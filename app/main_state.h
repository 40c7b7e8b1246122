// The record of the main window's state variables. Every handler reads and
// writes these fields by name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/controls.h"
#include "midifile/notes.h"

namespace tonemark {

struct MainState {
    // Shell, keyboard, recorder and transport.
    double RecTickCount = 0;
    std::vector<std::int16_t> RecTicks;
    std::int16_t PendingKeyDown = 0;
    std::int16_t PendingKeyUp = 0;
    bool TakeStarted = false;
    std::int16_t NoteValueTicks = 0;
    std::array<Color, 25> KeyColors{};
    double BeatTick = 0;
    double TicksPerBeat = 0;
    std::string TempFilePath;
    std::int16_t QuantizeChoice = 0;
    std::int16_t ScaleIndex = 0;
    std::int16_t TempoBPM = 0;
    double TempoBPMValue = 0;
    std::string SmfPath;
    bool FilePlaying = false;
    std::int16_t BarCount = 0;
    std::int16_t FollowLeadMs = 0;
    std::int16_t TimeSigNumerator = 0;
    std::int16_t TimeSigDenominator = 0;
    std::int32_t FollowIndex = 0;
    bool DeviceReady = false;
    double TempoMicros = 0;

    // The chosen scale as semitone steps above the key's root.
    std::vector<std::int16_t> ScaleSteps;
    std::int16_t ScaleLast = 0;
    // Key signature of the current key.
    std::int16_t SharpCount = 0;
    std::int16_t FlatCount = 0;

    // The song last built and read.
    std::vector<NoteEvent> NoteEvents = std::vector<NoteEvent>(1);
    std::vector<TrackNote> GoodTrack;
    std::int16_t Division = 0;
    std::string SmfImage;  // one character per byte
    double MsPerTick = 0;

    // Engraving.
    std::vector<NoteEvent> NotePositions;  // TimeMs = start, StartTick = x on PicScore
    std::int16_t NoteY = 0;
    bool DrawFlat = false;
    bool DrawNatural = false;
    std::int32_t SelectedNote = 0;

    // The take: the tempo its metronome ran at, and its event-log rows as last
    // written to its file (kept whatever happens to the event lists).
    std::int16_t TakeTempoBPM = 0;
    std::vector<std::string> TakeRows;
    // The take on file has been saved somewhere by the user since it was recorded.
    bool TakeSaved = false;
};

}  // namespace tonemark
