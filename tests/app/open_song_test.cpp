// Opening a MIDI file made elsewhere, as `tonemark song.mid` does: the song
// becomes the take on show, or a refused file leaves the scale on show.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/open_song.h"
#include "midifile/midi_bytes.h"
#include "midifile/take_pipeline.h"
#include "support/fake_synth.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

using testing::Bytes;
using testing::TrackChunk;

std::string EndOfTrack() { return Bytes({0x00, 0xFF, 0x2F, 0x00}); }

// Three tracks at 480 ticks per quarter: the tempo (100 BPM, then 50 BPM from
// the third beat), C D E a quarter each written with running status, a
// note-on of velocity 0 and a note-off, a program change and a system
// exclusive message on the way, and a drum on channel 10.
std::string ThreeTrackSong() {
    const std::string tempo = Bytes({0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,     // 600000 us per quarter
                                     0x87, 0x40, 0xFF, 0x51, 0x03, 0x12, 0x4F, 0x80}) +  // 1200000 at tick 960
                              EndOfTrack();
    const std::string melody = Bytes({0x00, 0xC0, 0x00,                  // program change, one data byte
                                      0x00, 0x90, 0x3C, 0x50,            // C on
                                      0x83, 0x60, 0x3C, 0x00,            // C off, running status, at 480
                                      0x00, 0x3E, 0x50,                  // D on at 480
                                      0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,  // system exclusive
                                      0x83, 0x60, 0x80, 0x3E, 0x40,      // D off at 960
                                      0x00, 0x90, 0x40, 0x50,            // E on
                                      0x83, 0x60, 0x40, 0x00}) +         // E off at 1440
                               EndOfTrack();
    const std::string drums = Bytes({0x00, 0x99, 0x24, 0x64, 0x81, 0x70, 0x89, 0x24, 0x00}) + EndOfTrack();
    return "MThd" + Bytes({0, 0, 0, 6, 0, 1, 0, 3, 0x01, 0xE0}) + TrackChunk(tempo) + TrackChunk(melody) +
           TrackChunk(drums);
}

class OpenSong : public testing::StartedProgram {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (platform.root / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::vector<int> Notes() const {
        std::vector<int> notes;
        for (std::size_t i = 0; i + 1 < m.state.NoteEvents.size(); ++i) notes.push_back(m.state.NoteEvents[i].NoteNumber);
        return notes;
    }
};

TEST_F(OpenSong, AFileOfSeveralTracksBecomesTheTakeTimedThroughItsTempoChanges) {
    const std::string path = Write("three tracks.mid", ThreeTrackSong());
    ASSERT_TRUE(OpenSongFile(m, path)) << m.ui.StatusLine.caption;

    EXPECT_TRUE(TakeOnShow(m));
    EXPECT_TRUE(m.state.DeviceReady);
    EXPECT_EQ(m.state.ScaleIndex, kTakeEntry);
    EXPECT_EQ(m.ui.List1.rows.size(), kTakeEntry + 1u);
    EXPECT_EQ(m.state.TakeTempoBPM, 100);
    // At each change of note the release comes first; E lasts twice as long
    // in time as C and D, as the tempo halves; the drum is left out.
    const std::vector<std::string> rows = {
        "0\t144\t60\t80\tNote ON",           "600\t128\t60\t0\tNote OFF",        "600\t144\t62\t80\tNote ON",
        "1200\t128\t62\t0\tNote OFF",        "1200\t144\t64\t80\tNote ON",       "2400\t128\t64\t0\tNote OFF",
        "2400\t176\t120\t0\tAll Sounds OFF", "2400\t176\t123\t0\tAll Notes OFF"};
    EXPECT_EQ(m.state.TakeRows, rows);
    EXPECT_EQ(Notes(), (std::vector<int>{60, 62, 64}));
    EXPECT_NE(m.ui.StatusLine.caption.find("Opened " + path + ": 3 notes"), std::string::npos)
        << m.ui.StatusLine.caption;
}

TEST_F(OpenSong, ADamagedTrackKeepsTheNotesBeforeTheDamage) {
    // The track ends in the middle of D: C is whole, D ends where the data does.
    const std::string cut = Bytes({0x00, 0x90, 0x3C, 0x50, 0x81, 0x40, 0x3C, 0x00, 0x00, 0x3E, 0x50, 0x81, 0x40});
    const std::string file = "MThd" + Bytes({0, 0, 0, 6, 0, 0, 0, 1, 0x00, 0xC0}) + "MTrk" +
                             Bytes({0, 0, 0, 0x40}) + cut;
    ASSERT_TRUE(OpenSongFile(m, Write("cut.mid", file))) << m.ui.StatusLine.caption;
    EXPECT_EQ(Notes(), (std::vector<int>{60, 62}));
}

TEST_F(OpenSong, ARefusedFileLeavesTheScaleOnShowAndSaysWhy) {
    const std::string tempoOnly = "MThd" + Bytes({0, 0, 0, 6, 0, 0, 0, 1, 0x00, 0xC0}) +
                                  TrackChunk(Bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}) + EndOfTrack());
    const std::string timecode = "MThd" + Bytes({0, 0, 0, 6, 0, 0, 0, 1, 0xE7, 0x28}) +
                                 TrackChunk(Bytes({0x00, 0x90, 0x3C, 0x50}) + EndOfTrack());
    const struct {
        std::string path;
        std::string why;
    } refused[] = {
        {(platform.root / "nowhere.mid").string(), "there is no such file"},
        {Write("words.mid", "These are words, not music.\n"), "it is not a MIDI file"},
        {Write("tempo only.mid", tempoOnly), "it holds no notes"},
        {Write("timecode.mid", timecode), "video time code"},
        {platform.root.string(), "it is a folder"},
    };
    const std::string smfPath = m.state.SmfPath;
    const std::string title = m.ui.Labella.caption;
    const std::vector<int> notes = Notes();
    for (const auto& file : refused) {
        m.ui.StatusLine.caption.clear();
        EXPECT_FALSE(OpenSongFile(m, file.path)) << file.path;
        const std::string& said = m.ui.StatusLine.caption;
        EXPECT_NE(said.find(file.path + " could not be opened"), std::string::npos) << said;
        EXPECT_NE(said.find(file.why), std::string::npos) << said;
        EXPECT_EQ(m.state.SmfPath, smfPath);
        EXPECT_EQ(m.ui.Labella.caption, title);
        EXPECT_EQ(Notes(), notes);
        EXPECT_EQ(m.ui.List1.rows.size(), static_cast<std::size_t>(kTakeEntry + 1));
    }
}

}  // namespace
}  // namespace tonemark
