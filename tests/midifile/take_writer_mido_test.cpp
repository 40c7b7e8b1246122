// Take files checked by an independent reader, Python's mido.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "midifile/take_writer.h"
#include "mido.h"
#include "support/temp_path.h"

namespace tonemark {
namespace {

// What mido makes of the file: its header, then one line per event of the track.
// A file mido refuses gives its error message instead.
std::string MidoListing(const std::string& path) {
    const std::string script =
        "import sys, mido\n"
        "f = mido.MidiFile(sys.argv[1])\n"
        "print('type', f.type, 'tracks', len(f.tracks), 'tpb', f.ticks_per_beat)\n"
        "for msg in f.tracks[0]:\n"
        "    if msg.type == 'note_on': print('on', msg.channel, msg.note, msg.velocity, msg.time)\n"
        "    elif msg.type == 'control_change': print('cc', msg.channel, msg.control, msg.value, msg.time)\n"
        "    elif msg.type == 'set_tempo': print('tempo', msg.tempo, msg.time)\n"
        "    else: print(msg.type, msg.time)\n";
    return testing::RunMido(script, path);
}

class TakeWriterMidoTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::MidoAvailable()) GTEST_SKIP() << "python3 with mido (Debian package python3-mido) is not installed";
        path_ = testing::TestTempPath("madebyme.mid").string();
    }
    void TearDown() override {
        if (!path_.empty()) std::filesystem::remove(path_);
    }

    std::string ListingOf(const std::string& file) {
        std::ofstream(path_, std::ios::binary) << file;
        return MidoListing(path_);
    }

    std::string path_;
};

// Ticks at 120 BPM: 0, 191, 288, 384, 499, 576; Stop at 768.
const std::vector<std::string> kTake = {
    "0\t144\t60\t100\tNote ON",      "499\t128\t60\t0\tNote OFF",       "750\t144\t72\t100\tNote ON",
    "1000\t128\t72\t0\tNote OFF",    "1300\t144\t84\t100\tNote ON",     "1500\t128\t84\t0\tNote OFF",
    "2000\t176\t120\t0\tAll Sounds OFF", "2000\t176\t123\t0\tAll Notes OFF"};

std::string On(int note, int velocity, int delta) {
    return "on 0 " + std::to_string(note) + " " + std::to_string(velocity) + " " + std::to_string(delta) + "\n";
}

TEST_F(TakeWriterMidoTest, EveryKeyGivesAValidFileOfTheTakesNotesTransposed) {
    // From key 5 on the closing rows pass 127; the file must stay readable all the same.
    for (int key = 0; key <= 11; ++key) {
        const std::string expected = "type 0 tracks 1 tpb 192\ntempo 500000 0\n" +
                                     On(60 + key, 100, 0) + On(60 + key, 0, 191) +
                                     On(72 + key, 100, 97) + On(72 + key, 0, 96) +
                                     On(84 + key, 100, 115) + On(84 + key, 0, 77) +
                                     On(std::min(120 + key, 127), 0, 192) + On(std::min(123 + key, 127), 0, 0) +
                                     "cc 0 120 0 96\ncc 0 120 0 96\ncc 0 120 0 96\ncc 0 120 0 96\n"
                                     "end_of_track 0\n";
        EXPECT_EQ(ListingOf(BuildTakeFile({kTake, key, 120, 0})), expected) << "key " << key;
    }
}

TEST_F(TakeWriterMidoTest, QuantizedTakeAtAnotherTempoParses) {
    // At 90 BPM (666666 µs) the ticks are 0, 143, 216, 288, 374, 432 and 576; on the eighth grid
    // the presses' gaps of 73 and 86 become 0.
    const std::string expected = "type 0 tracks 1 tpb 192\ntempo 666666 0\n" + On(67, 100, 0) + On(67, 0, 143) +
                                 On(79, 100, 0) + On(79, 0, 72) + On(91, 100, 0) + On(91, 0, 58) +
                                 On(127, 0, 144) + On(127, 0, 0) +
                                 "cc 0 120 0 96\ncc 0 120 0 96\ncc 0 120 0 96\ncc 0 120 0 96\n"
                                 "end_of_track 0\n";
    EXPECT_EQ(ListingOf(BuildTakeFile({kTake, 7, 90, 2})), expected);
}

}  // namespace
}  // namespace tonemark
