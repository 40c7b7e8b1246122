#include "midifile/take_pipeline.h"

#include <cstdlib>

#include "app/lifecycle.h"
#include "app/temp_files.h"
#include "midifile/reader.h"
#include "midifile/take_writer.h"
#include "score/take_score.h"
#include "sound/transport.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

bool HoldsNote(const std::vector<std::string>& rows) {
    for (const std::string& row : rows) {
        const auto tab = row.find('\t');
        if (tab != std::string::npos && row.compare(tab + 1, 4, "144\t") == 0) return true;
    }
    return false;
}

int CaptionNumber(const std::string& caption) { return std::atoi(caption.c_str()); }

// The rows to write: the event list's, unless it lost them (a tempo change
// clears it; "Rec" clears it until the next take is stopped), in which case
// the take keeps the rows it was last written from. Empty when there are none.
std::vector<std::string> RowsToWrite(Main& m) {
    if (HoldsNote(m.ui.List2.rows)) return m.ui.List2.rows;
    if (!HoldsNote(m.state.TakeRows)) return {};
    m.ui.List2.rows = m.state.TakeRows;
    return m.state.TakeRows;
}

// The take is written at the tempo its metronome ran at, whatever the speed
// control shows now: its ticks then stay on the metronome's beats, so the
// quantize grid means what the user heard.
int TakeTempo(const Main& m) {
    if (m.state.TakeTempoBPM > 0) return m.state.TakeTempoBPM;
    return CaptionNumber(m.ui.LabSpeed.caption);
}

}  // namespace

bool TakeOnShow(const Main& m) {
    return m.state.ScaleIndex == kTakeEntry && !m.state.SmfPath.empty() &&
           m.state.SmfPath == JoinTempPath(m.platform->TempDirectory(), kTakeFileName);
}

void SaveFilex_Click(Main& m) {
    MainState& s = m.state;
    if (s.RecTicks.size() <= 1) return;  // no take
    const std::vector<std::string> rows = RowsToWrite(m);
    if (rows.empty()) return;  // nothing to write: the take's file stays as it is
    const int tempo = TakeTempo(m);
    if (tempo <= 0) return;

    TakeFileRequest request;
    request.rows = rows;
    request.transpose = CaptionNumber(m.ui.TransLab.caption);
    request.tempoBpm = tempo;
    request.quantizeChoice = s.QuantizeChoice;
    std::string image = BuildTakeFile(request);

    const std::string path = JoinTempPath(m.platform->TempDirectory(), kTakeFileName);
    const std::string error = m.platform->WriteWorkingFile(path, image);
    if (!error.empty()) {
        m.Notify("The take could not be written (" + error + "); it is kept, and the song on show stays loaded.");
        return;
    }

    BusyCursor busy(*m.platform);
    StopMidiFile(m);
    SongSnapshot before = TakeSnapshot(m);
    s.SmfImage = std::move(image);
    s.TempFilePath = path;
    s.SmfPath = path;
    ReadFile(m);
    const ReadStatus status = ReadBack(s);
    if (status != ReadStatus::Ok) {
        // Someone changed the file between writing and reading: keep what is loaded.
        Restore(m, std::move(before));
        m.Notify(DescribeReadStatus(status, path));
        return;
    }
    s.TakeRows = rows;
    const bool connected = Initialize(m);
    if (connected) m.platform->DoEvents();
    if (!connected || !LoadIntoSynth(m)) {
        // The player the last song was downloaded to is gone: start clean.
        CloseDevice(m);
        m.Notify("The take could not be loaded into the synthesiser.");
        return;
    }
    s.DeviceReady = true;
    m.PicScore.Clear();
    m.Pic2.Clear();
    PutInScore2(m);
    m.ui.List3.rows = m.ui.List2.rows;
    s.TempoBPMValue = s.TempoBPM;
    ShowSongLength(m);
    m.Notify(m.sound.message);
}

}  // namespace tonemark
