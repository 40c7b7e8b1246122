#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "app/lifecycle.h"
#include "keyboard/midi_keys.h"
#include "keyboard/recorder.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

constexpr MonotonicMicros kMs = 1000;
using Kind = MidiInputEvent::Kind;

// A MIDI keyboard played into the window after start-up, on the test's clock.
class MidiKeys : public testing::StartedProgram {
protected:
    void Rec() {
        Command2_Click(m);
        t0 = platform.now;
    }
    // A note that happened `ms` after "Rec", handled when the clock shows `handledMs`.
    void Note(Kind kind, int note, int velocity, double ms, double handledMs = -1) {
        platform.now = t0 + static_cast<MonotonicMicros>(std::max(ms, handledMs) * kMs);
        MidiInputEvent e;
        e.kind = kind;
        e.note = static_cast<std::uint8_t>(note);
        e.velocity = static_cast<std::uint8_t>(velocity);
        e.when = t0 + static_cast<MonotonicMicros>(ms * kMs);
        MidiNoteAt(m, e);
    }
    void Stop(double ms) {
        platform.now = t0 + static_cast<MonotonicMicros>(ms * kMs);
        RunTimer3Until(m, platform.now);
        Command3_Click(m);
    }

    MonotonicMicros t0 = 0;
};

TEST_F(MidiKeys, ALegatoTakeKeepsItsTimesVelocitiesAndOverlapWhateverTheDelay) {
    Rec();
    // Armed: the first note starts the take at its own moment, though handled 20 ms late.
    Note(Kind::NoteOn, 60, 40, 100.3, 120);
    Note(Kind::NoteOn, 62, 90, 300.3);
    Note(Kind::NoteOff, 60, 0, 320.3, 340);  // after the next note began: legato
    // A chord struck within one millisecond: each note keeps its own velocity.
    Note(Kind::NoteOn, 64, 70, 500.2);
    Note(Kind::NoteOn, 67, 71, 500.6);
    Note(Kind::NoteOff, 62, 0, 510.3);
    Note(Kind::NoteOff, 64, 0, 700.3);
    Note(Kind::NoteOff, 67, 0, 700.4);
    Stop(900);

    const std::vector<std::string> expected = {
        "0\t144\t60\t40\tNote ON",    "200\t144\t62\t90\tNote ON",  "220\t128\t60\t0\tNote OFF",
        "400\t144\t64\t70\tNote ON",  "401\t144\t67\t71\tNote ON",  "410\t128\t62\t0\tNote OFF",
        "600\t128\t64\t0\tNote OFF",  "601\t128\t67\t0\tNote OFF",  "800\t176\t120\t0\tAll Sounds OFF",
        "800\t176\t123\t0\tAll Notes OFF"};
    EXPECT_EQ(m.ui.List2.rows, expected);
}

TEST_F(MidiKeys, HeldNotesLightTheirKeysAndNotesOutOfReachOnlySound) {
    Rec();
    Note(Kind::NoteOn, 60, 80, 10);
    Note(Kind::NoteOn, 64, 80, 11);
    EXPECT_EQ(m.ui.key[0].backColor, kDarkRed);
    EXPECT_EQ(m.ui.key[4].backColor, kDarkRed) << "both held keys are lit";
    Note(Kind::NoteOff, 60, 0, 20);
    EXPECT_EQ(m.ui.key[0].backColor, m.state.KeyColors[0]);
    EXPECT_EQ(m.ui.key[4].backColor, kDarkRed);

    Note(Kind::NoteOn, 96, 80, 30);
    Note(Kind::NoteOn, 40, 80, 31);
    for (std::size_t k = 0; k < 25; ++k) {
        if (k != 4) {
            EXPECT_EQ(m.ui.key[k].backColor, m.state.KeyColors[k]) << "key " << k;
        }
    }
    EXPECT_NE(m.ui.StatusLine.caption.find("Only middle C to C6 is recorded"), std::string::npos);
    m.Notify("");
    Note(Kind::NoteOn, 97, 80, 40);
    EXPECT_EQ(m.ui.StatusLine.caption, "") << "said once per take";

    // The keyboard goes away with a key held: the key goes dark, the take keeps the note.
    ReleaseMidiKeys(m, t0 + 50 * kMs);
    EXPECT_EQ(m.ui.key[4].backColor, m.state.KeyColors[4]);
    Note(Kind::NoteOff, 64, 0, 60);  // a release the program no longer expects
    Stop(100);
    ASSERT_EQ(m.ui.List2.rows.size(), 6u);
    EXPECT_EQ(m.ui.List2.rows[3], "40\t128\t64\t0\tNote OFF");
}

TEST_F(MidiKeys, AFloodIsLeftOutOfTheTakeAndWhatIsPlayedAroundItKeepsItsTime) {
    Rec();
    Note(Kind::NoteOn, 60, 50, 10.5);
    Note(Kind::NoteOff, 60, 0, 60.5);
    // 400 key moves in 20 ms, handled 10 ms after the last: far more than a tick each.
    for (int i = 0; i < 200; ++i) {
        Note(Kind::NoteOn, 61 + i % 20, 1 + i % 100, 100 + i * 0.1, 130);
        Note(Kind::NoteOff, 61 + i % 20, 0, 100.05 + i * 0.1, 130);
    }
    EXPECT_NE(m.ui.StatusLine.caption.find("some notes were not recorded"), std::string::npos);
    Note(Kind::NoteOn, 72, 90, 300.5);
    Note(Kind::NoteOff, 72, 0, 350.5);
    Stop(500);

    const auto& rows = m.ui.List2.rows;
    ASSERT_GE(rows.size(), 6u);
    EXPECT_EQ(rows[0], "0\t144\t60\t50\tNote ON");
    EXPECT_EQ(rows[1], "50\t128\t60\t0\tNote OFF");
    EXPECT_EQ(rows[rows.size() - 4], "290\t144\t72\t90\tNote ON");
    EXPECT_EQ(rows[rows.size() - 3], "340\t128\t72\t0\tNote OFF");
    // What the take kept of the flood lies in it or just after, and each press kept has its release.
    std::map<int, int> held;
    for (std::size_t i = 2; i + 4 < rows.size(); ++i) {
        int ms = 0, status = 0, note = 0;
        std::istringstream(rows[i]) >> ms >> status >> note;
        EXPECT_GE(ms, 89) << rows[i];
        EXPECT_LT(ms, 150) << rows[i];
        held[note] += status == 144 ? 1 : -1;
    }
    EXPECT_GT(held.size(), 0u) << "the flood's first notes are kept";
    for (const auto& [note, count] : held) EXPECT_EQ(count, 0) << "note " << note;
}

}  // namespace
}  // namespace tonemark
