#include "keyboard/tempo.h"

#include <array>
#include <cmath>

#include "midifile/take_pipeline.h"
#include "sound/transport.h"
#include "theory/scales.h"

namespace tonemark {

void SpeedValue_Change(Main& m) {
    BtnStop_Click(m);
    const int bpm = m.ui.SpeedValue.value;
    m.ui.LabSpeed.caption = std::to_string(bpm);
    OpenMIDI_Click(m);
    m.state.TicksPerBeat = std::trunc(60000.0 / bpm);
    // A take keeps the tempo it was recorded at, and its times are shown at it.
    if (TakeOnShow(m)) return;
    m.state.TempoBPM = static_cast<std::int16_t>(bpm);
    m.state.TempoBPMValue = bpm;
}

void List4_Click(Main& m) {
    m.state.QuantizeChoice = static_cast<std::int16_t>(m.ui.List4.listIndex);
    if (m.state.ScaleIndex == kTakeEntry) SaveFilex_Click(m);
}

void ValNote_Click(Main& m, int index) {
    static constexpr std::array<std::int16_t, 4> kTicks = {384, 192, 96, 48};
    BtnStop_Click(m);
    if (index < 0 || index >= static_cast<int>(kTicks.size())) return;
    m.state.NoteValueTicks = kTicks[static_cast<size_t>(index)];
    if (m.ui.List1.listIndex < kTakeEntry) OpenMIDI_Click(m);
}

}  // namespace tonemark
