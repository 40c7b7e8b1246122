#include "sound/transport.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {

void List1_Click(Main& m) {
    BtnStop_Click(m);
    MainState& s = m.state;
    s.ScaleIndex = static_cast<std::int16_t>(m.ui.List1.listIndex);
    s.ScaleLast = 14;
    s.ScaleSteps.assign(15, 0);
    if (s.ScaleIndex >= 0 && s.ScaleIndex <= kTriadsEntry) {
        s.ScaleSteps = ScaleStepsFor(s.ScaleIndex);
        s.ScaleLast = static_cast<std::int16_t>(s.ScaleSteps.size() - 1);
    } else if (s.ScaleIndex == kTakeEntry) {
        m.ui.List2.rows = m.ui.List3.rows;
    }
    Tonality_Change(m);
}

}  // namespace tonemark
