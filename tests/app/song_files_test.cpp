// Saving the song on show and keeping a take that "Rec" replaces, on a started
// program whose temporary directory is a fresh folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "app/song_files.h"
#include "app/temp_files.h"
#include "midifile/mido.h"
#include "support/fake_synth.h"
#include "support/take_recording.h"

namespace tonemark {
namespace {

namespace fs = std::filesystem;
using testing::PlayedKey;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// What mido makes of a file: its header line and the notes switched on, or its error.
std::string MidoNotes(const std::string& path) {
    const std::string script =
        "import sys, mido\n"
        "f = mido.MidiFile(sys.argv[1])\n"
        "print('type', f.type, 'tracks', len(f.tracks), 'tpb', f.ticks_per_beat)\n"
        "print(' '.join(str(m.note) for m in f.tracks[0] if m.type == 'note_on' and m.velocity > 0))\n";
    return testing::RunMido(script, path);
}

// The names of the files in a folder.
std::set<std::string> FilesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// C, D sharp and E, and a second take of a single G.
const std::vector<PlayedKey> kFirstTake = {{0, 0.5, 500.5}, {3, 750.5, 1000.5}, {4, 1002.5, 1250.5}};
const std::vector<PlayedKey> kSecondTake = {{7, 0.5, 400.5}};

class SongFiles : public testing::StartedProgram {
protected:
    void SetUp() override {
        StartedProgram::SetUp();
        out = platform.root / "saved";
        fs::create_directories(out);
    }
    std::string TakePath() const { return platform.tempDirectory + kTakeFileName; }
    std::string ScorePath() const { return platform.tempDirectory + kScoreFileName; }
    std::string Kept(int n) const { return platform.tempDirectory + "madebyme-" + std::to_string(n) + ".mid"; }
    std::string Saved(const std::string& name) const { return (out / name).string(); }
    void Record(const std::vector<PlayedKey>& keys) { testing::RecordTake(m, platform, keys, 1500); }

    fs::path out;
};

// ---------------------------------------------------------------------------
// The proposed name

std::string NameFor(const std::string& title) {
    Main m;
    m.ui.Labella.caption = title;
    return ProposedSongFileName(m);
}

TEST(ProposedSongFileName, TurnsTheTitleIntoAFileName) {
    EXPECT_EQ(NameFor("Scala maggiore: DO"), "Scala maggiore - DO.mid");
    EXPECT_EQ(NameFor("Recorded SMF: Song 1"), "Recorded SMF - Song 1.mid");
    EXPECT_EQ(NameFor("Scala maggiore: REb - DO#"), "Scala maggiore - REb - DO#.mid");
    EXPECT_EQ(NameFor("Pentatonica: SOL"), "Pentatonica - SOL.mid");
}

TEST(ProposedSongFileName, ReplacesWhatAFileNameCannotHold) {
    EXPECT_EQ(NameFor("DO/SI"), "DO - SI.mid");
    EXPECT_EQ(NameFor("a\\b"), "a - b.mid");
    EXPECT_EQ(NameFor("a : / b"), "a - b.mid") << "neighbouring separators make one";
    EXPECT_EQ(NameFor("a\tb\nc\x7f" "d"), "a b c d.mid");
    EXPECT_EQ(NameFor("  : Song  1 :  "), "Song 1.mid") << "nothing dangles at either end";
    EXPECT_EQ(NameFor("../secret"), "secret.mid") << "never a hidden file or a way up";
}

TEST(ProposedSongFileName, EmptyTitlesGiveTheProgramsName) {
    EXPECT_EQ(NameFor(""), "Tonemark.mid");
    EXPECT_EQ(NameFor(" : / \t"), "Tonemark.mid");
}

TEST(ProposedSongFileName, ALongTitleStaysAFileNameAndWholeCharacters) {
    std::string title;
    for (int i = 0; i < 150; ++i) title += "\xC3\xA0";  // "à", two bytes each
    const std::string name = NameFor(title);
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.substr(name.size() - 4), ".mid");
    const std::string stem = name.substr(0, name.size() - 4);
    EXPECT_EQ(stem.size() % 2, 0u) << "no character was cut in half";
    EXPECT_EQ(stem, title.substr(0, stem.size()));
}

TEST_F(SongFiles, TheStartedProgramProposesItsScale) {
    EXPECT_EQ(ProposedSongFileName(m), "Scala maggiore - DO.mid");
    Record(kFirstTake);
    EXPECT_EQ(ProposedSongFileName(m), "Recorded SMF - Song 1.mid");
}

// ---------------------------------------------------------------------------
// Saving

TEST_F(SongFiles, SavesTheScaleByteForByte) {
    ASSERT_EQ(m.state.SmfPath, ScorePath());
    const std::string destination = Saved("Scala maggiore - DO.mid");
    EXPECT_EQ(SaveSongCopy(m, destination), "");
    EXPECT_EQ(ReadBytes(destination), ReadBytes(ScorePath()));
    EXPECT_FALSE(ReadBytes(destination).empty());
    EXPECT_EQ(m.ui.StatusLine.caption, "Saved as " + destination + ".");
    EXPECT_FALSE(m.state.TakeSaved) << "the scale is not the take";
    EXPECT_EQ(FilesIn(out), std::set<std::string>{"Scala maggiore - DO.mid"}) << "no temporary file is left";
    if (!testing::MidoAvailable()) GTEST_SKIP() << "python3 with mido (Debian package python3-mido) is not installed";
    EXPECT_EQ(MidoNotes(destination), "type 0 tracks 1 tpb 192\n60 62 64 65 67 69 71 72 71 69 67 65 64 62 60\n");
}

TEST_F(SongFiles, SavesTheTakeAndMarksItSaved) {
    Record(kFirstTake);
    ASSERT_EQ(m.state.SmfPath, TakePath());
    EXPECT_FALSE(m.state.TakeSaved) << "a new take is unsaved";
    const std::string destination = Saved("take.mid");
    EXPECT_EQ(SaveSongCopy(m, destination), "");
    EXPECT_EQ(ReadBytes(destination), ReadBytes(TakePath()));
    EXPECT_TRUE(m.state.TakeSaved);
    Record(kSecondTake);
    EXPECT_FALSE(m.state.TakeSaved) << "the next take is unsaved again";
    if (!testing::MidoAvailable()) GTEST_SKIP() << "python3 with mido (Debian package python3-mido) is not installed";
    EXPECT_EQ(MidoNotes(destination), "type 0 tracks 1 tpb 192\n60 63 64\n");
}

TEST_F(SongFiles, ReplacesAnExistingFileAndKeepsItsPermissions) {
    const std::string destination = Saved("song.mid");
    WriteBytes(destination, "an older song");
    ASSERT_EQ(::chmod(destination.c_str(), 0640), 0);
    EXPECT_EQ(SaveSongCopy(m, destination), "");
    EXPECT_EQ(ReadBytes(destination), ReadBytes(ScorePath()));
    struct stat st {};
    ASSERT_EQ(::stat(destination.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesIn(out), std::set<std::string>{"song.mid"});
}

TEST_F(SongFiles, AnUnwritablePlaceSaysWhyAndLosesNothing) {
    Record(kFirstTake);
    const std::string take = ReadBytes(TakePath());
    WriteBytes(Saved("not a folder"), "x");
    const std::string destinations[] = {Saved("not a folder") + "/take.mid", Saved("missing/take.mid")};
    for (const std::string& destination : destinations) {
        const std::string reason = SaveSongCopy(m, destination);
        EXPECT_NE(reason, "") << destination;
        EXPECT_NE(reason.find("cannot write in"), std::string::npos) << reason;
        EXPECT_EQ(m.ui.StatusLine.caption, "Not saved: " + reason + ". Nothing was lost.");
        EXPECT_FALSE(fs::exists(destination));
    }
    EXPECT_EQ(ReadBytes(TakePath()), take);
    EXPECT_EQ(m.state.SmfPath, TakePath());
    EXPECT_FALSE(m.state.TakeSaved) << "a take that was not saved is still kept when \"Rec\" comes";
    EXPECT_EQ(KeepPreviousTake(m), Kept(1));
}

TEST_F(SongFiles, AFolderIsNotReplaced) {
    fs::create_directories(out / "song.mid" / "inside");
    const std::string reason = SaveSongCopy(m, Saved("song.mid"));
    EXPECT_EQ(reason, Saved("song.mid") + " is a folder");
    EXPECT_TRUE(fs::exists(out / "song.mid" / "inside"));
}

// A write that stops half-way (the file-size limit is a full disk that root
// cannot bypass) leaves the old file whole and no part of the new one.
TEST_F(SongFiles, AWriteThatFailsHalfWayLeavesTheOldFileAsItWas) {
    const std::string destination = Saved("song.mid");
    WriteBytes(destination, "an older song");
    ASSERT_GT(ReadBytes(ScorePath()).size(), 40u);

    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string reason = SaveSongCopy(m, destination);
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);

    EXPECT_NE(reason.find("cannot write " + destination), std::string::npos) << reason;
    EXPECT_EQ(ReadBytes(destination), "an older song");
    EXPECT_EQ(FilesIn(out), std::set<std::string>{"song.mid"}) << "the half-written file is gone";
    EXPECT_EQ(m.ui.StatusLine.caption, "Not saved: " + reason + ". Nothing was lost.");
}

TEST_F(SongFiles, TheWorkingFilesAreNotSaveTargets) {
    WriteBytes(TakePath(), "an earlier take");
    const std::string score = ReadBytes(ScorePath());
    for (const std::string& working : {TakePath(), ScorePath(), platform.tempDirectory + "./" + kTakeFileName}) {
        const std::string reason = SaveSongCopy(m, working);
        EXPECT_NE(reason.find("working file"), std::string::npos) << working << ": " << reason;
    }
    EXPECT_EQ(ReadBytes(TakePath()), "an earlier take");
    EXPECT_EQ(ReadBytes(ScorePath()), score);
}

TEST_F(SongFiles, NoSongNoName) {
    EXPECT_NE(SaveSongCopy(m, ""), "");
    m.state.SmfPath.clear();
    EXPECT_EQ(SaveSongCopy(m, Saved("a.mid")), "there is no song on show");
    EXPECT_EQ(m.ui.StatusLine.caption, "Not saved: there is no song on show. Nothing was lost.");
    EXPECT_FALSE(fs::exists(Saved("a.mid")));
}

// ---------------------------------------------------------------------------
// Keeping the previous take

TEST_F(SongFiles, NothingToKeepWithoutATake) {
    m.Notify("");
    EXPECT_EQ(KeepPreviousTake(m), "");
    EXPECT_EQ(m.ui.StatusLine.caption, "");
    EXPECT_EQ(FilesIn(platform.root).count("madebyme-1.mid"), 0u);
}

TEST_F(SongFiles, KeepsEachUnsavedTakeUnderTheNextNumber) {
    Record(kFirstTake);
    const std::string first = ReadBytes(TakePath());
    EXPECT_EQ(KeepPreviousTake(m), Kept(1));
    EXPECT_EQ(m.ui.StatusLine.caption, "The previous take is kept as " + Kept(1) + ".");
    EXPECT_EQ(ReadBytes(Kept(1)), first);

    Record(kSecondTake);
    const std::string second = ReadBytes(TakePath());
    ASSERT_NE(second, first);
    EXPECT_EQ(KeepPreviousTake(m), Kept(2));
    EXPECT_EQ(ReadBytes(Kept(1)), first);
    EXPECT_EQ(ReadBytes(Kept(2)), second);
}

TEST_F(SongFiles, ATakeAlreadyKeptIsNotKeptTwice) {
    Record(kFirstTake);
    EXPECT_EQ(KeepPreviousTake(m), Kept(1));
    EXPECT_EQ(KeepPreviousTake(m), Kept(1)) << "\"Rec\" and \"Stop\" with no key played leave the take as it was";
    EXPECT_FALSE(fs::exists(Kept(2)));
}

TEST_F(SongFiles, ASavedTakeIsNotKept) {
    Record(kFirstTake);
    ASSERT_EQ(SaveSongCopy(m, Saved("take.mid")), "");
    EXPECT_EQ(KeepPreviousTake(m), "");
    EXPECT_FALSE(fs::exists(Kept(1)));
    Record(kSecondTake);
    EXPECT_EQ(KeepPreviousTake(m), Kept(1));
}

TEST_F(SongFiles, ATakeLeftFromAnEarlierRunIsKept) {
    WriteBytes(TakePath(), "an earlier run's take");
    EXPECT_EQ(KeepPreviousTake(m), Kept(1));
    EXPECT_EQ(ReadBytes(Kept(1)), "an earlier run's take");
}

TEST_F(SongFiles, NumbersFollowTheHighestAndOnlyTheirOwnNames) {
    for (const char* name : {"madebyme-3.mid", "madebyme-012.mid", "madebyme-x.mid", "madebyme-20.mid.bak",
                             "madebyme--5.mid", "madebyme-99999999999999999999.mid"})
        WriteBytes(platform.tempDirectory + name, name);
    Record(kFirstTake);
    EXPECT_EQ(KeepPreviousTake(m), Kept(4));
    for (const char* name : {"madebyme-3.mid", "madebyme-012.mid", "madebyme-x.mid", "madebyme-20.mid.bak",
                             "madebyme--5.mid", "madebyme-99999999999999999999.mid"})
        EXPECT_EQ(ReadBytes(platform.tempDirectory + name), name) << "left alone";
}

TEST_F(SongFiles, OnlyTheTenHighestNumbersStay) {
    for (int n = 1; n <= 12; ++n) WriteBytes(Kept(n), "take " + std::to_string(n));
    WriteBytes(platform.tempDirectory + "madebyme-notes.txt", "mine");
    Record(kFirstTake);
    EXPECT_EQ(KeepPreviousTake(m), Kept(13));
    for (int n = 1; n <= 3; ++n) EXPECT_FALSE(fs::exists(Kept(n))) << n;
    for (int n = 4; n <= 12; ++n) EXPECT_EQ(ReadBytes(Kept(n)), "take " + std::to_string(n));
    EXPECT_EQ(ReadBytes(Kept(13)), ReadBytes(TakePath()));
    EXPECT_EQ(ReadBytes(platform.tempDirectory + "madebyme-notes.txt"), "mine");

    Record(kSecondTake);
    EXPECT_EQ(KeepPreviousTake(m), Kept(14));
    EXPECT_FALSE(fs::exists(Kept(4)));
    int kept = 0;
    for (const std::string& name : FilesIn(platform.root))
        kept += name.rfind("madebyme-", 0) == 0 && name != "madebyme-notes.txt";
    EXPECT_EQ(kept, kKeptTakeLimit);
}

TEST_F(SongFiles, ATakeThatCannotBeKeptIsSaidSo) {
    Record(kFirstTake);
    fs::create_directories(Kept(1));  // a folder in the way of the first number
    EXPECT_EQ(KeepPreviousTake(m), "");
    EXPECT_EQ(m.ui.StatusLine.caption.rfind("The previous take could not be kept: ", 0), 0u) << m.ui.StatusLine.caption;
    EXPECT_TRUE(fs::is_directory(Kept(1)));
}

}  // namespace
}  // namespace tonemark
