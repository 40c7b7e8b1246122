// Every scale on the staff, read as a musician reads it, is the music the
// program plays: each entry of the scale list in each key and note value,
// chosen as the user chooses them, against the notes of the file it writes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "keyboard/tempo.h"
#include "midifile/notes.h"
#include "midifile/reader.h"
#include "score/staff_reader.h"
#include "support/fake_synth.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr const char* kValueNames[] = {"half notes", "quarter notes", "eighth notes", "sixteenth notes"};

// The notes of the file the program has just written, grouped by their start.
std::vector<std::vector<int>> SoundingColumns(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    MainState file;
    if (ReadFourBytes(file, bytes) != ReadStatus::Ok) return {};
    std::map<double, std::vector<int>> byStart;
    for (std::size_t i = 0; i < file.GoodTrack.size(); ++i)
        byStart[file.NoteEvents[i].StartTick].push_back(file.NoteEvents[i].NoteNumber);
    std::vector<std::vector<int>> columns;
    for (auto& [start, notes] : byStart) {
        std::sort(notes.begin(), notes.end());
        columns.push_back(notes);
    }
    return columns;
}

std::string Text(const std::vector<std::vector<int>>& columns) {
    std::string out;
    for (const auto& c : columns) {
        out += out.empty() ? "" : " ";
        for (std::size_t i = 0; i < c.size(); ++i) out += (i ? "+" : "") + std::to_string(c[i]);
    }
    return out;
}

std::string Written(const testing::StaffReading& r) {
    std::string out;
    int lastX = -1;
    for (const auto& h : r.heads) {
        out += out.empty() ? "" : (h.x == lastX ? "+" : " ");
        out += h.written;
        lastX = h.x;
    }
    return out;
}

class StaffReading : public testing::StartedProgram {};

TEST_F(StaffReading, EveryScaleInEveryKeyAndNoteValueReadsAsItSounds) {
    int wrong = 0;
    for (int value = 0; value < 4; ++value) {
        ValNote_Click(m, value);
        for (int entry = 0; entry <= kTriadsEntry; ++entry) {
            for (int key = 0; key < 12; ++key) {
                m.ui.List1.listIndex = entry;
                m.ui.Tonality.value = key;
                List1_Click(m);
                const testing::StaffReading reading = testing::ReadStaff(m.Pic2, m.PicScore);
                const auto sounding = SoundingColumns(m.state.SmfPath);
                ASSERT_FALSE(sounding.empty());
                const auto read = testing::Columns(reading);
                if (read == sounding && reading.doubts.empty()) continue;
                ++wrong;
                std::ostringstream doubts;
                for (const std::string& d : reading.doubts) doubts << "\n  doubt: " << d;
                ADD_FAILURE() << kScaleNames[static_cast<std::size_t>(entry)] << " in "
                              << PitchNames[static_cast<std::size_t>(key)] << ", " << kValueNames[value]
                              << ": signature " << reading.sharps << "# " << reading.flats << "b"
                              << "\n  staff shows " << Written(reading) << "\n  reads  " << Text(read)
                              << "\n  sounds " << Text(sounding) << doubts.str();
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "combinations whose staff does not read as they sound";
}

}  // namespace
}  // namespace tonemark
