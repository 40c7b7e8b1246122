#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "midi_input/key_balance.h"
#include "midi_input/midi_input.h"

namespace tonemark {
namespace {

using Kind = MidiInputEvent::Kind;

MidiInputEvent Key(Kind kind, int note, MonotonicMicros when) {
    MidiInputEvent e;
    e.kind = kind;
    e.note = static_cast<std::uint8_t>(note);
    e.velocity = kind == Kind::NoteOn ? 64 : 0;
    e.when = when;
    return e;
}

// A flood the window cannot keep up with: the queue fills with presses. Their
// releases still get in, so that no key of the take is held to its end; a
// press left out takes its release with it; and the user is told once.
TEST(MidiInputHub, AFullQueueKeepsTheReleasesOfThePressesInItAndTellsOnce) {
    MidiInputHub hub({});
    for (std::size_t i = 0; i < MidiInputHub::kQueueLimit; ++i)
        hub.Event(Key(Kind::NoteOn, 36 + static_cast<int>(i % 61), static_cast<MonotonicMicros>(i)));
    hub.Event(Key(Kind::NoteOn, 100, 9000));   // no room
    hub.Event(Key(Kind::NoteOff, 36, 9001));   // a queued press's release
    hub.Event(Key(Kind::NoteOff, 100, 9002));  // the release of the press left out
    const std::vector<MidiInputEvent> taken = hub.TakeEvents();
    ASSERT_EQ(taken.size(), MidiInputHub::kQueueLimit + 1);
    EXPECT_EQ(taken.back().kind, Kind::NoteOff);
    EXPECT_EQ(taken.back().note, 36);
    EXPECT_TRUE(std::none_of(taken.begin(), taken.end(), [](const MidiInputEvent& e) { return e.note == 100; }));
    const std::vector<std::string> told = hub.TakeMessages();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("not recorded"), std::string::npos);

    // With room again, a press and its release both come through.
    hub.Event(Key(Kind::NoteOn, 100, 9100));
    hub.Event(Key(Kind::NoteOff, 100, 9200));
    EXPECT_EQ(hub.TakeEvents().size(), 2u);
}

// A ring that is full now and then, as the JACK input's is in a flood: a
// release that found no room is owed and paid first once there is room; a
// press that found none takes its release with it (a note-on of velocity 0
// counts as a release).
TEST(KeyBalance, EveryPressThatGotThroughGetsItsReleaseAndNoOther) {
    KeyBalance balance;
    balance.NoRoom(0x91, 60, 0);    // the release of a press that got through
    balance.NoRoom(0x90, 62, 100);  // a press dropped...
    EXPECT_FALSE(balance.Admit(0x90, 62, 0)) << "...so its release is passed over";
    EXPECT_TRUE(balance.Admit(0x80, 62, 0)) << "one release per press dropped";
    EXPECT_TRUE(balance.Admit(0xB0, 64, 127));
    ASSERT_TRUE(balance.AnyOwed());
    std::vector<std::pair<int, int>> paid;
    balance.PayOwed([](std::uint8_t, std::uint8_t) { return false; });
    EXPECT_TRUE(balance.AnyOwed()) << "no room yet: still owed";
    balance.PayOwed([&](std::uint8_t status, std::uint8_t note) {
        paid.emplace_back(status, note);
        return true;
    });
    EXPECT_EQ(paid, (std::vector<std::pair<int, int>>{{0x81, 60}}));
    EXPECT_FALSE(balance.AnyOwed());
}

}  // namespace
}  // namespace tonemark
