#include "app/qt/song_dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include "app/qt/main_window.h"
#include "app/song_files.h"
#include "music/musicxml_writer.h"
#include "score/qt/score_export.h"

namespace tonemark {
namespace {

const char kMidiFilter[] = "MIDI files (*.mid *.midi)";
const QStringList kExportFilters = {"PDF documents (*.pdf)", "SVG drawings (*.svg)", "PNG pictures (*.png)",
                                    "MusicXML (*.musicxml)", "Compressed MusicXML (*.mxl)"};
const QStringList kExportFormats = {"pdf", "svg", "png", "musicxml", "mxl"};
const QStringList kMusicFormats = {"musicxml", "mxl"};

// The picture of the score, or the music itself for notation programs.
QString Export(const Main& m, const QString& path) {
    if (kMusicFormats.contains(QFileInfo(path).suffix().toLower()))
        return QString::fromStdString(ExportMusicXml(m.music, QFile::encodeName(path).toStdString()));
    return ExportScore(m.Pic2, m.PicScore, path);
}

// The first extension a filter names: "pdf" for "PDF documents (*.pdf)".
QString FilterExtension(const QString& filter) {
    const QRegularExpressionMatch match = QRegularExpression(R"(\*\.(\w+))").match(filter);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

QString WithExtension(const QString& name, const QString& extension) {
    return QFileInfo(name).completeBaseName() + "." + extension;
}

struct Choice {
    QString file;  // empty when the user cancelled
    QString filter;
};

// A save dialog in the song folder with `name` proposed. A name typed without
// an extension gets the chosen filter's before the dialog checks whether the
// file exists.
Choice AskWhereToSave(MainWindow& window, const QString& caption, const QString& name, const QStringList& filters) {
    QFileDialog dialog(&window, caption, SongFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(FilterExtension(filters.first()));
    // (The dialog itself changes the extension of a name already typed.)
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) { dialog.setDefaultSuffix(FilterExtension(filter)); });
    dialog.selectFile(name);
    const int answer = dialog.exec();
    // The keyboard goes back to the main window, window manager or not, so
    // that its keys and shortcuts work at once.
    window.activateWindow();
    if (answer != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return {dialog.selectedFiles().first(), dialog.selectedNameFilter()};
}

}  // namespace

QString SongFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir()) return music;
    return QDir::homePath();
}

QString SongFileNameFor(const QString& chosen) {
    if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty()) return chosen;
    return chosen + ".mid";
}

QString ExportFileNameFor(const QString& chosen, const QString& selectedFilter) {
    if (chosen.isEmpty()) return chosen;
    const QString suffix = QFileInfo(chosen).suffix();
    if (kExportFormats.contains(suffix.toLower())) return chosen;
    if (suffix.isEmpty()) {
        const QString extension = FilterExtension(selectedFilter);
        return chosen + "." + (kExportFormats.contains(extension) ? extension : QString("pdf"));
    }
    return chosen + ".pdf";
}

void SaveSongWithDialog(MainWindow& window, Main& m) {
    if (m.state.SmfPath.empty()) {
        window.Handle([](Main& program) { program.Notify("There is no song to save."); });
        return;
    }
    const QString name = QString::fromStdString(ProposedSongFileName(m));
    const Choice choice = AskWhereToSave(window, "Save the song", name, {kMidiFilter});
    if (choice.file.isEmpty()) return;
    const std::string destination = QFile::encodeName(SongFileNameFor(choice.file)).toStdString();
    window.Handle([destination](Main& program) { SaveSongCopy(program, destination); });
}

void ExportScoreWithDialog(MainWindow& window, Main& m) {
    const QString name = WithExtension(QString::fromStdString(ProposedSongFileName(m)), "pdf");
    const Choice choice = AskWhereToSave(window, "Export the score", name, kExportFilters);
    if (choice.file.isEmpty()) return;
    const QString destination = ExportFileNameFor(choice.file, choice.filter);
    window.Handle([destination](Main& program) {
        BusyCursor busy(*program.platform);
        const QString reason = Export(program, destination);
        if (reason.isEmpty()) program.Notify("Exported the score as " + destination.toStdString() + ".");
        else program.Notify("Not exported: " + reason.toStdString() + ".");
    });
}

}  // namespace tonemark
