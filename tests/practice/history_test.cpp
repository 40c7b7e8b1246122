// The practice history: what a pass stores, read back with plain SQL as a
// learner would; the chart's figures; and the file meeting a read-only disk,
// a full disk, another program's lock and damage, each time with a message
// and nothing already kept lost.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "support/file_size_limit.h"
#include "practice/history.h"
#include "support/temp_path.h"

namespace tonemark::practice {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A folder of the test's own, removed at the end.
struct TempFolder {
    fs::path path = tonemark::testing::TestTempPath("history");
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
};

// A small tmpfs of its own on a folder, so that the disk can really fill up
// or turn read-only. Needs root (CAP_SYS_ADMIN); Mounted() says if it worked.
class SmallDisk {
public:
    SmallDisk(const fs::path& at, const std::string& size) : at_(at) {
        fs::create_directories(at_);
        mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    bool Remount(const std::string& options, bool readOnly) {
        unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount(nullptr, at_.c_str(), nullptr, flags, options.c_str()) == 0;
    }

private:
    fs::path at_;
    bool mounted_ = false;
};

using testing::FileSizeLimit;

// A plain SQLite connection, as the sqlite3 program would read the file.
class Sql {
public:
    explicit Sql(const fs::path& path, int flags = SQLITE_OPEN_READWRITE) {
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, flags, nullptr), SQLITE_OK) << path;
    }
    ~Sql() { sqlite3_close_v2(db_); }
    sqlite3* db() { return db_; }

    int Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }

    // Every row of a query, each column as text ("NULL" for NULL).
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* s = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
        while (s != nullptr && sqlite3_step(s) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                row.push_back(t != nullptr ? t : "NULL");
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(s);
        return rows;
    }
    std::string One(const std::string& sql) {
        auto rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? "(none)" : rows[0][0];
    }

private:
    sqlite3* db_ = nullptr;
};

NoteResult Note(int idx, double due, int expected, int played, double error, double held, int velocity,
                Verdict verdict) {
    NoteResult n;
    n.idx = idx;
    n.dueMs = due;
    n.expectedPitch = expected;
    n.playedPitch = played;
    n.onsetErrorMs = error;
    n.heldFraction = held;
    n.velocity = velocity;
    n.verdict = verdict;
    return n;
}

// A pass of `notes` notes, every one on time with onset error `error`.
PassJudgement Clean(int notes, double error = 5) {
    PassJudgement j;
    for (int i = 0; i < notes; ++i) j.notes.push_back(Note(i, i * 500.0, 60 + i % 12, 60 + i % 12, error, 0.9, 0,
                                                          Verdict::OnTime));
    return j;
}

PassRecord Scale(const std::string& key = "C", int noteValue = 480) {
    return {"2026-12-11T03:15:50Z", "Scala maggiore", key, noteValue, "Keep going", 96, 12.5};
}

int Passes(const fs::path& file) {
    Sql sql(file, SQLITE_OPEN_READONLY);
    return std::stoi(sql.One("SELECT count(*) FROM pass"));
}

TEST(PracticeHistory, APassReadsBackThroughPlainSqlWithNullsForWhatWasNotPlayed) {
    TempFolder tmp;
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> before = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("XDG_DATA_HOME", (tmp.path / "data").c_str(), 1);  // not there yet
    const std::string path = DefaultHistoryPath();
    if (before) ::setenv("XDG_DATA_HOME", before->c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(path, (tmp.path / "data" / "tonemark" / "practice.sqlite").string());

    PassJudgement j;
    j.notes = {
        Note(0, 0, 60, 60, -3.25, 0.95, 80, Verdict::OnTime),
        Note(1, 500, 62, 62, -60, 0.5, 90, Verdict::Early),
        Note(2, 1000, 64, 65, 12, 1.0, 70, Verdict::Wrong),
        Note(3, 1500, 65, -1, NAN, NAN, 0, Verdict::Missed),
        Note(4, 2000, 67, 67, 75, 0.8, 0, Verdict::Late),
        Note(4, 2000, 67, 71, 180, 0.2, 0, Verdict::Extra),
    };
    std::int64_t scaleId = 0, takeId = 0;
    {
        History h(path);
        ASSERT_EQ(h.Problem(), "");
        scaleId = h.Save(Scale("F#", 240), j);
        takeId = h.Save({"2026-12-11T04:00:00Z", "take:9f86d081", "", 0, "Wait for me", 120, 0}, Clean(1));
        EXPECT_GT(scaleId, 0);
        EXPECT_GT(takeId, scaleId);
        EXPECT_EQ(h.Problem(), "");
    }

    Sql sql(path);
    EXPECT_EQ(sql.One("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(sql.One("PRAGMA user_version"), "1");
    using Row = std::vector<std::string>;
    EXPECT_EQ(sql.Rows("SELECT id, started_at, material, key, note_value, mode, tempo_bpm, offset_ms FROM pass"
                       " ORDER BY id"),
              (std::vector<Row>{
                  {std::to_string(scaleId), "2026-12-11T03:15:50Z", "Scala maggiore", "F#", "240", "Keep going",
                   "96.0", "12.5"},
                  {std::to_string(takeId), "2026-12-11T04:00:00Z", "take:9f86d081", "NULL", "NULL", "Wait for me",
                   "120.0", "0.0"}}));
    EXPECT_EQ(sql.Rows("SELECT idx, due_ms, expected_pitch, played_pitch, onset_error_ms, held_fraction, velocity,"
                       " verdict FROM note_result WHERE pass_id = " + std::to_string(scaleId) + " ORDER BY rowid"),
              (std::vector<Row>{{"0", "0.0", "60", "60", "-3.25", "0.95", "80", "on time"},
                                {"1", "500.0", "62", "62", "-60.0", "0.5", "90", "early"},
                                {"2", "1000.0", "64", "65", "12.0", "1.0", "70", "wrong"},
                                {"3", "1500.0", "65", "NULL", "NULL", "NULL", "NULL", "missed"},
                                {"4", "2000.0", "67", "67", "75.0", "0.8", "NULL", "late"},
                                {"4", "2000.0", "67", "71", "180.0", "0.2", "NULL", "extra"}}));
    // NULL really is NULL, not the text "NULL" or a zero.
    EXPECT_EQ(sql.One("SELECT count(*) FROM note_result WHERE played_pitch IS NULL AND onset_error_ms IS NULL"
                      " AND held_fraction IS NULL"),
              "1");
    // The table takes no verdict but the six words, and no note of a pass that is not there.
    EXPECT_NE(sql.Exec("INSERT INTO note_result VALUES (1, 0, 0, 60, 60, 0, 1, 64, 'great')"), SQLITE_OK);
    sql.Exec("PRAGMA foreign_keys = ON");
    EXPECT_NE(sql.Exec("INSERT INTO note_result VALUES (999, 0, 0, 60, 60, 0, 1, 64, 'early')"), SQLITE_OK);
}

TEST(PracticeHistory, RecentGivesTheLastPassesOfThatMaterialOldestFirstWithNotesRightAndTheP90) {
    TempFolder tmp;
    History h((tmp.path / "practice.sqlite").string());
    ASSERT_EQ(h.Problem(), "");

    // Ten right notes |error| 0, 10 ... 90 (p90 by linear interpolation: 81),
    // one wrong with a small error, one missed, one extra far off: 10 right of 12.
    auto mixed = [](double scale) {
        PassJudgement j;
        for (int i = 0; i < 10; ++i)
            j.notes.push_back(Note(i, i * 250.0, 60, 60, (i % 2 ? -1 : 1) * i * 10.0 * scale, 1, 0,
                                   i == 0 ? Verdict::OnTime : (i % 2 ? Verdict::Early : Verdict::Late)));
        j.notes.push_back(Note(10, 2500, 62, 63, 1, 1, 0, Verdict::Wrong));
        j.notes.push_back(Note(11, 2750, 64, -1, NAN, NAN, 0, Verdict::Missed));
        j.notes.push_back(Note(11, 2750, 64, 70, 400, 0.1, 0, Verdict::Extra));
        return j;
    };
    PassJudgement nothingRight;
    nothingRight.notes = {Note(0, 0, 60, -1, NAN, NAN, 0, Verdict::Missed),
                          Note(1, 250, 62, 61, 3, 1, 0, Verdict::Wrong)};

    std::vector<std::int64_t> ids;
    ids.push_back(h.Save(Scale(), Clean(8, -7)));
    h.Save(Scale("D"), Clean(8));                       // another key
    h.Save(Scale("C", 240), Clean(8));                  // another note value
    h.Save({"", "take:abc", "", 0, "Keep going", 100, 0}, Clean(3));
    ids.push_back(h.Save(Scale(), mixed(1)));
    ids.push_back(h.Save(Scale(), nothingRight));
    ids.push_back(h.Save(Scale(), mixed(2)));
    ASSERT_EQ(h.Problem(), "");

    const auto last3 = h.Recent("Scala maggiore", "C", 480, 3);
    ASSERT_EQ(last3.size(), 3u);
    EXPECT_EQ(last3[0].id, ids[1]);
    EXPECT_EQ(last3[1].id, ids[2]);
    EXPECT_EQ(last3[2].id, ids[3]);
    EXPECT_EQ(last3[0].right, 10);
    EXPECT_EQ(last3[0].expected, 12);
    EXPECT_DOUBLE_EQ(last3[0].p90AbsErrorMs, 81);
    EXPECT_EQ(last3[1].right, 0);
    EXPECT_EQ(last3[1].expected, 2);
    EXPECT_TRUE(std::isnan(last3[1].p90AbsErrorMs));
    EXPECT_DOUBLE_EQ(last3[2].p90AbsErrorMs, 162);
    EXPECT_EQ(last3[2].startedAt, "2026-12-11T03:15:50Z");

    const auto all = h.Recent("Scala maggiore", "C", 480);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].id, ids[0]);
    EXPECT_EQ(all[0].right, 8);
    EXPECT_DOUBLE_EQ(all[0].p90AbsErrorMs, 7);

    const auto take = h.Recent("take:abc", "", 0);
    ASSERT_EQ(take.size(), 1u);
    EXPECT_EQ(take[0].expected, 3);
    EXPECT_EQ(take[0].startedAt.size(), std::string("2026-12-11T03:15:50Z").size());  // filled in when empty
}

// A read-only disk: a tmpfs remounted read-only stops writes even for root,
// which a chmod does not; without root the folder and file are chmodded.
TEST(PracticeHistory, AReadOnlyFolderKeepsNothingNewButStillShowsThePassesKeptBefore) {
    TempFolder tmp;
    const fs::path dir = tmp.path / "disk";
    SmallDisk disk(dir, "1m");
    const bool root = ::geteuid() == 0;
    if (!disk.Mounted() && root)
        GTEST_SKIP() << "running as root, where a chmod does not stop writes, and a tmpfs cannot be mounted here ("
                     << std::strerror(errno) << ")";
    const fs::path file = dir / "practice.sqlite";
    {
        History h(file.string());
        ASSERT_GT(h.Save(Scale(), Clean(4)), 0);
        ASSERT_GT(h.Save(Scale(), Clean(4)), 0);
    }
    if (disk.Mounted()) {
        ASSERT_TRUE(disk.Remount("size=1m", /*readOnly=*/true)) << std::strerror(errno);
    } else {
        fs::permissions(file, fs::perms::owner_read);
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const std::string bytes = ReadBytes(file);

    {
        History h(file.string());
        EXPECT_NE(h.Problem().find("read-only"), std::string::npos) << h.Problem();
        EXPECT_NE(h.Problem().find(file.string()), std::string::npos) << h.Problem();
        EXPECT_NE(h.Problem().find("without keeping passes"), std::string::npos) << h.Problem();
        EXPECT_EQ(h.Save(Scale(), Clean(4)), 0);
        EXPECT_EQ(h.Recent("Scala maggiore", "C", 480).size(), 2u);
    }
    {
        History h((dir / "fresh.sqlite").string());  // a file that is not there yet
        EXPECT_NE(h.Problem().find("read-only"), std::string::npos) << h.Problem();
        EXPECT_EQ(h.Save(Scale(), Clean(4)), 0);
        EXPECT_TRUE(h.Recent("Scala maggiore", "C", 480).empty());
    }
    {
        History h((dir / "sub" / "practice.sqlite").string());  // a folder that cannot be made
        EXPECT_NE(h.Problem().find("folder cannot be made: " + (dir / "sub").string()), std::string::npos)
            << h.Problem();
        EXPECT_EQ(h.Save(Scale(), Clean(4)), 0);
    }
    {
        WriteBytes(tmp.path / "plain-file", "x");
        History h((tmp.path / "plain-file" / "tonemark" / "practice.sqlite").string());
        EXPECT_NE(h.Problem().find("folder cannot be made"), std::string::npos) << h.Problem();
    }
    EXPECT_EQ(ReadBytes(file), bytes);
    if (disk.Mounted())
        ASSERT_TRUE(disk.Remount("size=1m", false));
    else
        fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(Passes(file), 2);
}

// A full disk: a 192 KiB tmpfs where one can be mounted (root), else a file
// size limit of the process (writes then fail as they would on a full disk,
// though SQLite may call it an I/O error rather than a full disk).
TEST(PracticeHistory, AFullDiskLosesOnlyThePassBeingSavedAndTheFileStaysWhole) {
    TempFolder tmp;
    const fs::path dir = tmp.path / "disk";
    SmallDisk disk(dir, "192k");
    const fs::path file = dir / "practice.sqlite";

    History h(file.string());
    ASSERT_EQ(h.Problem(), "");
    int kept = 0;
    std::int64_t id = 0;
    {
        std::optional<FileSizeLimit> limit;
        if (!disk.Mounted()) limit.emplace(160 * 1024);
        for (int i = 0; i < 500; ++i) {
            id = h.Save(Scale(), Clean(40));
            if (id == 0) break;
            ++kept;
        }
    }
    ASSERT_EQ(id, 0) << "the disk never filled up";
    ASSERT_GT(kept, 1);
    if (disk.Mounted()) {
        EXPECT_NE(h.Problem().find("The disk is full: " + file.string()), std::string::npos) << h.Problem();
    }
    EXPECT_NE(h.Problem().find("this pass was not kept"), std::string::npos) << h.Problem();

    {
        Sql sql(file, SQLITE_OPEN_READONLY);
        EXPECT_EQ(sql.One("PRAGMA quick_check"), "ok");
        EXPECT_EQ(sql.One("SELECT count(*) FROM pass"), std::to_string(kept));
        // Every pass kept is kept whole: no pass without its forty notes.
        EXPECT_EQ(sql.One("SELECT count(*) FROM pass WHERE (SELECT count(*) FROM note_result"
                          " WHERE pass_id = pass.id) <> 40"),
                  "0");
    }
    EXPECT_EQ(h.Recent("Scala maggiore", "C", 480, 1000).size(), static_cast<std::size_t>(kept));

    // With room again the next pass is kept in the same file.
    if (disk.Mounted()) {
        ASSERT_TRUE(disk.Remount("size=4m", false));
    }
    EXPECT_GT(h.Save(Scale(), Clean(40)), 0) << h.Problem();
    EXPECT_EQ(h.Problem(), "");
    EXPECT_EQ(Passes(file), kept + 1);
}

TEST(PracticeHistory, ALockedFileCostsOnlyThatPass) {
    TempFolder tmp;
    const fs::path file = tmp.path / "practice.sqlite";
    {
        History h(file.string());
        ASSERT_GT(h.Save(Scale(), Clean(4)), 0);

        Sql other(file);
        ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
        ASSERT_EQ(other.Exec("INSERT INTO pass (started_at, material, mode, tempo_bpm, offset_ms)"
                             " VALUES ('x', 'other', 'Keep going', 60, 0)"),
                  SQLITE_OK);
        EXPECT_EQ(h.Save(Scale(), Clean(4)), 0);
        EXPECT_NE(h.Problem().find("locked by another program: " + file.string()), std::string::npos) << h.Problem();
        EXPECT_NE(h.Problem().find("this pass was not kept"), std::string::npos) << h.Problem();
        ASSERT_EQ(other.Exec("ROLLBACK"), SQLITE_OK);

        EXPECT_GT(h.Save(Scale(), Clean(4)), 0);
        EXPECT_EQ(h.Problem(), "");
        EXPECT_EQ(h.Recent("Scala maggiore", "C", 480).size(), 2u);
    }

    // Locked from before the window opened it: tried again at the next save.
    std::optional<Sql> holder(std::in_place, file);
    ASSERT_EQ(holder->Exec("PRAGMA locking_mode = EXCLUSIVE"), SQLITE_OK);
    ASSERT_EQ(holder->Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    History late(file.string());
    EXPECT_NE(late.Problem().find("locked by another program: " + file.string()), std::string::npos)
        << late.Problem();
    holder.reset();
    EXPECT_GT(late.Save(Scale(), Clean(4)), 0) << late.Problem();
    EXPECT_EQ(late.Problem(), "");
    EXPECT_EQ(late.Recent("Scala maggiore", "C", 480).size(), 3u);  // the two kept above and this one
}

// A file that is not a database, one whose table is damaged (found at
// opening) and one whose index is damaged (found by the next save, which then
// goes into the new file) are each moved aside byte for byte, under names that
// do not overwrite one another, and a fresh history starts in their place.
TEST(PracticeHistory, ADamagedFileIsMovedAsideIntactAndANewOneStarted) {
    TempFolder tmp;
    const fs::path file = tmp.path / "practice.sqlite";

    std::string notADatabase;
    for (int i = 0; i < 300; ++i) notADatabase += "these are not the bytes of an SQLite database\n";

    const fs::path other = tmp.path / "other.sqlite";
    {
        History h(other.string());
        ASSERT_GT(h.Save(Scale(), Clean(40)), 0);
    }
    int tablePage = 0, indexPage = 0;
    {
        Sql sql(other, SQLITE_OPEN_READONLY);
        tablePage = std::stoi(sql.One("SELECT rootpage FROM sqlite_schema WHERE name = 'pass'"));
        indexPage = std::stoi(sql.One("SELECT rootpage FROM sqlite_schema WHERE name = 'pass_by_material'"));
    }
    const std::string good = ReadBytes(other);
    auto damage = [&](int page) {
        std::string bytes = good;
        EXPECT_GE(bytes.size(), static_cast<std::size_t>(page) * 4096);
        std::fill(bytes.begin() + (page - 1) * 4096, bytes.begin() + page * 4096, '\xAB');
        return bytes;
    };
    struct Case {
        std::string bytes;
        bool foundAtOpening;
    };
    const std::vector<Case> cases = {{notADatabase, true}, {damage(tablePage), true}, {damage(indexPage), false}};

    const std::string movedWords = "was damaged: it was moved to " + file.string() + ".corrupt-";
    for (const Case& c : cases) {
        WriteBytes(file, c.bytes);
        History h(file.string());
        if (c.foundAtOpening) {
            EXPECT_NE(h.Problem().find(movedWords), std::string::npos) << h.Problem();
            EXPECT_NE(h.Problem().find("a new one was started"), std::string::npos) << h.Problem();
            EXPECT_GT(h.Save(Scale(), Clean(4)), 0) << h.Problem();
        } else {
            EXPECT_EQ(h.Problem(), "");
            EXPECT_GT(h.Save(Scale(), Clean(4)), 0) << h.Problem();
            EXPECT_NE(h.Problem().find(movedWords), std::string::npos) << h.Problem();
        }
        EXPECT_EQ(h.Recent("Scala maggiore", "C", 480).size(), 1u);
    }

    // Three moves within a second or two: each kept under its own name.
    std::vector<std::string> kept, expected;
    for (const auto& entry : fs::directory_iterator(tmp.path)) {
        const std::string name = entry.path().filename().string();
        const bool log = name.ends_with("-wal") || name.ends_with("-shm");  // moved along with it
        if (name.rfind("practice.sqlite.corrupt-", 0) == 0 && !log) kept.push_back(ReadBytes(entry.path()));
    }
    for (const Case& c : cases) expected.push_back(c.bytes);
    std::sort(kept.begin(), kept.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(kept == expected) << kept.size() << " files moved aside, or their bytes changed";
    EXPECT_EQ(Passes(file), 1);
}

}  // namespace
}  // namespace tonemark::practice
