// Whole scores as the window shows them: a scale written to its MIDI file, read
// back, engraved, and painted with Bravura. Each picture was looked at and kept
// as a reference; a change that moves ink shows here. With
// TONEMARK_UPDATE_REFERENCES=1 the references are written anew instead.
#include <gtest/gtest.h>

#include "qt/qt_application.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "app/main_form.h"
#include "midifile/reader.h"
#include "midifile/writer.h"
#include "score/qt/score_painter.h"
#include "score/scale_score.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

using testing::EnsureApplication;

class TempDirPlatform : public Platform {
public:
    explicit TempDirPlatform(std::string dir) : dir_(std::move(dir)) {}
    std::string TempDirectory() override { return dir_; }

private:
    std::string dir_;
};

// The score view: the header box at x 0 (92 px wide, 112 high) lies over the
// score picture, which starts at x 86 (132 px high); the first 600 px of the
// score are shown.
constexpr int kHeaderWidth = 92, kHeaderHeight = 112;
constexpr int kScoreLeft = 86, kScoreShown = 600, kScoreHeight = 132;

QImage ScoreView(const Main& m) {
    QImage view(kScoreLeft + kScoreShown, kScoreHeight, QImage::Format_RGB32);
    view.fill(Qt::white);
    QPainter painter(&view);
    painter.drawImage(kScoreLeft, 0, RenderDisplayList(m.PicScore.Ops(), {kScoreShown, kScoreHeight}));
    painter.drawImage(0, 0, RenderDisplayList(m.Pic2.Ops(), {kHeaderWidth, kHeaderHeight}));
    return view;
}

// Pixels whose channels differ by more than `threshold`, as a fraction.
double DifferingFraction(const QImage& a, const QImage& b, int threshold = 64) {
    if (a.size() != b.size()) return 1.0;
    long differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            const int d = std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()),
                                    std::abs(p.blue() - q.blue())});
            if (d > threshold) ++differing;
        }
    }
    return static_cast<double>(differing) / (a.width() * a.height());
}

struct ScaleCase {
    const char* name;
    int entry;  // row of the scale list
    int key;    // 0 = C .. 11 = B
};

class ScoreImagesTest : public ::testing::TestWithParam<ScaleCase> {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    // The state the window sets up when the entry and key are chosen, then the
    // rebuild chain without the synthesiser: file, reading back, engraving.
    ::testing::AssertionResult Engrave(Main& m, const ScaleCase& c) {
        MainState& s = m.state;
        m.ui.List1.listIndex = c.entry;
        s.ScaleIndex = static_cast<std::int16_t>(c.entry);
        s.ScaleSteps = ScaleStepsFor(c.entry);
        s.ScaleLast = static_cast<std::int16_t>(s.ScaleSteps.size() - 1);
        const KeySignature sig = KeySignatureFor(c.entry, c.key);
        s.SharpCount = static_cast<std::int16_t>(sig.sharps);
        s.FlatCount = static_cast<std::int16_t>(sig.flats);
        m.ui.TransLab.caption = std::to_string(c.key);
        m.ui.LabSpeed.caption = "120";
        s.NoteValueTicks = 192;
        s.TimeSigNumerator = 4;
        s.TimeSigDenominator = 4;
        if (!MakeSMF(m)) return ::testing::AssertionFailure() << "MakeSMF: " << m.ui.StatusLine.caption;
        const ReadStatus read = ReadFour(s);
        if (read != ReadStatus::Ok) return ::testing::AssertionFailure() << DescribeReadStatus(read, s.SmfPath);
        s.DeviceReady = true;
        m.Pic2.Clear();
        m.PicScore.Clear();
        PutInScore(m);
        return ::testing::AssertionSuccess();
    }
};

TEST_P(ScoreImagesTest, LooksAsEngravedAndKept) {
    const ScaleCase& c = GetParam();
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    TempDirPlatform platform(temp.path().toStdString());
    Main m;
    m.platform = &platform;
    ASSERT_TRUE(Engrave(m, c));
    const QImage actual = ScoreView(m);

    const QString reference = QString(TONEMARK_TEST_DATA) + "/" + c.name + ".png";
    if (qEnvironmentVariableIntValue("TONEMARK_UPDATE_REFERENCES") == 1) {
        ASSERT_TRUE(actual.save(reference));
        GTEST_SKIP() << "reference written: " << reference.toStdString();
    }
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
    const double differing = DifferingFraction(actual, expected);
    if (differing > 0.005) {
        const QString written = QDir::current().filePath(QString(c.name) + ".actual.png");
        actual.save(written);
        ADD_FAILURE() << c.name << ": " << differing * 100 << " % of the pixels differ from " << reference.toStdString()
                      << "; the picture drawn is " << written.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, ScoreImagesTest,
                         ::testing::Values(ScaleCase{"c_major_in_c", 0, 0}, ScaleCase{"d_melodic_minor", 2, 2},
                                           ScaleCase{"d_whole_tone", 13, 2}, ScaleCase{"triads_in_e", 14, 4},
                                           ScaleCase{"f_blues", 10, 5}),
                         [](const ::testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tonemark
