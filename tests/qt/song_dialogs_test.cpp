// The save and export dialogs answered as a user would: what they propose,
// a name typed without an extension, another format chosen, and cancel.
#include <gtest/gtest.h>

#include "qt/qt_application.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "app/qt/song_dialogs.h"
#include "support/fake_synth.h"
#include "support/take_recording.h"

namespace tonemark {
namespace {

using testing::EnsureApplication;

const QString kPdfFilter = "PDF documents (*.pdf)";
const QString kSvgFilter = "SVG drawings (*.svg)";
const QString kPngFilter = "PNG pictures (*.png)";
const QString kMusicXmlFilter = "MusicXML (*.musicxml)";
const QString kMxlFilter = "Compressed MusicXML (*.mxl)";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SongDialogNames, ASaveGetsMidOnlyWhenTheNameHasNoExtension) {
    EXPECT_EQ(SongFileNameFor("/music/song"), "/music/song.mid");
    EXPECT_EQ(SongFileNameFor("/music/song.midi"), "/music/song.midi");
    EXPECT_EQ(SongFileNameFor("/music/song.MID"), "/music/song.MID");
    EXPECT_EQ(SongFileNameFor("/my.music/song"), "/my.music/song.mid") << "a dot in a folder's name is no extension";
    EXPECT_EQ(SongFileNameFor(""), "") << "cancelled";
}

TEST(SongDialogNames, AnExportsExtensionChoosesItsFormat) {
    EXPECT_EQ(ExportFileNameFor("/s/score.svg", kPdfFilter), "/s/score.svg") << "the typed extension wins";
    EXPECT_EQ(ExportFileNameFor("/s/score.PNG", kPdfFilter), "/s/score.PNG");
    EXPECT_EQ(ExportFileNameFor("/s/score", kSvgFilter), "/s/score.svg") << "none typed: the chosen filter's";
    EXPECT_EQ(ExportFileNameFor("/s/score", kPngFilter), "/s/score.png");
    EXPECT_EQ(ExportFileNameFor("/s/score", kMxlFilter), "/s/score.mxl");
    EXPECT_EQ(ExportFileNameFor("/s/score.MusicXML", kPdfFilter), "/s/score.MusicXML");
    EXPECT_EQ(ExportFileNameFor("/s/score", ""), "/s/score.pdf");
    EXPECT_EQ(ExportFileNameFor("/s/score.jpg", kPngFilter), "/s/score.jpg.pdf") << "an unknown one: PDF";
    EXPECT_EQ(ExportFileNameFor("", kPdfFilter), "");
}

// What the dialog's Save button does (QFileDialog keeps accept() protected).
void Accept(QFileDialog& dialog) { static_cast<QDialog&>(dialog).accept(); }

// Types `path` into the dialog's name box, as a user would. (selectFile()
// leaves the box alone while it has the keyboard focus, which it may or may
// not have by now.)
void TypeName(QFileDialog& dialog, const QString& path) {
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(path);
}

class SongDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        m.platform = &platform;
        synth = testing::InstallFakeSynth(m);
        window = std::make_unique<MainWindow>(m);
        Form_Load(m);
        window->Sync();
        window->show();
        QCoreApplication::processEvents();
        folder = QString::fromStdString(platform.root.string()) + "/chosen";
        QDir().mkpath(folder);
    }
    void TearDown() override { window.reset(); }

    // Answers the next file dialog with `answer` once it is open; whatever the
    // answer does, the dialog is then closed, so the test never waits on it.
    void WhenTheDialogOpens(std::function<void(QFileDialog&)> answer) {
        auto* poll = new QTimer(window.get());
        QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(w);
                if (dialog == nullptr || !dialog->isVisible()) continue;
                poll->stop();
                poll->deleteLater();
                answer(*dialog);
                if (dialog->isVisible()) dialog->reject();
                return;
            }
        });
        poll->start(10);
    }
    QString Shown() const { return qobject_cast<QLabel*>(window->WidgetOf(m.ui.StatusLine))->text(); }
    QString ScorePath() const { return QString::fromStdString(platform.tempDirectory) + "scoretemp.mid"; }
    QString TakePath() const { return QString::fromStdString(platform.tempDirectory) + "madebyme.mid"; }

    testing::TestPlatform platform;
    Main m;
    std::shared_ptr<testing::FakeSynthState> synth;
    std::unique_ptr<MainWindow> window;
    QString folder;
};

TEST_F(SongDialogs, SaveProposesTheTitleInTheSongFolderAndSavesWhereTold) {
    QString directory, proposed;
    QStringList filters;
    WhenTheDialogOpens([&](QFileDialog& dialog) {
        directory = dialog.directory().absolutePath();
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        filters = dialog.nameFilters();
        TypeName(dialog, folder + "/my scale");
        Accept(dialog);
    });
    SaveSongWithDialog(*window, m);
    EXPECT_EQ(directory, QDir(SongFolder()).absolutePath());
    EXPECT_EQ(proposed, "Scala maggiore - DO.mid");
    EXPECT_EQ(filters, QStringList{"MIDI files (*.mid *.midi)"});
    const QString saved = folder + "/my scale.mid";
    EXPECT_EQ(ReadAll(saved), ReadAll(ScorePath()));
    EXPECT_FALSE(ReadAll(saved).isEmpty());
    EXPECT_EQ(Shown(), "Saved as " + saved + ".") << "the window shows the message";
}

TEST_F(SongDialogs, SavingTheTakeMarksItSaved) {
    testing::RecordTake(m, platform, {{0, 0.5, 500.5}, {4, 600.5, 900.5}}, 1200);
    window->Sync();
    ASSERT_FALSE(m.state.TakeSaved);
    QString proposed;
    WhenTheDialogOpens([&](QFileDialog& dialog) {
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        TypeName(dialog, folder + "/take.mid");
        Accept(dialog);
    });
    SaveSongWithDialog(*window, m);
    EXPECT_EQ(proposed, "Recorded SMF - Song 1.mid");
    EXPECT_EQ(ReadAll(folder + "/take.mid"), ReadAll(TakePath()));
    EXPECT_TRUE(m.state.TakeSaved);
}

TEST_F(SongDialogs, CancellingChangesNothing) {
    m.Notify("before");
    window->Sync();
    WhenTheDialogOpens([](QFileDialog& dialog) { dialog.reject(); });
    SaveSongWithDialog(*window, m);
    WhenTheDialogOpens([](QFileDialog& dialog) { dialog.reject(); });
    ExportScoreWithDialog(*window, m);
    EXPECT_EQ(Shown(), "before");
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(SongDialogs, ExportTakesTheFormatOfTheChosenFilter) {
    QString proposed, afterChoosingSvg, chosen;
    QStringList filters;
    WhenTheDialogOpens([&](QFileDialog& dialog) {
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        filters = dialog.nameFilters();
        // The user picks the second format in the filter box.
        auto* formats = dialog.findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(formats, nullptr);
        QTest::keyClick(formats, Qt::Key_Down);
        chosen = dialog.selectedNameFilter();
        afterChoosingSvg = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        TypeName(dialog, folder + "/score");
        Accept(dialog);
    });
    ExportScoreWithDialog(*window, m);
    EXPECT_EQ(proposed, "Scala maggiore - DO.pdf");
    EXPECT_EQ(filters, (QStringList{kPdfFilter, kSvgFilter, kPngFilter, kMusicXmlFilter, kMxlFilter}));
    EXPECT_EQ(chosen, kSvgFilter);
    EXPECT_EQ(afterChoosingSvg, "Scala maggiore - DO.svg") << "the proposed name follows the format";
    const QString exported = folder + "/score.svg";
    EXPECT_TRUE(QSvgRenderer(exported).isValid());
    EXPECT_EQ(Shown(), "Exported the score as " + exported + ".");
}

TEST_F(SongDialogs, ExportIsPdfUnlessToldOtherwise) {
    WhenTheDialogOpens([&](QFileDialog& dialog) {
        TypeName(dialog, folder + "/score");
        Accept(dialog);
    });
    ExportScoreWithDialog(*window, m);
    EXPECT_TRUE(ReadAll(folder + "/score.pdf").startsWith("%PDF-"));
}

// The take as MusicXML, plain or compressed by the name typed; a folder that
// is not there gets the same message as the other formats.
TEST_F(SongDialogs, TheMusicGoesToNotationProgramsByTheNamesExtension) {
    testing::RecordTake(m, platform, {{1, 0.5, 500.5}, {4, 600.5, 900.5}}, 1200);
    window->Sync();
    for (const QString name : {"/take.musicxml", "/take.mxl"}) {
        WhenTheDialogOpens([&](QFileDialog& dialog) {
            TypeName(dialog, folder + name);
            Accept(dialog);
        });
        ExportScoreWithDialog(*window, m);
        EXPECT_EQ(Shown(), "Exported the score as " + folder + name + ".");
    }
    const QByteArray plain = ReadAll(folder + "/take.musicxml");
    EXPECT_TRUE(plain.startsWith("<?xml")) << plain.left(80).toStdString();
    EXPECT_TRUE(plain.contains("<step>C</step><alter>1</alter><octave>4</octave>"));
    const QByteArray zipped = ReadAll(folder + "/take.mxl");
    EXPECT_TRUE(zipped.startsWith("PK\x03\x04"));
    EXPECT_EQ(zipped.mid(30, 8), "mimetype");

    const QString nowhere = folder + "/no such folder/take.mxl";
    WhenTheDialogOpens([&](QFileDialog& dialog) {
        TypeName(dialog, nowhere);
        Accept(dialog);
    });
    ExportScoreWithDialog(*window, m);
    EXPECT_TRUE(Shown().startsWith("Not exported: ")) << Shown().toStdString();
    EXPECT_FALSE(QFileInfo::exists(nowhere));
}

}  // namespace
}  // namespace tonemark
