// The written files checked by an independent reader, Python's mido.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "midi_bytes.h"
#include "midifile/writer.h"
#include "mido.h"

namespace tonemark {
namespace {

using testing::Request;

// What mido makes of the file: its header, then one line per note-on and tempo event.
std::string MidoListing(const std::string& path) {
    const std::string script =
        "import sys, mido\n"
        "f = mido.MidiFile(sys.argv[1])\n"
        "print('type', f.type, 'tracks', len(f.tracks), 'tpb', f.ticks_per_beat)\n"
        "for msg in f.tracks[0]:\n"
        "    if msg.type == 'note_on': print(msg.note, msg.velocity, msg.time)\n"
        "    elif msg.type == 'set_tempo': print('tempo', msg.tempo)\n"
        "    elif msg.type == 'end_of_track': print('end', msg.time)\n";
    return testing::RunMido(script, path);
}

class WriterMidoTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::MidoAvailable()) GTEST_SKIP() << "python3 with mido (Debian package python3-mido) is not installed";
        char pattern[] = "/tmp/tonemark-mido-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    std::string ListingOf(const ScaleFile& file) {
        const std::string path = dir_ + "/scoretemp.mid";
        std::ofstream(path, std::ios::binary) << file.bytes;
        return MidoListing(path);
    }

    std::string dir_;
};

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST_F(WriterMidoTest, MajorScaleParsesAsItsNotes) {
    std::string expected = "type 0 tracks 1 tpb 192\ntempo 500000\n";
    const int notes[] = {60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60};
    for (int i = 0; i < 15; ++i) {
        expected += std::to_string(notes[i]) + " 100 0\n";
        expected += std::to_string(notes[i]) + " 0 " + (i == 14 ? "384" : "192") + "\n";
    }
    expected += "end 0\n";
    EXPECT_EQ(ListingOf(BuildScaleFile(Request(0, 0, 192))), expected);
}

TEST_F(WriterMidoTest, TriadsParseAsChords) {
    const std::string listing = ListingOf(BuildScaleFile(Request(kTriadsEntry, 0, 48, 90)));
    const std::string head = Lines({"type 0 tracks 1 tpb 192", "tempo 666666", "60 100 0", "64 100 0", "67 100 0",
                                    "60 0 48", "64 0 0", "67 0 0"});
    const std::string diminished = Lines({"71 100 0", "74 100 0", "77 100 0", "71 0 48"});
    const std::string tail = Lines({"60 100 0", "64 100 0", "67 100 0", "60 0 384", "64 0 0", "67 0 0", "end 0"});
    ASSERT_GT(listing.size(), head.size() + tail.size()) << listing;
    EXPECT_EQ(listing.substr(0, head.size()), head);
    EXPECT_NE(listing.find(diminished), std::string::npos);
    EXPECT_EQ(listing.substr(listing.size() - tail.size()), tail);
}

TEST_F(WriterMidoTest, EveryEntryAgreesWithItsEventLog) {
    for (int entry = 0; entry <= kTriadsEntry; ++entry) {
        const ScaleFile file = BuildScaleFile(Request(entry, 7, 96));
        std::string expected = "type 0 tracks 1 tpb 192\ntempo 500000\n";
        for (const std::string& row : file.log) {
            std::istringstream fields(row);
            std::string delta, status, note, velocity;
            std::getline(fields, delta, '\t');
            std::getline(fields, status, '\t');
            std::getline(fields, note, '\t');
            std::getline(fields, velocity, '\t');
            expected += note + " " + velocity + " " + delta + "\n";
        }
        expected += "end 0\n";
        EXPECT_EQ(ListingOf(file), expected) << "entry " << entry;
    }
}

}  // namespace
}  // namespace tonemark
