#include "practice/history.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace tonemark::practice {

namespace fs = std::filesystem;

namespace {

// The schema this build writes. A file with a higher number was written by a
// newer Tonemark and is left alone.
constexpr int kSchemaVersion = 1;

// How long a save waits for another program's write to finish.
constexpr int kBusyTimeoutMs = 1500;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS pass (
    id          INTEGER PRIMARY KEY,
    started_at  TEXT NOT NULL,
    material    TEXT NOT NULL,
    key         TEXT,
    note_value  INTEGER,
    mode        TEXT NOT NULL,
    tempo_bpm   REAL NOT NULL,
    offset_ms   REAL NOT NULL
);
CREATE INDEX IF NOT EXISTS pass_by_material ON pass (material, key, note_value, id);
CREATE TABLE IF NOT EXISTS note_result (
    pass_id         INTEGER NOT NULL REFERENCES pass (id) ON DELETE CASCADE,
    idx             INTEGER NOT NULL,
    due_ms          REAL NOT NULL,
    expected_pitch  INTEGER NOT NULL,
    played_pitch    INTEGER,
    onset_error_ms  REAL,
    held_fraction   REAL,
    velocity        INTEGER,
    verdict         TEXT NOT NULL
                    CHECK (verdict IN ('on time', 'early', 'late', 'wrong', 'missed', 'extra'))
);
CREATE INDEX IF NOT EXISTS note_result_by_pass ON note_result (pass_id);
)sql";

// The verdict's word as kept in the table (the same words the review shows).
const char* VerdictWord(Verdict v) {
    switch (v) {
        case Verdict::OnTime: return "on time";
        case Verdict::Early: return "early";
        case Verdict::Late: return "late";
        case Verdict::Wrong: return "wrong";
        case Verdict::Missed: return "missed";
        case Verdict::Extra: return "extra";
    }
    return "missed";
}

std::string UtcStamp(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[40];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

bool IsCorrupt(int rc) {
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

bool IsBusy(int rc) {
    rc &= 0xff;
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

bool Writable(const fs::path& p) { return ::access(p.c_str(), W_OK) == 0; }

// A file name as an SQLite URI, for opening a file read-only and immutable.
std::string FileUri(const std::string& path) {
    std::string uri = "file:";
    const char* hex = "0123456789ABCDEF";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x21 || c >= 0x7f) {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + "?immutable=1";
}

// Percentile by linear interpolation between the closest ranks.
double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const double rank = fraction * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (rank - static_cast<double>(below)) * (values[above] - values[below]);
}

}  // namespace

std::string DefaultHistoryPath() {
    fs::path base;
    const char* data = std::getenv("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is to be ignored.
    if (data != nullptr && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home != nullptr && home[0] != '\0' ? home : ".") / ".local" / "share";
    }
    return (base / "tonemark" / "practice.sqlite").string();
}

struct History::Db {
    sqlite3* handle = nullptr;
    sqlite3_stmt* insertPass = nullptr;
    sqlite3_stmt* insertNote = nullptr;
    sqlite3_stmt* recentPasses = nullptr;
    sqlite3_stmt* passNotes = nullptr;
    bool writable = false;  // passes can be saved
    bool retry = false;     // opening met another program's lock: try again at the next save

    ~Db() { Close(); }

    // Closes without letting SQLite write into the file: used before a
    // damaged file is moved aside, which must keep its bytes as they were.
    void Close(bool leaveFileAlone = false) {
        for (sqlite3_stmt** s : {&insertPass, &insertNote, &recentPasses, &passNotes}) {
            sqlite3_finalize(*s);
            *s = nullptr;
        }
        if (handle != nullptr) {
            if (leaveFileAlone) sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            sqlite3_close_v2(handle);
            handle = nullptr;
        }
        writable = false;
    }

    int Exec(const char* sql) { return sqlite3_exec(handle, sql, nullptr, nullptr, nullptr); }

    std::string Message() const { return handle != nullptr ? sqlite3_errmsg(handle) : "SQLite could not start"; }

    // Steps a query to its end: SQLITE_OK, or the error met on the way.
    int Query(const char* sql) {
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v2(handle, sql, -1, &s, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) rc = SQLITE_OK;
        sqlite3_finalize(s);
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    // A look at the file that finds one that is not a database or whose
    // header, schema or tables' first and last pages are damaged, without
    // reading it all (PRAGMA quick_check takes over half a second on a
    // history of ten thousand passes). Damage further in shows when a save
    // or the chart meets it.
    int Check() {
        int rc = Query("SELECT count(*) FROM sqlite_schema");
        int version = 0;
        if (rc == SQLITE_OK) rc = UserVersion(version);
        if (rc == SQLITE_OK && version == kSchemaVersion) {
            // One min() or max() a query, which SQLite answers from the
            // b-tree's edge; both in one query would scan the table.
            for (const char* q : {"SELECT min(id) FROM pass", "SELECT max(id) FROM pass",
                                  "SELECT min(rowid) FROM note_result", "SELECT max(rowid) FROM note_result"})
                if (rc == SQLITE_OK) rc = Query(q);
        }
        return rc;
    }

    int UserVersion(int& version) {
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v2(handle, "PRAGMA user_version", -1, &s, nullptr);
        if (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
            version = sqlite3_column_int(s, 0);
            rc = SQLITE_OK;
        }
        sqlite3_finalize(s);
        return rc;
    }

    int PrepareReading() {
        int rc = sqlite3_prepare_v2(handle,
                                    "SELECT id, started_at FROM pass"
                                    " WHERE material = ?1 AND key IS ?2 AND note_value IS ?3"
                                    " ORDER BY id DESC LIMIT ?4",
                                    -1, &recentPasses, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_prepare_v2(handle, "SELECT verdict, onset_error_ms FROM note_result WHERE pass_id = ?1", -1,
                                    &passNotes, nullptr);
        return rc;
    }

    int PrepareWriting() {
        int rc = sqlite3_prepare_v2(handle,
                                    "INSERT INTO pass"
                                    " (started_at, material, key, note_value, mode, tempo_bpm, offset_ms)"
                                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                                    -1, &insertPass, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_prepare_v2(handle,
                                    "INSERT INTO note_result (pass_id, idx, due_ms, expected_pitch, played_pitch,"
                                    " onset_error_ms, held_fraction, velocity, verdict)"
                                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                                    -1, &insertNote, nullptr);
        return rc;
    }

    // Makes the tables in a fresh file (or checks an existing one's version).
    // Sets `newer` when the file comes from a newer Tonemark.
    int Schema(bool& newer) {
        newer = false;
        int version = 0;
        int rc = UserVersion(version);
        if (rc != SQLITE_OK) return rc;
        if (version > kSchemaVersion) {
            newer = true;
            return SQLITE_OK;
        }
        if (version == kSchemaVersion) return SQLITE_OK;
        rc = Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return rc;
        rc = Exec(kSchema);
        if (rc == SQLITE_OK) rc = Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
        if (rc == SQLITE_OK) rc = Exec("COMMIT");
        if (rc != SQLITE_OK && sqlite3_get_autocommit(handle) == 0) Exec("ROLLBACK");
        return rc;
    }
};

namespace {

void BindText(sqlite3_stmt* s, int i, const std::string& text) {
    sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// NaN and the infinities are kept as NULL.
void BindNumber(sqlite3_stmt* s, int i, double v) {
    if (std::isfinite(v))
        sqlite3_bind_double(s, i, v);
    else
        sqlite3_bind_null(s, i);
}

void BindIntOrNull(sqlite3_stmt* s, int i, int v, bool present) {
    if (present)
        sqlite3_bind_int(s, i, v);
    else
        sqlite3_bind_null(s, i);
}

// Step a prepared INSERT to its end and make it ready for the next.
int Run(sqlite3_stmt* s) {
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// A name for the damaged file beside it that no earlier one has.
fs::path AsideName(const fs::path& path) {
    const std::string base = path.string() + ".corrupt-" + UtcStamp("%Y%m%dT%H%M%SZ");
    fs::path aside = base;
    std::error_code ec;
    for (int n = 2; fs::exists(aside, ec) || fs::exists(aside.string() + "-wal", ec); ++n)
        aside = base + "-" + std::to_string(n);
    return aside;
}

}  // namespace

History::History(std::string path) : db_(std::make_unique<Db>()), path_(std::move(path)) { Open(); }

History::~History() = default;

void History::Open() {
    Db& db = *db_;
    db.Close();
    db.retry = false;
    const fs::path file(path_);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const std::string notKept = "; practice goes on without keeping passes";

    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec && !fs::is_directory(folder)) {
        problem_ = "The practice history's folder cannot be made: " + folder.string() + " (" + ec.message() + ")" +
                   notKept;
        return;
    }

    for (int attempt = 0; attempt < 2; ++attempt) {
        // SQLite opens a file it may not write read-only by itself.
        int rc = sqlite3_open_v2(path_.c_str(), &db.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_extended_result_codes(db.handle, 1);
            sqlite3_busy_timeout(db.handle, kBusyTimeoutMs);
            // Checked before anything is written, so that a damaged file is
            // moved aside exactly as it was found.
            rc = db.Check();
        }
        if (IsCorrupt(rc)) {
            db.Close(/*leaveFileAlone=*/true);
            if (attempt == 0) {
                if (MoveAside()) continue;
                return;  // MoveAside said why
            }
            problem_ = "The practice history cannot be started at " + path_ + " (the new file reads as damaged)" +
                       notKept;
            return;
        }
        // A WAL database needs its folder writable as well, for the log.
        const bool readOnly = (db.handle != nullptr && sqlite3_db_readonly(db.handle, "main") == 1) ||
                              (fs::exists(file, ec) && !Writable(file)) || !Writable(folder);
        if (rc == SQLITE_OK && !readOnly) {
            rc = db.Exec("PRAGMA journal_mode = WAL");
            if (rc == SQLITE_OK) rc = db.Exec("PRAGMA foreign_keys = ON");
            bool newer = false;
            if (rc == SQLITE_OK) rc = db.Schema(newer);
            if (rc == SQLITE_OK && newer) {
                db.PrepareReading();
                problem_ = "The practice history was written by a newer Tonemark: " + path_ + notKept;
                return;
            }
            if (rc == SQLITE_OK) rc = db.PrepareReading();
            if (rc == SQLITE_OK) rc = db.PrepareWriting();
            if (rc == SQLITE_OK) {
                db.writable = true;
                if (attempt == 0) problem_.clear();
                return;
            }
        }
        if (IsBusy(rc)) {
            db.Close();
            db.retry = true;
            problem_ = "The practice history is locked by another program: " + path_ +
                       "; practice goes on, and passes are kept once it is free";
            return;
        }
        if (IsCorrupt(rc)) {
            db.Close(true);
            if (attempt == 0 && MoveAside()) continue;
            if (attempt != 0)
                problem_ = "The practice history cannot be started at " + path_ + " (the new file reads as damaged)" +
                           notKept;
            return;
        }
        if (readOnly || (rc & 0xff) == SQLITE_READONLY || (rc & 0xff) == SQLITE_CANTOPEN ||
            (rc & 0xff) == SQLITE_PERM) {
            if (readOnly || !Writable(folder) || (fs::exists(file, ec) && !Writable(file))) {
                OpenForReading();
                problem_ = "The practice history is read-only: " + path_ + notKept;
                return;
            }
        }
        if ((rc & 0xff) == SQLITE_FULL || (db.handle != nullptr && sqlite3_system_errno(db.handle) == ENOSPC)) {
            db.Close();
            problem_ = "The disk is full: the practice history cannot be started at " + path_ + notKept;
            return;
        }
        problem_ = "The practice history cannot be opened: " + path_ + " (" + db.Message() + ")" + notKept;
        db.Close();
        return;
    }
}

// Reading only, for a file on a read-only folder or disk: the chart still
// shows the passes kept before. Falls back to an immutable open when SQLite
// cannot make its shared-memory file beside a WAL database.
void History::OpenForReading() {
    Db& db = *db_;
    db.Close();
    std::error_code ec;
    if (!fs::exists(path_, ec)) return;
    for (int uri = 0; uri < 2; ++uri) {
        const std::string name = uri ? FileUri(path_) : path_;
        int flags = SQLITE_OPEN_READONLY | (uri ? SQLITE_OPEN_URI : 0);
        int rc = sqlite3_open_v2(name.c_str(), &db.handle, flags, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(db.handle, kBusyTimeoutMs);
            int version = 0;
            rc = db.UserVersion(version);
            if (rc == SQLITE_OK) rc = db.PrepareReading();
        }
        if (rc == SQLITE_OK) return;
        db.Close();
    }
}

bool History::MoveAside() {
    const fs::path file(path_);
    const fs::path aside = AsideName(file);
    std::error_code ec;
    fs::rename(file, aside, ec);
    if (ec) {
        problem_ = "The practice history is damaged and cannot be moved aside: " + path_ + " (" + ec.message() +
                   "); practice goes on without keeping passes";
        return false;
    }
    // Its write-ahead log belongs with it; the shared-memory index is only a cache.
    for (const char* part : {"-wal", "-shm"}) {
        const fs::path from = path_ + part;
        if (fs::exists(from, ec)) fs::rename(from, aside.string() + part, ec);
    }
    problem_ = "The practice history was damaged: it was moved to " + aside.string() + " and a new one was started";
    return true;
}

std::int64_t History::Save(const PassRecord& pass, const PassJudgement& judged) {
    if (db_->retry) {
        Open();
        if (db_->retry)
            problem_ = "The practice history is locked by another program: " + path_ + "; this pass was not kept";
    }
    if (!db_->writable) return 0;
    return SaveOnce(pass, judged, /*mayMoveAside=*/true);
}

std::int64_t History::SaveOnce(const PassRecord& pass, const PassJudgement& judged, bool mayMoveAside) {
    Db& db = *db_;
    {
        std::int64_t id = 0;
        int rc = db.Exec("BEGIN IMMEDIATE");
        if (rc == SQLITE_OK) {
            sqlite3_stmt* s = db.insertPass;
            BindText(s, 1, pass.startedAt.empty() ? UtcStamp("%Y-%m-%dT%H:%M:%SZ") : pass.startedAt);
            BindText(s, 2, pass.material);
            if (pass.key.empty())
                sqlite3_bind_null(s, 3);
            else
                BindText(s, 3, pass.key);
            BindIntOrNull(s, 4, pass.noteValue, pass.noteValue > 0);
            BindText(s, 5, pass.mode);
            sqlite3_bind_double(s, 6, pass.tempoBpm);
            sqlite3_bind_double(s, 7, std::isfinite(pass.offsetMs) ? pass.offsetMs : 0.0);
            rc = Run(s);
            id = sqlite3_last_insert_rowid(db.handle);
        }
        for (std::size_t i = 0; rc == SQLITE_OK && i < judged.notes.size(); ++i) {
            const NoteResult& n = judged.notes[i];
            sqlite3_stmt* s = db.insertNote;
            sqlite3_bind_int64(s, 1, id);
            sqlite3_bind_int(s, 2, n.idx);
            sqlite3_bind_double(s, 3, std::isfinite(n.dueMs) ? n.dueMs : 0.0);
            sqlite3_bind_int(s, 4, n.expectedPitch);
            BindIntOrNull(s, 5, n.playedPitch, n.playedPitch >= 0);
            BindNumber(s, 6, n.onsetErrorMs);
            BindNumber(s, 7, n.heldFraction);
            BindIntOrNull(s, 8, n.velocity, n.velocity > 0);
            sqlite3_bind_text(s, 9, VerdictWord(n.verdict), -1, SQLITE_STATIC);
            rc = Run(s);
        }
        if (rc == SQLITE_OK) rc = db.Exec("COMMIT");
        if (rc == SQLITE_OK) {
            problem_.clear();
            return id;
        }

        const int sysErrno = sqlite3_system_errno(db.handle);
        const std::string message = db.Message();
        if (sqlite3_get_autocommit(db.handle) == 0) db.Exec("ROLLBACK");

        const std::string notKept = "; this pass was not kept";
        const int primary = rc & 0xff;
        if (IsCorrupt(rc) && mayMoveAside) {
            // Found damaged while writing: moved aside, and the pass goes into
            // a new file.
            db.Close(true);
            if (!MoveAside()) return 0;
            const std::string moved = problem_;
            Open();
            if (!db.writable) return 0;
            const std::int64_t kept = SaveOnce(pass, judged, false);
            if (kept != 0) problem_ = moved;
            return kept;
        }
        if (IsBusy(rc))
            problem_ = "The practice history is locked by another program: " + path_ + notKept;
        else if (primary == SQLITE_FULL || sysErrno == ENOSPC)
            problem_ = "The disk is full: " + path_ + notKept + " (the passes kept before are safe)";
        else if (primary == SQLITE_READONLY)
            problem_ = "The practice history is read-only: " + path_ + notKept;
        else
            problem_ = "The practice history could not be written: " + path_ + " (" + message + ")" + notKept;
        return 0;
    }
}

std::vector<PassPoint> History::Recent(const std::string& material, const std::string& key, int noteValue,
                                       int count) {
    std::vector<PassPoint> points;
    Db& db = *db_;
    if (db.recentPasses == nullptr || count <= 0) return points;
    sqlite3_stmt* s = db.recentPasses;
    BindText(s, 1, material);
    if (key.empty())
        sqlite3_bind_null(s, 2);
    else
        BindText(s, 2, key);
    BindIntOrNull(s, 3, noteValue, noteValue > 0);
    sqlite3_bind_int(s, 4, count);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        PassPoint p;
        p.id = sqlite3_column_int64(s, 0);
        const auto* started = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
        p.startedAt = started != nullptr ? started : "";
        points.push_back(std::move(p));
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);

    sqlite3_stmt* n = db.passNotes;
    for (std::size_t i = 0; rc == SQLITE_DONE && i < points.size(); ++i) {
        PassPoint& p = points[i];
        std::vector<double> errors;
        sqlite3_bind_int64(n, 1, p.id);
        while ((rc = sqlite3_step(n)) == SQLITE_ROW) {
            const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(n, 0));
            const std::string v = verdict != nullptr ? verdict : "";
            if (v == "extra") continue;
            ++p.expected;
            if (v == "on time" || v == "early" || v == "late") {
                ++p.right;
                if (sqlite3_column_type(n, 1) != SQLITE_NULL) errors.push_back(std::fabs(sqlite3_column_double(n, 1)));
            }
        }
        sqlite3_reset(n);
        p.p90AbsErrorMs = Percentile(std::move(errors), 0.9);
    }
    if (rc != SQLITE_DONE) {
        // Damage met while reading: the file is moved aside as at opening,
        // and the chart starts again with the new one.
        if (IsCorrupt(rc) && db.writable) {
            db.Close(true);
            if (MoveAside()) {
                const std::string moved = problem_;
                Open();
                if (db.writable) problem_ = moved;
            }
        }
        return {};
    }
    std::reverse(points.begin(), points.end());
    return points;
}

}  // namespace tonemark::practice
