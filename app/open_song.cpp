#include "app/open_song.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "midifile/song_import.h"
#include "midifile/take_pipeline.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr char kTakeEntryName[] = "Recorded SMF";
constexpr char kTakeTitle[] = "Recorded SMF: Song 1";
constexpr std::uintmax_t kLargestSongFile = 16u << 20;  // far beyond any song of a few thousand notes

std::string Row(double timeMs, int status, int note, int velocity, const char* description) {
    return std::to_string(static_cast<long long>(timeMs)) + "\t" + std::to_string(status) + "\t" +
           std::to_string(note) + "\t" + std::to_string(velocity) + "\t" + description;
}

// The rows of the take's event log, as the recorder writes them: presses,
// releases, and the two closing rows at the end of the last note.
std::vector<std::string> TakeRowsOf(const ImportedSong& song) {
    std::vector<std::string> rows;
    double end = 0;
    for (const SongKeyEvent& e : song.events) {
        rows.push_back(e.press ? Row(e.timeMs, 144, e.note, e.velocity, "Note ON")
                               : Row(e.timeMs, 128, e.note, 0, "Note OFF"));
        end = std::max(end, e.timeMs);
    }
    rows.push_back(Row(end, 176, 120, 0, "All Sounds OFF"));
    rows.push_back(Row(end, 176, 123, 0, "All Notes OFF"));
    return rows;
}

bool Refuse(Main& m, const std::string& path, const std::string& why) {
    const std::string shown = m.ui.StatusLine.caption;
    m.Notify(path + " could not be opened: " + why + "." + (shown.empty() ? "" : " " + shown));
    return false;
}

}  // namespace

bool OpenSongFile(Main& m, const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(path, ec)) return Refuse(m, path, "there is no such file");
    if (fs::is_directory(path, ec)) return Refuse(m, path, "it is a folder");
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kLargestSongFile) return Refuse(m, path, "it is too large for a MIDI file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Refuse(m, path, std::strerror(errno));
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) return Refuse(m, path, std::strerror(errno));

    const ImportedSong song = ImportSmf(bytes);
    if (!song.error.empty()) return Refuse(m, path, song.error);

    // Handed over as the recorder's "Stop" hands over a take: the take entry
    // chosen runs the take pipeline on these rows.
    const std::vector<std::string> rows = TakeRowsOf(song);
    const Control& speed = m.ui.SpeedValue;
    m.state.TakeTempoBPM = static_cast<std::int16_t>(std::clamp(song.tempoBpm, speed.min, speed.max));
    m.state.RecTicks.assign(2, 0);  // the sign that there is a take
    m.state.TakeSaved = true;       // it is on disk already, as the user's file
    auto& entries = m.ui.List1.rows;
    if (entries.size() > kTakeEntry) entries.erase(entries.begin() + kTakeEntry, entries.end());
    entries.push_back(kTakeEntryName);
    m.ui.Labella.caption = kTakeTitle;
    m.ui.List2.rows.clear();
    m.ui.List2.listIndex = -1;
    m.ui.List3.rows = rows;
    m.ui.List1.listIndex = kTakeEntry;
    List1_Click(m);
    if (!TakeOnShow(m)) return false;  // the pipeline said why in the message line

    const auto notes = std::count_if(song.events.begin(), song.events.end(), [](const SongKeyEvent& e) { return e.press; });
    std::string said = "Opened " + path + ": " + std::to_string(notes) + (notes == 1 ? " note" : " notes");
    if (song.notesLeftOut > 0)
        said += " (the first " + std::to_string(kLongestImport) + "; " + std::to_string(song.notesLeftOut) +
                " more are left out)";
    said += ", shown and played as the take.";
    const std::string shown = m.ui.StatusLine.caption;
    m.Notify(said + (shown.empty() ? "" : " " + shown));
    return true;
}

}  // namespace tonemark
