// The exported score against the window's own painting: a PDF rendered back
// with pdftoppm, an SVG rendered with QSvgRenderer and the PNG, for a scale and
// for a recorded take; and nothing engraved left outside the export.
#include <gtest/gtest.h>

#include "qt/qt_application.h"

#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "score/glyph_table.h"
#include "score/glyphs.h"
#include "score/header.h"
#include "score/qt/score_export.h"
#include "score/qt/score_painter.h"
#include "support/fake_synth.h"
#include "support/take_recording.h"
#include "theory/keys.h"

namespace tonemark {
namespace {

using testing::EnsureApplication;
using testing::PlayedKey;

constexpr std::array<int, 5> kStaffRows = {32, 40, 48, 56, 64};
constexpr double kPopplerCentreTolerance = 0.8;

int Dark(const QImage& image, int x, int y) { return 255 - qGray(image.pixel(x, y)); }

// A picture at twice the window's pixels brought back to them: each pixel the
// mean of its four.
QImage HalfSize(const QImage& big) {
    QImage small(big.width() / 2, big.height() / 2, QImage::Format_RGB32);
    for (int y = 0; y < small.height(); ++y) {
        for (int x = 0; x < small.width(); ++x) {
            int sum = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) sum += qGray(big.pixel(2 * x + dx, 2 * y + dy));
            const int g = (sum + 2) / 4;
            small.setPixel(x, y, qRgb(g, g, g));
        }
    }
    return small;
}

// The window's painting of `area` (its pixels, the pictures' top at y 0): the
// score picture from x 86 and the header box over it.
QImage WindowPainting(const RecordingCanvas& header, const std::vector<DrawOp>& scoreOps, QRect area) {
    QImage image = RenderDisplayList(scoreOps, area.size(), QPoint(-kExportScoreLeft, area.top()));
    QPainter painter(&image);
    painter.drawImage(QPoint(0, -area.top()),
                      RenderDisplayList(header.Ops(), QSize(header.Width(), kExportHeaderHeight)));
    return image;
}

bool IsStaffRow(int windowY) { return std::find(kStaffRows.begin(), kStaffRows.end(), windowY) != kStaffRows.end(); }

// The ink of the marks in a strip of an image, leaving out the staff rows
// every strip has: the box of its clearly dark pixels, and the centre of all
// its ink weighted by darkness (which antialiasing does not move).
struct MarkInk {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    double cx = 0, cy = 0;
    bool Empty() const { return right < 0; }
};

MarkInk MarksIn(const QImage& image, int x0, int x1, int top) {
    MarkInk ink;
    double weight = 0;
    for (int y = 0; y < image.height(); ++y) {
        if (IsStaffRow(y + top)) continue;
        for (int x = x0; x < std::min(x1, image.width()); ++x) {
            const int d = Dark(image, x, y);
            ink.cx += d * x, ink.cy += d * y, weight += d;
            if (d < 96) continue;
            ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
        }
    }
    if (weight > 0) ink.cx /= weight, ink.cy /= weight;
    return ink;
}

// The column ranges where the window has marks (anything but the staff
// lines), each widened by 2 px so that it holds a renderer's antialiasing
// around them; ranges that then touch are one.
std::vector<std::pair<int, int>> MarkRanges(const QImage& window, int top, int fromX, int toX) {
    std::vector<std::pair<int, int>> ranges;
    for (int x = fromX; x < toX; ++x) {
        bool ink = false;
        for (int y = 0; y < window.height() && !ink; ++y) ink = !IsStaffRow(y + top) && Dark(window, x, y) >= 32;
        if (!ink) continue;
        const int from = std::max(fromX, x - 2), to = std::min(toX, x + 3);
        if (!ranges.empty() && from <= ranges.back().second) ranges.back().second = to;
        else ranges.push_back({from, to});
    }
    return ranges;
}

// The export looks like the window: the same size, few pixels far apart
// (antialiasing differs between renderers), and every mark's ink in the same
// place: for each range of columns with marks, the box of its dark pixels
// within a pixel and the centre of its ink within half a pixel (a little
// more for poppler, whose antialiasing has few grey levels and moves the
// centre of a thin bar line or a small digit by up to two thirds of a pixel).
void ExpectLooksLike(const QImage& exported, const QImage& window, int top, int fromX, int toX, const char* what,
                     double centreTolerance = 0.5) {
    ASSERT_EQ(exported.size(), window.size()) << what;
    long far = 0, pixels = 0;
    for (int y = 0; y < window.height(); ++y)
        for (int x = fromX; x < toX; ++x, ++pixels) far += std::abs(Dark(exported, x, y) - Dark(window, x, y)) > 100;
    EXPECT_LT(far, pixels / 200 + 1) << what << ": " << far << " of " << pixels << " pixels differ much";
    const auto ranges = MarkRanges(window, top, fromX, toX);
    EXPECT_GT(ranges.size(), 3u) << what << ": the comparison saw the marks";
    const auto exportedRanges = MarkRanges(exported, top, fromX, toX);
    ASSERT_EQ(exportedRanges.size(), ranges.size())
        << what << ": marks where the window has none, or none where it has";
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        EXPECT_LE(std::abs(exportedRanges[i].first - ranges[i].first), 1)
            << what << ": marks from x " << ranges[i].first;
        EXPECT_LE(std::abs(exportedRanges[i].second - ranges[i].second), 1)
            << what << ": marks to x " << ranges[i].second;
    }
    for (const auto& [from, to] : ranges) {
        const MarkInk a = MarksIn(exported, from, to, top);
        const MarkInk b = MarksIn(window, from, to, top);
        ASSERT_FALSE(a.Empty()) << what << ": marks at x " << from << " to " << to << " are missing";
        EXPECT_LE(std::abs(a.left - b.left), 1) << what << ": marks at x " << from << " to " << to;
        EXPECT_LE(std::abs(a.right - b.right), 1) << what << ": marks at x " << from << " to " << to;
        EXPECT_LE(std::abs(a.top - b.top), 1) << what << ": marks at x " << from << " to " << to;
        EXPECT_LE(std::abs(a.bottom - b.bottom), 1) << what << ": marks at x " << from << " to " << to;
        EXPECT_NEAR(a.cx, b.cx, centreTolerance) << what << ": marks at x " << from << " to " << to;
        EXPECT_NEAR(a.cy, b.cy, centreTolerance) << what << ": marks at x " << from << " to " << to;
    }
}

// The staff lines are whole dark pixel rows where the window has them, not
// smeared over two rows: checked in columns where the window shows only the
// staff.
void ExpectCrispStaff(const QImage& exported, const QImage& window, int top, const char* what) {
    int columns = 0;
    for (int x = 0; x < window.width(); ++x) {
        bool bare = true;
        for (int row : kStaffRows) {
            bare = bare && Dark(window, x, row - top) > 250 && Dark(window, x, row - top - 1) < 5 &&
                   Dark(window, x, row - top + 1) < 5;
        }
        if (!bare) continue;
        ++columns;
        for (int row : kStaffRows) {
            EXPECT_GT(Dark(exported, x, row - top), 200) << what << ": line " << row << " at x " << x;
            EXPECT_LT(Dark(exported, x, row - top - 1), 40) << what << ": above line " << row << " at x " << x;
            EXPECT_LT(Dark(exported, x, row - top + 1), 40) << what << ": below line " << row << " at x " << x;
        }
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(columns, 20) << what;
}

bool HavePdftoppm() { return std::system("command -v pdftoppm >/dev/null 2>&1") == 0; }

QImage RenderPdf(const QString& pdf) {
    const QString prefix = pdf + "-page";
    const QString command = QString("pdftoppm -png -r 96 -singlefile '%1' '%2' 2>&1").arg(pdf, prefix);
    if (std::system(command.toLocal8Bit().constData()) != 0) return {};
    return QImage(prefix + ".png").convertToFormat(QImage::Format_RGB32);
}

QImage RenderSvg(const QString& svg, QSize size) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return {};
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

class ScoreExport : public testing::StartedProgram {
protected:
    void SetUp() override {
        EnsureApplication();
        StartedProgram::SetUp();
        folder = QString::fromStdString(platform.root.string()) + "/exports";
        QDir().mkpath(folder);
    }
    QString Path(const QString& name) const { return folder + "/" + name; }
    void RecordMelody() {
        const std::vector<PlayedKey> melody = {
            {0, 0.5, 500.5}, {3, 750.5, 1000.5}, {4, 1002.5, 1250.5}, {14, 1500.5, 1900.5}};
        testing::RecordTake(m, platform, melody, 2500);
    }
    ScoreExportLayout Layout() const { return LayOutScoreExport(m.Pic2, m.PicScore); }
    QImage Window() const { return WindowPainting(m.Pic2, m.PicScore.Ops(), Layout().area); }

    // Each format written and read back at the window's pixels.
    struct Exported {
        QImage pdf, svg, png;
    };
    Exported ExportAll(const QString& name) {
        const QRect area = Layout().area;
        Exported e;
        EXPECT_EQ(ExportScore(m.Pic2, m.PicScore, Path(name + ".png")), "");
        const QImage png(Path(name + ".png"));
        EXPECT_EQ(png.size(), area.size() * 2) << "the PNG has twice the window's pixels";
        e.png = HalfSize(png.convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(ExportScore(m.Pic2, m.PicScore, Path(name + ".svg")), "");
        QSvgRenderer renderer(Path(name + ".svg"));
        EXPECT_EQ(renderer.viewBox(), QRect(QPoint(0, 0), area.size()));
        e.svg = RenderSvg(Path(name + ".svg"), area.size());
        EXPECT_EQ(ExportScore(m.Pic2, m.PicScore, Path(name + ".pdf")), "");
        if (HavePdftoppm()) e.pdf = RenderPdf(Path(name + ".pdf"));
        return e;
    }

    QString folder;
};

TEST_F(ScoreExport, StandsWhereTheWindowShowsThePictures) {
    EXPECT_EQ(m.ui.PicScore.rect.left, kExportScoreLeft);
    EXPECT_EQ(m.ui.PicScore.rect.top, m.ui.Pic2.rect.top);
    EXPECT_EQ(m.ui.PicScore.rect.height, kExportScoreHeight);
    EXPECT_EQ(m.ui.Pic2.rect.height, kExportHeaderHeight);
    EXPECT_EQ(m.ui.Pic2.rect.width, m.Pic2.Width());
}

TEST_F(ScoreExport, AScaleIsAsWideAsItsEngraving) {
    const ScoreExportLayout layout = Layout();
    // C major: fifteen notes 32 px apart, the end bar after the last.
    double endBarRight = 0;
    for (const TextOp& t : m.PicScore.Texts())
        if (t.text == "u") endBarRight = InkBounds(t)->right;
    ASSERT_GT(endBarRight, 15 * 32);
    EXPECT_GE(layout.scoreWidth, endBarRight + 8) << "paper after the end bar";
    EXPECT_LE(layout.scoreWidth, endBarRight + 24) << "and not much more";
    EXPECT_EQ(layout.area.left(), 0);
    EXPECT_EQ(layout.area.top(), 0) << "nothing stands above C major's picture";
    EXPECT_EQ(layout.area.height(), kExportScoreHeight);
    EXPECT_EQ(layout.area.width() % 4, 0);
    EXPECT_EQ(layout.area.width(), kExportScoreLeft + layout.scoreWidth);
    int cutLines = 0;
    for (const DrawOp& op : layout.scoreOps)
        cutLines += op.kind == DrawOp::Kind::Line && op.line.x2 == layout.scoreWidth;
    EXPECT_EQ(cutLines, 5) << "the staff lines run to the export's edge";
}

TEST_F(ScoreExport, AScaleLooksAsInTheWindowInEveryFormat) {
    const QRect area = Layout().area;
    const QImage window = Window();
    const Exported e = ExportAll("scale");
    ExpectLooksLike(e.png, window, area.top(), 0, area.width(), "PNG");
    ExpectCrispStaff(e.png, window, area.top(), "PNG");
    ExpectLooksLike(e.svg, window, area.top(), 0, area.width(), "SVG");
    ExpectCrispStaff(e.svg, window, area.top(), "SVG");
    if (!HavePdftoppm())
        GTEST_SKIP() << "pdftoppm (Debian package poppler-utils) is not installed: the PDF was not checked";
    ExpectLooksLike(e.pdf, window, area.top(), 0, area.width(), "PDF", kPopplerCentreTolerance);
    ExpectCrispStaff(e.pdf, window, area.top(), "PDF");
}

// The window itself, not only its painter: the part of the export the
// viewport shows unscrolled is the viewport's picture.
TEST_F(ScoreExport, MatchesTheWindowsViewport) {
    m.ui.Line1.visible = false;  // the play cursor is not part of the score
    m.ui.LabNote.visible = false;
    MainWindow window(m);
    window.Sync();
    window.show();
    QCoreApplication::processEvents();
    QWidget* viewport = window.ScoreViewport();
    const QRect picture = window.WidgetOf(m.ui.PicScore)->geometry();
    ASSERT_EQ(picture.left(), kExportScoreLeft);
    const int visibleHeight = viewport->height() - picture.top();
    const QImage shown = viewport->grab(QRect(0, picture.top(), viewport->width(), visibleHeight))
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);

    ASSERT_EQ(ExportScore(m.Pic2, m.PicScore, Path("scale.png")), "");
    const QImage exported = HalfSize(QImage(Path("scale.png")).convertToFormat(QImage::Format_RGB32));
    ASSERT_GE(exported.width(), 500);
    const int width = std::min(exported.width(), shown.width());
    ExpectLooksLike(exported.copy(0, 0, width, visibleHeight), shown.copy(0, 0, width, visibleHeight), 0, 0, width,
                    "viewport");
}

TEST_F(ScoreExport, ATakeEndsWithItsEndMark) {
    RecordMelody();
    ASSERT_EQ(m.state.SmfPath, platform.tempDirectory + "madebyme.mid");
    const ScoreExportLayout layout = Layout();
    EXPECT_LT(layout.area.width(), 400) << "four notes, not the picture's 16383 px";
    const auto endMark = std::find_if(layout.scoreOps.begin(), layout.scoreOps.end(), [](const DrawOp& op) {
        return op.kind == DrawOp::Kind::Text && op.text.text == "\\";
    });
    ASSERT_NE(endMark, layout.scoreOps.end());
    EXPECT_EQ(endMark->text.x, layout.scoreWidth - 8);
    EXPECT_EQ(endMark->text.y, 33);

    const QRect area = layout.area;
    const Exported e = ExportAll("take");
    // Up to the end mark the export is the window's picture...
    const int endZone = 24;
    const QImage window = Window();
    const int body = area.width() - endZone;
    ExpectLooksLike(e.png, window, area.top(), 0, body, "PNG");
    ExpectLooksLike(e.svg, window, area.top(), 0, body, "SVG");
    // ...and its end is the picture's far right end, end mark and all.
    const QImage pictureEnd = RenderDisplayList(m.PicScore.Ops(), QSize(endZone, area.height()),
                                                QPoint(m.PicScore.Width() - endZone, area.top()));
    const QImage exportEnd = e.png.copy(body, 0, endZone, area.height());
    const MarkInk a = MarksIn(exportEnd, 0, endZone, area.top());
    const MarkInk b = MarksIn(pictureEnd, 0, endZone, area.top());
    ASSERT_FALSE(b.Empty());
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    EXPECT_EQ(a.top, b.top);
    EXPECT_EQ(a.bottom, b.bottom);
    if (!HavePdftoppm())
        GTEST_SKIP() << "pdftoppm (Debian package poppler-utils) is not installed: the PDF was not checked";
    ExpectLooksLike(e.pdf, window, area.top(), 0, body, "PDF", kPopplerCentreTolerance);
    const MarkInk p = MarksIn(e.pdf.copy(body, 0, endZone, area.height()), 0, endZone, area.top());
    EXPECT_LE(std::abs(p.left - b.left), 1);
    EXPECT_LE(std::abs(p.right - b.right), 1);
}

// High notes put stems and flags above the picture's top, which the window
// cuts off; the export keeps them. Every mark's ink, painted on a much larger
// picture, falls inside the export.
TEST_F(ScoreExport, NothingEngravedIsCutOff) {
    m.ui.Tonality.value = 11;  // B major: up to B5
    Tonality_Change(m);
    const ScoreExportLayout layout = Layout();
    ASSERT_LT(layout.area.top(), 0) << "B major's top notes stand above the picture";

    std::vector<DrawOp> marks;
    for (const DrawOp& op : m.PicScore.Ops())
        if (!(op.kind == DrawOp::Kind::Line && op.line.x2 >= m.PicScore.Width())) marks.push_back(op);
    constexpr int kAround = 150;
    const QRect everything(0, -kAround, layout.area.width() + kAround, kExportScoreHeight + 2 * kAround);
    const QImage all = WindowPainting(m.Pic2, marks, everything);
    int outside = 0, above = 0;
    for (int y = 0; y < all.height(); ++y) {
        for (int x = 0; x < all.width(); ++x) {
            if (Dark(all, x, y) < 32) continue;
            const QPoint at(x, y + everything.top());
            outside += !layout.area.contains(at);
            above += at.y() < 0;
        }
    }
    EXPECT_GT(above, 5) << "ink above the picture's top was looked for";
    EXPECT_EQ(outside, 0);

    ASSERT_EQ(ExportScore(m.Pic2, m.PicScore, Path("high.png")), "");
    const QImage exported = HalfSize(QImage(Path("high.png")).convertToFormat(QImage::Format_RGB32));
    ExpectLooksLike(exported, Window(), layout.area.top(), 0, layout.area.width(), "PNG");
    int topInk = 0;
    for (int x = 0; x < exported.width(); ++x) topInk += Dark(exported, x, 0) > 32 || Dark(exported, x, 1) > 32;
    EXPECT_EQ(topInk, 0) << "the highest ink stands clear of the export's top edge";
}

// A take as long as the picture: staff and end mark at the window's own
// places, and the PNG, more than 32767 pixels wide, still right at its far end.
TEST_F(ScoreExport, TheWidestTakeIsExportedWhole) {
    RecordingCanvas header(m.Pic2.Width()), score(m.PicScore.Width());
    MainState s;
    s.TimeSigNumerator = s.TimeSigDenominator = 4;
    Intestazione(header, s);
    for (int y : kStaffRows) score.Line(0, y, score.Width(), y, 0, 1);
    for (int x = 32; x + 32 <= score.Width(); x += 1024) score.Text(x, 19, "q", kKeepFont, 16);
    score.Text(16350, -17, "e", kKeepFont, 16);
    score.Text(score.Width() - 8, 33, "\\", kKeepFont, 16);

    const ScoreExportLayout layout = LayOutScoreExport(header, score);
    EXPECT_GE(layout.scoreWidth, score.Width());
    EXPECT_LT(layout.scoreWidth, score.Width() + 4);
    ASSERT_EQ(ExportScore(header, score, Path("long.png")), "");
    const QImage png = QImage(Path("long.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(png.size(), layout.area.size() * 2);
    ASSERT_GT(png.width(), 32767);
    const QImage exported = HalfSize(png);
    const QImage window = WindowPainting(header, layout.scoreOps, layout.area);
    ExpectLooksLike(exported, window, layout.area.top(), 0, layout.area.width(), "PNG");
    ExpectCrispStaff(exported, window, layout.area.top(), "PNG");
}

TEST_F(ScoreExport, AFailedExportSaysWhyAndLeavesNoFile) {
    EXPECT_TRUE(ExportScore(m.Pic2, m.PicScore, Path("missing/score.pdf")).startsWith("cannot write"));
    EXPECT_FALSE(QFile::exists(Path("missing/score.pdf")));
    EXPECT_EQ(ExportScore(m.Pic2, m.PicScore, Path("score.jpg")), "the file name must end in .pdf, .svg or .png");
    EXPECT_FALSE(QFile::exists(Path("score.jpg")));
    EXPECT_EQ(ExportScore(RecordingCanvas(92), RecordingCanvas(100), Path("empty.pdf")), "there is no score to export");
}

// A write that fails half-way (the file-size limit stands in for a full disk)
// leaves an existing file as it was and no part of the new one.
TEST_F(ScoreExport, AWriteThatFailsKeepsTheOldFile) {
    const QString path = Path("score.svg");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older drawing");
    }
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString reason = ExportScore(m.Pic2, m.PicScore, path);
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(reason.isEmpty());
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "an older drawing");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"score.svg"});
}

}  // namespace
}  // namespace tonemark
