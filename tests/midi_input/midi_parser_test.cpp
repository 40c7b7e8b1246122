#include <gtest/gtest.h>

#include <vector>

#include "midi_input/midi_parser.h"
#include "midi_input/source_policy.h"
#include "midi_input/stamp_clock.h"

namespace tonemark {
namespace {

using Kind = MidiInputEvent::Kind;

std::vector<MidiInputEvent> Parse(const std::vector<std::uint8_t>& bytes) {
    MidiParser parser;
    std::vector<MidiInputEvent> out;
    parser.Feed(bytes.data(), bytes.size(), 7, [&](const MidiInputEvent& e) { out.push_back(e); });
    return out;
}

TEST(MidiParser, ReadsWhatAKeyboardSendsAndPassesOverTheRest) {
    // Note-on, then running status: another note-on and a note-on with velocity 0.
    auto events = Parse({0x90, 60, 90, 64, 70, 60, 0});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, Kind::NoteOn);
    EXPECT_EQ(events[0].velocity, 90);
    EXPECT_EQ(events[1].note, 64);
    EXPECT_EQ(events[1].kind, Kind::NoteOn);
    EXPECT_EQ(events[2].kind, Kind::NoteOff) << "velocity 0 ends the note";
    EXPECT_EQ(events[2].when, 7);

    // Clock and active sensing inside a message, a SysEx, a program change,
    // pitch bend and a sustain pedal on channel 3, a note-off on channel 2.
    events = Parse({0x90, 0xF8, 62, 0xFE, 80, 0xF0, 0x7E, 0x10, 0x44, 0xF7, 0xC0, 5, 0xE0, 0, 64, 0xB3, 64, 127,
                    0x81, 62, 40});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].note, 62);
    EXPECT_EQ(events[0].velocity, 80);
    EXPECT_EQ(events[1].kind, Kind::Sustain);
    EXPECT_EQ(events[1].note, 127);
    EXPECT_EQ(events[1].channel, 3);
    EXPECT_EQ(events[2].kind, Kind::NoteOff);
    EXPECT_EQ(events[2].channel, 1);

    // Data with no status, data inside a SysEx, other controllers: nothing.
    EXPECT_TRUE(Parse({60, 100, 0xF0, 0x90, 0xB0, 7, 100}).empty());
    // A system common message cancels running status.
    EXPECT_EQ(Parse({0x90, 60, 90, 0xF3, 1, 61, 90}).size(), 1u);
}

TEST(MidiParser, TellsWholeMessagesFromBytesThatAreNone) {
    auto form = [](std::vector<std::uint8_t> bytes) { return FormOf(bytes.data(), bytes.size()); };
    EXPECT_EQ(form({0x90, 60, 100}), MessageForm::Channel);
    EXPECT_EQ(form({0xC3, 5}), MessageForm::Channel);
    EXPECT_EQ(form({0xF0, 0x7E, 0x7F, 0xF7}), MessageForm::System);
    EXPECT_EQ(form({0xFE}), MessageForm::System);
    // Data with no status; a note cut short (it would end note 60); a note
    // with a status byte where its number should be; too long a program change.
    EXPECT_EQ(form({60, 100, 0}), MessageForm::Malformed);
    EXPECT_EQ(form({0x90, 60}), MessageForm::Malformed);
    EXPECT_EQ(form({0x90, 0xBC, 64}), MessageForm::Malformed);
    EXPECT_EQ(form({0xC0, 5, 6}), MessageForm::Malformed);
    EXPECT_EQ(form({}), MessageForm::Malformed);
}

TEST(StampClock, PlacesStampsAtTheirMomentAndFollowsADriftingClock) {
    StampClock clock;
    // Read 300 us after the stamp, then an event read only 50 us after its own.
    EXPECT_EQ(clock.ToMonotonic(1000, 11'300), 11'300);
    EXPECT_EQ(clock.ToMonotonic(2000, 12'050), 12'050);
    // Later events read late keep their moment on the best offset seen.
    EXPECT_EQ(clock.ToMonotonic(3000, 15'000), 13'050);
    // The stamp clock falls behind by 1 ms: after a window the new offset is taken.
    MonotonicMicros when = 0;
    for (int i = 0; i < 5; ++i) {
        const std::int64_t stamp = 1'000'000 * (i + 1);
        when = clock.ToMonotonic(stamp, stamp + 11'050 + 1000);
    }
    EXPECT_EQ(when, 5'000'000 + 12'050);
}

TEST(SourcePolicy, TakesKeyboardsAndPassesOverThroughOwnAndHiddenPorts) {
    const unsigned readable = kSeqCapRead | kSeqCapSubsRead;
    const unsigned hardware = kSeqTypeMidiGeneric | kSeqTypeHardware | kSeqTypePort;
    const std::set<std::string> none;
    EXPECT_TRUE(ShouldConnectSeqSource({24, 0, "USB Keystation", "Keystation MIDI 1", readable, hardware}, 128, none));
    EXPECT_FALSE(ShouldConnectSeqSource({14, 0, "Midi Through", "Midi Through Port-0", readable, hardware}, 128, none));
    EXPECT_FALSE(ShouldConnectSeqSource({0, 1, "System", "Announce", readable, hardware}, 128, none));
    EXPECT_FALSE(ShouldConnectSeqSource({128, 0, "Tonemark", "Tonemark input", readable, hardware}, 128, none));
    EXPECT_FALSE(ShouldConnectSeqSource({24, 1, "USB Keystation", "hidden", readable | kSeqCapNoExport, hardware},
                                        128, none));
    EXPECT_FALSE(ShouldConnectSeqSource({24, 2, "USB Keystation", "write only", kSeqCapRead, hardware}, 128, none));
    // A program's port only once the user has connected it by hand, and then by name.
    const SeqSource app{130, 0, "VMPK Output", "out", readable, kSeqTypeMidiGeneric};
    EXPECT_FALSE(ShouldConnectSeqSource(app, 128, none));
    EXPECT_TRUE(ShouldConnectSeqSource({131, 3, "VMPK Output", "out", readable, kSeqTypeMidiGeneric}, 128,
                                       {SeqSourceName(app)}));

    EXPECT_TRUE(ShouldConnectJackSource({"system:midi_capture_1", true, true, true}, "tonemark", none));
    EXPECT_FALSE(ShouldConnectJackSource({"system:midi_capture_1", true, true, false}, "tonemark", none));
    EXPECT_FALSE(ShouldConnectJackSource({"tonemark:midi_out", true, true, true}, "tonemark", none));
    EXPECT_FALSE(ShouldConnectJackSource({"sender:out", true, false, true}, "tonemark", none));
    EXPECT_TRUE(ShouldConnectJackSource({"sender:out", true, false, true}, "tonemark", {"sender:out"}));
}

}  // namespace
}  // namespace tonemark
