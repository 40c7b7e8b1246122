#include "support/music_songs.h"

#include "keyboard/tempo.h"
#include "support/take_recording.h"
#include "theory/scales.h"

namespace tonemark::testing {

namespace {

int NoteValueIndex(int ticks) {
    switch (ticks) {
        case 384: return 0;
        case 96: return 2;
        case 48: return 3;
        default: return 1;
    }
}

void Show(Main& m, int entry, int key) {
    m.ui.Tonality.value = key;
    m.ui.List1.listIndex = entry;
    List1_Click(m);
}

}  // namespace

void ShowHarmonicMinorInC(Main& m, int noteValueTicks) {
    ValNote_Click(m, NoteValueIndex(noteValueTicks));
    Show(m, 3, 0);
}

void ShowTriadsInD(Main& m) {
    ValNote_Click(m, NoteValueIndex(192));
    Show(m, kTriadsEntry, 2);
}

void RecordTestTake(Main& m, TestPlatform& platform) {
    RecordTake(m, platform,
               {{1, 0.5, 375.5}, {2, 1000.5, 1500.5}, {4, 1250.5, 1750.5}, {0, 1751.5, 2000.5}, {6, 3500.5, 4500.5}},
               5000);
}

}  // namespace tonemark::testing
