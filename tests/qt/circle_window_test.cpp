// The circle-of-fifths window on the offscreen platform, beside a main window
// on a fake synthesiser.
#include <gtest/gtest.h>

#include "qt/started_window.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "score/qt/score_painter.h"
#include "support/fake_synth.h"
#include "theory/keys.h"
#include "theory/qt/circle_window.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

class CircleWindowTest : public testing::StartedWindow {
protected:
    void TearDown() override {
        if (CircleWindow* circle = CircleWindow::Current()) circle->close();
        StartedWindow::TearDown();
        DeleteClosedWindows();
    }

    static void DeleteClosedWindows() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static int OpenCircles() {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (dynamic_cast<CircleWindow*>(w) != nullptr && w->isVisible()) ++count;
        return count;
    }

    static QWidget* Area(CircleWindow* circle, int index) {
        return circle->findChild<QWidget*>(QString("Image1_%1").arg(index));
    }

    QString MainTitle() const { return qobject_cast<QLabel*>(window->WidgetOf(m.ui.Labella))->text(); }

};

TEST_F(CircleWindowTest, OpensAsAWindowOfItsOwnWithTheDesignedControls) {
    CircleWindow* circle = CircleWindow::Open(*window);
    ASSERT_NE(circle, nullptr);
    EXPECT_TRUE(circle->isWindow());
    EXPECT_EQ(circle->parentWidget(), nullptr) << "no owner window";
    EXPECT_FALSE(circle->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the main window is not blocked";
    EXPECT_TRUE(circle->isVisible());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(circle->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(circle->windowTitle(), "CICLO DELLE QUARTE E DELLE QUINTE");
    EXPECT_EQ(circle->size(), QSize(678, 561));

    for (const char* name : {"Label1", "Label2"}) {
        auto* label = circle->findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), QString::fromUtf8("Cliccare su una tonalit\xC3\xA0"));
    }
    EXPECT_EQ(circle->findChild<QLabel*>("Label1")->geometry(), QRect(14, 18, 123, 25));
    EXPECT_EQ(circle->findChild<QLabel*>("Label2")->geometry(), QRect(550, 18, 123, 25));
    auto* close = circle->findChild<QPushButton*>("Command1");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "Close");
    EXPECT_EQ(close->geometry().top(), 510);
    EXPECT_EQ(close->size(), QSize(91, 33));
    EXPECT_LE(std::abs(close->geometry().left() - (678 - close->geometry().right() - 1)), 1) << "centred";
    for (int i = 0; i < kCircleKeys; ++i) {
        const Rect r = circle->Form().Image1[static_cast<size_t>(i)].rect;
        ASSERT_NE(Area(circle, i), nullptr) << i;
        EXPECT_EQ(Area(circle, i)->geometry(), QRect(r.left, r.top, r.width, r.height)) << i;
    }
}

TEST_F(CircleWindowTest, PaintsTheCircleDrawingAtItsTopLeftOnWhite) {
    CircleWindow* circle = CircleWindow::Open(*window);
    const QImage shown = circle->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(678, 561));
    const QImage drawing = RenderDisplayList(circle->Form().picture.Ops(), QSize(678, 505));
    // Under every click area the window shows the drawing pixel for pixel.
    int ink = 0;
    for (const Control& area : circle->Form().Image1) {
        for (int y = area.rect.top; y < area.rect.top + area.rect.height; ++y)
            for (int x = area.rect.left; x < area.rect.left + area.rect.width; ++x) {
                ASSERT_EQ(shown.pixel(x, y), drawing.pixel(x, y)) << "area " << area.index << " at " << x << "," << y;
                ink += qGray(drawing.pixel(x, y)) < 128;
            }
    }
    EXPECT_GT(ink, 2000) << "names, staves and signatures";
    EXPECT_EQ(shown.pixel(660, 490), qRgb(255, 255, 255));
    EXPECT_EQ(shown.pixel(5, 540), qRgb(255, 255, 255));
}

// The names are measured in the font the window really draws them with.
TEST_F(CircleWindowTest, NamesFitInsideTheirAreasInTheRealFont) {
    CircleWindow* circle = CircleWindow::Open(*window);
    int names = 0;
    for (const TextOp& t : circle->Form().picture.Texts()) {
        if (t.font == "Keep") continue;
        QFont font(QString::fromStdString(t.font));
        font.setPixelSize(qRound(t.points * 4.0 / 3.0));
        const QFontMetricsF metrics(font);
        const QRectF ink = metrics.boundingRect(QString::fromUtf8(t.text)).translated(t.x, t.y + metrics.ascent());
        for (const Control& area : circle->Form().Image1) {
            const QRectF r(area.rect.left, area.rect.top, area.rect.width, area.rect.height);
            if (!r.contains(QPointF(t.x, t.y))) continue;
            ++names;
            EXPECT_TRUE(r.contains(ink)) << t.text << " in area " << area.index;
        }
    }
    EXPECT_EQ(names, 9 * 2 + 3 * 6) << "major and minor; at the bottom both spellings and two \"=\"";
}

TEST_F(CircleWindowTest, ClickingAKeyShowsItsMajorScaleAndClosesTheCircle) {
    m.ui.List1.listIndex = 3;  // "Scala minore armonica" on DO
    window->Handle(List1_Click);

    QPointer<CircleWindow> circle = CircleWindow::Open(*window);
    QTest::mouseClick(Area(circle, 6), Qt::LeftButton);
    EXPECT_EQ(m.state.ScaleIndex, 0);
    EXPECT_EQ(MainTitle(), "Scala maggiore: SOLb - FA#");
    EXPECT_EQ(qobject_cast<QScrollBar*>(window->WidgetOf(m.ui.Tonality))->value(), -6) << "the bar shows key 6";
    EXPECT_EQ(qobject_cast<QLabel*>(window->WidgetOf(m.ui.TransLab))->text(), "6");
    EXPECT_EQ(m.state.FlatCount, 6);
    EXPECT_EQ(m.state.NoteEvents.front().NoteNumber, 66);
    ASSERT_FALSE(circle.isNull());
    EXPECT_FALSE(circle->isVisible());
    DeleteClosedWindows();
    EXPECT_TRUE(circle.isNull()) << "the window is unloaded";
    EXPECT_EQ(CircleWindow::Current(), nullptr);

    // Opened again, it starts afresh, and the next key is a fifth up from C.
    circle = CircleWindow::Open(*window);
    QTest::mouseClick(Area(circle, 11), Qt::LeftButton);
    EXPECT_EQ(MainTitle(), "Scala maggiore: SOL");
    EXPECT_EQ(m.state.SharpCount, 1);
}

TEST_F(CircleWindowTest, CloseChangesNothingInTheMainWindow) {
    m.ui.List1.listIndex = 1;
    window->Handle(List1_Click);
    m.ui.Tonality.value = 3;
    window->Handle(Tonality_Change);
    const QString title = MainTitle();
    ASSERT_EQ(title, "Scala minore naturale: MIb - RE#");
    const size_t synthCalls = synth->calls.size();
    const std::vector<NoteEvent> notes = m.state.NoteEvents;
    const std::int16_t flats = m.state.FlatCount, sharps = m.state.SharpCount;

    QPointer<CircleWindow> circle = CircleWindow::Open(*window);
    // A click between the keys, on the ring, is no key.
    QTest::mouseClick(circle, Qt::LeftButton, {}, QPoint(345, 236));
    EXPECT_TRUE(circle->isVisible());
    QTest::mouseClick(circle->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    EXPECT_FALSE(circle->isVisible());
    DeleteClosedWindows();
    EXPECT_TRUE(circle.isNull());

    EXPECT_EQ(MainTitle(), title);
    EXPECT_EQ(m.ui.Tonality.value, 3);
    EXPECT_EQ(m.state.ScaleIndex, 1);
    EXPECT_EQ(m.state.FlatCount, flats);
    EXPECT_EQ(m.state.SharpCount, sharps);
    EXPECT_EQ(m.state.NoteEvents.size(), notes.size());
    EXPECT_EQ(synth->calls.size(), synthCalls) << "nothing was stopped, rebuilt or loaded";
}

TEST_F(CircleWindowTest, OpeningAgainBringsTheOpenWindowToTheFront) {
    CircleWindow* first = CircleWindow::Open(*window);
    CircleWindow* second = CircleWindow::Open(*window);
    EXPECT_EQ(first, second);
    EXPECT_EQ(OpenCircles(), 1);
    EXPECT_EQ(CircleWindow::Current(), first);

    first->close();
    EXPECT_EQ(CircleWindow::Current(), nullptr);
    EXPECT_EQ(OpenCircles(), 0);
    CircleWindow::Open(*window);
    EXPECT_EQ(OpenCircles(), 1);
}

TEST_F(CircleWindowTest, DoesNotOutliveTheMainWindow) {
    QPointer<CircleWindow> circle = CircleWindow::Open(*window);
    window.reset();
    ASSERT_FALSE(circle.isNull());
    EXPECT_FALSE(circle->isVisible());
    DeleteClosedWindows();
    EXPECT_TRUE(circle.isNull());
}

}  // namespace
}  // namespace tonemark
