// The practice history: every finished pass and one row per note, in an
// SQLite database ($XDG_DATA_HOME/tonemark/practice.sqlite, by default
// ~/.local/share/tonemark/). A pass is written in one transaction; the file
// runs in WAL mode. A database that cannot be opened or written leaves
// practice working and says why; a corrupt file is moved aside, never
// overwritten.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "practice/judge.h"

namespace tonemark::practice {

// What a pass practised, as kept in the `pass` table.
struct PassRecord {
    std::string startedAt;   // ISO 8601 UTC, "2026-12-11T03:15:50Z"
    std::string material;    // the scale's name ("Scala maggiore") or "take:" + the take file's checksum
    std::string key;         // "C", "F#" ...; empty for a take
    int noteValue = 0;       // the note value chosen (ticks of the note), 0 for a take
    std::string mode;        // "Keep going" or "Wait for me"
    double tempoBpm = 0;
    double offsetMs = 0;
};

// One pass as the chart needs it.
struct PassPoint {
    std::int64_t id = 0;
    std::string startedAt;
    int right = 0;
    int expected = 0;
    double p90AbsErrorMs = 0;  // NaN when no note was played right
};

// The default place of the database.
std::string DefaultHistoryPath();

class History {
public:
    // Opens (creating folders, file and tables as needed) the database at
    // `path`. Never throws: a failure is kept in Problem(), and then Save
    // stores nothing (see Problem() for what still works).
    explicit History(std::string path);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Stores a finished pass and its notes in one transaction. Returns the
    // pass's id, or 0 when it could not be stored (Problem() says why).
    std::int64_t Save(const PassRecord& pass, const PassJudgement& judged);

    // The last `count` passes of `material` (with that key and note value),
    // oldest first.
    std::vector<PassPoint> Recent(const std::string& material, const std::string& key, int noteValue,
                                  int count = 30);

    // Empty while all is well; else one line for the message line, such as
    // "The practice history is read-only: ... (passes are not kept)". Set
    // when the database is opened and by every Save (a Save that stores its
    // pass clears it). Where the file can only be read, Recent() still shows
    // the passes kept before; a file locked by another program at opening is
    // tried again at the next Save.
    const std::string& Problem() const { return problem_; }
    const std::string& Path() const { return path_; }

private:
    void Open();
    void OpenForReading();
    bool MoveAside();
    std::int64_t SaveOnce(const PassRecord& pass, const PassJudgement& judged, bool mayMoveAside);

    struct Db;
    std::unique_ptr<Db> db_;
    std::string path_;
    std::string problem_;
};

}  // namespace tonemark::practice
