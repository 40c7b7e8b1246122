#include "midifile/take_pipeline.h"
#include "sound/transport.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {

void Tonality_Change(Main& m) {
    BtnStop_Click(m);
    MainState& s = m.state;
    const int k = m.ui.Tonality.value;
    m.ui.TransLab.caption = std::to_string(k);
    std::string keyName;
    if (s.ScaleIndex >= 0 && s.ScaleIndex < kTakeEntry) {
        keyName = PitchNames[static_cast<size_t>(k)];
        const KeySignature sig = KeySignatureFor(s.ScaleIndex, k);
        s.SharpCount = static_cast<std::int16_t>(sig.sharps);
        s.FlatCount = static_cast<std::int16_t>(sig.flats);
    } else if (s.ScaleIndex == kTakeEntry) {
        keyName = "Song 1";
        s.SharpCount = 0;
        s.FlatCount = 0;
    }
    const int row = s.ScaleIndex;
    const std::string entry =
        row >= 0 && row < static_cast<int>(m.ui.List1.rows.size()) ? m.ui.List1.rows[static_cast<size_t>(row)] : "";
    m.ui.Labella.caption = entry + ": " + keyName;
    if (s.ScaleIndex == kTakeEntry) SaveFilex_Click(m);
    else OpenMIDI_Click(m);
}

}  // namespace tonemark
