// The MusicXML export checked by programs that read it: xmllint against the
// official MusicXML 4.0 schema, and Verovio, which opens the file as a
// notation program does and tells what it draws and plays.
#include "music/musicxml_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/music_songs.h"
#include "support/temp_path.h"
#include "theory/keys.h"

namespace tonemark {
namespace {

namespace fs = std::filesystem;

struct Output {
    int status = -1;
    std::string text;  // standard output and error
};

Output RunCommand(const std::string& command) {
    Output out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe) return out;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) out.text += buffer;
    const int status = pclose(pipe.release());
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// A note as Verovio gives it back (see verovio_notes.cjs).
struct ReadNote {
    int sounding = 0, read = 0;
    std::string step;
    int octave = 0;
    double onset = 0, duration = 0;  // quarter notes
    std::string written;            // Verovio's accidental code, "-" for none
};

// Fails the test, saying what is missing, when Verovio cannot be run.
std::vector<ReadNote> ReadWithVerovio(const fs::path& file) {
    std::vector<ReadNote> notes;
    if (RunCommand("command -v node").status != 0) {
        ADD_FAILURE() << "node is needed to run Verovio (Debian package nodejs)";
        return notes;
    }
    if (!fs::exists(fs::path(TONEMARK_VEROVIO_DIR) / "package.json")) {
        ADD_FAILURE() << "Verovio is not installed in " << TONEMARK_VEROVIO_DIR << ": run scripts/fetch-verovio.sh";
        return notes;
    }
    const Output out = RunCommand("node " + Quoted(TONEMARK_VEROVIO_NOTES) + " " + Quoted(TONEMARK_VEROVIO_DIR) + " " +
                           Quoted(file.string()));
    if (out.status != 0) {
        ADD_FAILURE() << "Verovio could not read " << file << ":\n" << out.text;
        return notes;
    }
    std::istringstream lines(out.text);
    std::string word;
    std::size_t count = 0;
    lines >> word >> count;
    EXPECT_EQ(word, "notes") << out.text;
    ReadNote n;
    while (lines >> n.sounding >> n.read >> n.step >> n.octave >> n.onset >> n.duration >> n.written)
        notes.push_back(n);
    EXPECT_EQ(notes.size(), count) << out.text;
    return notes;
}

const char* VerovioSign(ShownAccidental shown) {
    switch (shown) {
        case ShownAccidental::Sharp: return "s";
        case ShownAccidental::Flat: return "f";
        case ShownAccidental::Natural: return "n";
        case ShownAccidental::None: break;
    }
    return "-";
}

class MusicXmlExport : public testing::StartedProgram {
protected:
    fs::path Export(const std::string& name) {
        const fs::path path = testing::TestTempPath(name);
        written.push_back(path);
        EXPECT_EQ(ExportMusicXml(m.music, path.string()), "");
        return path;
    }
    void TearDown() override {
        std::error_code ec;
        for (const fs::path& path : written) fs::remove(path, ec);
    }

    // Verovio reads back every note of the model, in order, with its pitch as
    // it sounds and as a musician reads the notation, its spelling, and the
    // signs the score shows; `onsets` and `durations` are in quarter notes.
    std::vector<ReadNote> ExpectVerovioReads(const fs::path& file, const std::vector<double>& onsets,
                                             const std::vector<double>& durations, bool onlyShownSigns = true) {
        SCOPED_TRACE(file.string());
        const std::vector<ReadNote> read = ReadWithVerovio(file);
        EXPECT_EQ(read.size(), m.music.notes.size());
        if (read.size() != m.music.notes.size()) return read;
        for (std::size_t k = 0; k < read.size(); ++k) {
            SCOPED_TRACE("note " + std::to_string(k));
            const ModelNote& note = m.music.notes[k];
            EXPECT_EQ(read[k].sounding, note.pitch);
            EXPECT_EQ(read[k].read, note.pitch) << "the notation reads as the note sounds";
            EXPECT_EQ(read[k].step, std::string(1, note.spelling.step));
            EXPECT_EQ(read[k].octave, note.spelling.octave);
            EXPECT_DOUBLE_EQ(read[k].onset, onsets[k]);
            EXPECT_DOUBLE_EQ(read[k].duration, durations[k]);
            if (onlyShownSigns || note.shown != ShownAccidental::None) EXPECT_EQ(read[k].written, VerovioSign(note.shown));
        }
        return read;
    }

    std::vector<fs::path> written;
};

TEST_F(MusicXmlExport, TheSchemaAcceptsAScaleAndATake) {
    const std::string schema = TONEMARK_MUSICXML_SCHEMA_DIR;
    ASSERT_FALSE(schema.empty()) << "the MusicXML 4.0 schema was not found beside the repository "
                                    "(../shared/musicxml-4.0); configure with -DTONEMARK_MUSICXML_SCHEMA_DIR=...";
    ASSERT_EQ(RunCommand("command -v xmllint").status, 0) << "xmllint is needed (Debian package libxml2-utils)";
    // Eighths: the last note crosses the bar line and is tied.
    testing::ShowHarmonicMinorInC(m, 96);
    const fs::path scale = Export("scale.musicxml");
    testing::RecordTestTake(m, platform);
    const fs::path take = Export("take.musicxml");
    for (const fs::path& file : {scale, take}) {
        const Output out = RunCommand("XML_CATALOG_FILES=" + Quoted(schema + "/catalog.xml") + " xmllint --noout --nonet --schema " +
                               Quoted(schema + "/musicxml.xsd") + " " + Quoted(file.string()));
        EXPECT_EQ(out.status, 0) << out.text;
    }
}

TEST_F(MusicXmlExport, VerovioReadsTheScaleAndTheTriads) {
    testing::ShowHarmonicMinorInC(m, 96);
    std::vector<double> onsets, durations;
    for (int k = 0; k < 15; ++k) {
        onsets.push_back(0.5 * k);
        durations.push_back(k == 14 ? 2.0 : 0.5);  // the last, a half note, tied over the bar line
    }
    ExpectVerovioReads(Export("scale.musicxml"), onsets, durations);
    ExpectVerovioReads(Export("scale.mxl"), onsets, durations);

    testing::ShowTriadsInD(m);
    onsets.clear();
    durations.clear();
    for (int k = 0; k < 45; ++k) {
        onsets.push_back(k / 3);
        durations.push_back(k / 3 == 14 ? 2.0 : 1.0);
    }
    ExpectVerovioReads(Export("triads.mxl"), onsets, durations);
}

// The take on a grid of sixteenths, as it was played (see RecordTestTake):
// the D held into the E ends where the E starts, and the F sharp is tied over
// the bar line. In C the signs are the score's; a tone higher the D after the
// D sharp, in the same bar, needs a natural that the take's score, which has
// no bar lines, does not show.
TEST_F(MusicXmlExport, VerovioReadsTheTakeAsPlayed) {
    testing::RecordTestTake(m, platform);
    const std::vector<double> onsets = {0, 2, 2.5, 3.5, 7}, durations = {0.75, 0.5, 1, 0.5, 2};
    ExpectVerovioReads(Export("take.musicxml"), onsets, durations);
    ExpectVerovioReads(Export("take.mxl"), onsets, durations);

    m.ui.Tonality.value = 2;
    Tonality_Change(m);
    ASSERT_EQ(m.music.notes.size(), 5u);
    EXPECT_EQ(m.music.notes[3].pitch, 62);
    EXPECT_EQ(m.music.notes[3].shown, ShownAccidental::None);
    const std::vector<ReadNote> read = ExpectVerovioReads(Export("take-in-d.musicxml"), onsets, durations, false);
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[3].written, "n");
}

TEST_F(MusicXmlExport, AFileThatCannotBeWrittenSaysWhy) {
    const fs::path nowhere = testing::TestTempPath("missing") / "scale.musicxml";
    EXPECT_NE(ExportMusicXml(m.music, nowhere.string()), "");
    EXPECT_FALSE(fs::exists(nowhere));
    EXPECT_EQ(ExportMusicXml(MusicModel{}, testing::TestTempPath("empty.musicxml").string()),
              "there are no notes to export");
}

}  // namespace
}  // namespace tonemark
