#include "app/qt/practice_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/main_form.h"
#include "app/qt/main_window.h"
#include "practice/session.h"

namespace tonemark {
namespace {

QPointer<PracticeWindow> openWindow;

QString Join(const std::vector<std::string>& lines) {
    QStringList all;
    for (const std::string& line : lines) all << QString::fromStdString(line);
    return all.join('\n');
}

QString OffsetText(const PracticeState& p) {
    if (!p.offsetTapped) return "Offset: 0 ms (not tapped yet)";
    return QString("Offset: %1%2 ms").arg(p.offsetMs >= 0 ? "+" : "").arg(p.offsetMs, 0, 'f', 0);
}

}  // namespace

PassChart::PassChart(QWidget* parent) : QWidget(parent) {
    setMinimumSize(300, 150);
    setObjectName("PracticeChart");
}

void PassChart::SetPoints(std::vector<practice::PassPoint> points) {
    points_ = std::move(points);
    update();
}

void PassChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::white);
    const QRectF plot(44, 20, width() - 88, height() - 42);
    p.setPen(QColor(170, 170, 170));
    p.drawRect(plot);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    const QColor rightColour(20, 130, 60), errorColour(200, 80, 20);
    p.setPen(rightColour);
    p.drawText(QRectF(0, 2, width() / 2.0, 16), Qt::AlignLeft | Qt::AlignVCenter, " notes right %");
    p.setPen(errorColour);
    p.drawText(QRectF(width() / 2.0, 2, width() / 2.0, 16), Qt::AlignRight | Qt::AlignVCenter, "p90 |onset error| ms ");
    if (points_.empty()) {
        p.setPen(Qt::gray);
        p.drawText(plot, Qt::AlignCenter, "No passes of this material yet");
        return;
    }
    double maxError = 50;
    for (const auto& pt : points_)
        if (std::isfinite(pt.p90AbsErrorMs)) maxError = std::max(maxError, pt.p90AbsErrorMs);
    maxError = std::ceil(maxError / 50) * 50;
    const int n = static_cast<int>(points_.size());
    auto xAt = [&](int i) { return n == 1 ? plot.center().x() : plot.left() + plot.width() * i / (n - 1); };
    // Scales: 0..100 % on the left, 0..maxError ms on the right.
    p.setPen(rightColour);
    p.drawText(QRectF(0, plot.top() - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter, "100");
    p.drawText(QRectF(0, plot.bottom() - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter, "0");
    p.setPen(errorColour);
    p.drawText(QRectF(plot.right() + 4, plot.top() - 8, 40, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QString::number(maxError, 'f', 0));
    p.drawText(QRectF(plot.right() + 4, plot.bottom() - 8, 40, 16), Qt::AlignLeft | Qt::AlignVCenter, "0");
    p.setPen(Qt::darkGray);
    p.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), 18), Qt::AlignCenter,
               QString("the last %1 pass%2, oldest left").arg(n).arg(n == 1 ? "" : "es"));
    QPainterPath right, error;
    bool errorStarted = false;
    for (int i = 0; i < n; ++i) {
        const auto& pt = points_[static_cast<std::size_t>(i)];
        const double share = pt.expected > 0 ? static_cast<double>(pt.right) / pt.expected : 0;
        const QPointF r(xAt(i), plot.bottom() - plot.height() * share);
        i == 0 ? right.moveTo(r) : right.lineTo(r);
        if (std::isfinite(pt.p90AbsErrorMs)) {
            const QPointF e(xAt(i), plot.bottom() - plot.height() * std::min(pt.p90AbsErrorMs / maxError, 1.0));
            errorStarted ? error.lineTo(e) : error.moveTo(e);
            errorStarted = true;
        } else {
            errorStarted = false;  // a pass with no note right has no error: the line breaks there
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(rightColour, 2));
    p.drawPath(right);
    p.setPen(QPen(errorColour, 2, Qt::DashLine));
    p.drawPath(error);
    for (int i = 0; i < n; ++i) {
        const auto& pt = points_[static_cast<std::size_t>(i)];
        const double share = pt.expected > 0 ? static_cast<double>(pt.right) / pt.expected : 0;
        p.setPen(Qt::NoPen);
        p.setBrush(rightColour);
        p.drawEllipse(QPointF(xAt(i), plot.bottom() - plot.height() * share), 3, 3);
        if (std::isfinite(pt.p90AbsErrorMs)) {
            p.setBrush(errorColour);
            p.drawEllipse(QPointF(xAt(i), plot.bottom() - plot.height() * std::min(pt.p90AbsErrorMs / maxError, 1.0)), 3,
                          3);
        }
    }
}

PracticeWindow::PracticeWindow(MainWindow& main, Main& m) : QWidget(nullptr), main_(main), m_(m) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("PracticeWindow");
    setWindowTitle("Tonemark: Practice");
    // The computer keyboard plays the music keys here as in the main window.
    setProperty("playsMusicKeys", true);
    MakeControls();
    // The window reaches into the main window's record: it must not outlive it.
    connect(&main_, &QObject::destroyed, this, &QWidget::close);
    Refresh();
}

void PracticeWindow::MakeControls() {
    auto* layout = new QVBoxLayout(this);

    auto* modes = new QGroupBox("Mode", this);
    auto* modeRow = new QHBoxLayout(modes);
    keepGoing_ = new QRadioButton("Keep going", modes);
    keepGoing_->setObjectName("PracticeKeepGoing");
    waitForMe_ = new QRadioButton("Wait for me", modes);
    waitForMe_->setObjectName("PracticeWaitForMe");
    hearItToo_ = new QCheckBox("Hear it too", modes);
    hearItToo_->setObjectName("PracticeHearItToo");
    modeRow->addWidget(keepGoing_);
    modeRow->addWidget(waitForMe_);
    modeRow->addWidget(hearItToo_);
    modeRow->addStretch();
    layout->addWidget(modes);

    auto* tempoRow = new QHBoxLayout;
    tempoRow->addWidget(new QLabel("Tempo (BPM):", this));
    tempo_ = new QSpinBox(this);
    tempo_->setObjectName("PracticeTempo");
    tempo_->setRange(20, 300);
    tempoRow->addWidget(tempo_);
    tapAlong_ = new QPushButton("Tap along", this);
    tapAlong_->setObjectName("PracticeTapAlong");
    tempoRow->addWidget(tapAlong_);
    offset_ = new QLabel(this);
    offset_->setObjectName("PracticeOffset");
    tempoRow->addWidget(offset_);
    tempoRow->addStretch();
    layout->addLayout(tempoRow);

    auto* better = new QHBoxLayout;
    loopWeakest_ = new QCheckBox("Loop the weakest bar", this);
    loopWeakest_->setObjectName("PracticeLoopWeakest");
    stepUp_ = new QCheckBox("Step up", this);
    stepUp_->setObjectName("PracticeStepUp");
    better->addWidget(loopWeakest_);
    better->addWidget(stepUp_);
    better->addStretch();
    layout->addLayout(better);

    auto* run = new QHBoxLayout;
    start_ = new QPushButton("Start (Ctrl+P)", this);
    start_->setObjectName("PracticeStart");
    stop_ = new QPushButton("Stop (Esc)", this);
    stop_->setObjectName("PracticeStop");
    progress_ = new QLabel(this);
    progress_->setObjectName("PracticeProgress");
    run->addWidget(start_);
    run->addWidget(stop_);
    run->addWidget(progress_, 1);
    layout->addLayout(run);

    summary_ = new QLabel(this);
    summary_->setObjectName("PracticeSummary");
    summary_->setWordWrap(true);
    summary_->setMinimumHeight(100);
    summary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summary_);

    chart_ = new PassChart(this);
    layout->addWidget(chart_, 1);

    connect(keepGoing_, &QRadioButton::toggled, this, [this](bool on) {
        if (!refreshing_ && on) main_.Handle([](Main& m) { SetPracticeMode(m, PracticeMode::KeepGoing); });
    });
    connect(waitForMe_, &QRadioButton::toggled, this, [this](bool on) {
        if (!refreshing_ && on) main_.Handle([](Main& m) { SetPracticeMode(m, PracticeMode::WaitForMe); });
    });
    connect(hearItToo_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_) main_.Handle([on](Main& m) { m.practice.options.hearItToo = on; });
    });
    connect(loopWeakest_, &QCheckBox::toggled, this, [this](bool on) {
        if (refreshing_) return;
        main_.Handle([on](Main& m) {
            m.practice.options.loopWeakest = on;
            m.practice.loopBar.reset();
        });
    });
    connect(stepUp_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_) main_.Handle([on](Main& m) { m.practice.options.stepUp = on; });
    });
    connect(tempo_, &QSpinBox::valueChanged, this, [this](int bpm) {
        if (!refreshing_) main_.Handle([bpm](Main& m) { SetPracticeBpm(m, bpm); });
    });
    // Pending events run during a handler and may close this window.
    connect(start_, &QPushButton::clicked, this, [this] { main_.Handle([](Main& m) { StartPracticePass(m); }); });
    connect(stop_, &QPushButton::clicked, this, [this] { main_.Handle(StopPractice); });
    connect(tapAlong_, &QPushButton::clicked, this, [this] { main_.Handle(StartTapAlong); });
    auto* startKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    connect(startKey, &QShortcut::activated, this, [this] { main_.Handle([](Main& m) { StartPracticePass(m); }); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { main_.Handle(PracticeEscape); });
    // Buttons keep no focus, so that letters go to the music keys, not to them.
    for (QWidget* w : {static_cast<QWidget*>(start_), static_cast<QWidget*>(stop_), static_cast<QWidget*>(tapAlong_),
                       static_cast<QWidget*>(keepGoing_), static_cast<QWidget*>(waitForMe_),
                       static_cast<QWidget*>(hearItToo_), static_cast<QWidget*>(loopWeakest_),
                       static_cast<QWidget*>(stepUp_)})
        w->setFocusPolicy(Qt::NoFocus);
    // The tempo field takes the keys only when clicked into; otherwise the
    // window itself has the focus and every letter plays.
    tempo_->setFocusPolicy(Qt::ClickFocus);
    setFocusPolicy(Qt::StrongFocus);
}

PracticeWindow* PracticeWindow::Open(MainWindow& main, Main& m) {
    if (openWindow && openWindow->isVisible()) {
        openWindow->raise();
        openWindow->activateWindow();
        return openWindow;
    }
    openWindow = new PracticeWindow(main, m);
    openWindow->resize(440, 480);
    // Beside the main window, not over its score or keys, where the screen has room.
    if (QScreen* screen = main.screen()) {
        const QRect area = screen->availableGeometry();
        const QRect mainFrame = main.frameGeometry();
        QPoint at(mainFrame.right() + 8, mainFrame.top());
        if (at.x() + openWindow->width() > area.right()) at.setX(mainFrame.left() - 8 - openWindow->width());
        at.setX(std::max(at.x(), area.left()));
        openWindow->move(at);
    }
    openWindow->show();
    openWindow->setFocus(Qt::OtherFocusReason);
    openWindow->Refresh();
    return openWindow;
}

PracticeWindow* PracticeWindow::Current() { return openWindow && openWindow->isVisible() ? openWindow.data() : nullptr; }

void PracticeWindow::Refresh() {
    refreshing_ = true;
    PracticeState& p = m_.practice;
    const bool idle = p.phase == PracticePhase::Idle;
    keepGoing_->setChecked(p.options.mode == PracticeMode::KeepGoing);
    waitForMe_->setChecked(p.options.mode == PracticeMode::WaitForMe);
    hearItToo_->setChecked(p.options.hearItToo);
    loopWeakest_->setChecked(p.options.loopWeakest);
    stepUp_->setChecked(p.options.stepUp);
    // A pass takes the keys back from the tempo field.
    if (!idle && tempo_->hasFocus()) setFocus(Qt::OtherFocusReason);
    const int bpm = static_cast<int>(std::lround(PracticeBpm(m_)));
    if (!tempo_->hasFocus() && tempo_->value() != bpm) tempo_->setValue(bpm);
    const QString offset = OffsetText(p);
    if (offset_->text() != offset) offset_->setText(offset);
    start_->setEnabled(idle);
    tapAlong_->setEnabled(idle);
    stop_->setEnabled(!idle);
    const QString progress = QString::fromStdString(PracticeProgressText(m_));
    if (progress_->text() != progress) progress_->setText(progress);
    const QString summary = Join(p.summary);
    if (summary_->text() != summary) summary_->setText(summary);
    // The chart reads the history only when a pass was added or the material changed.
    // (A new material always comes with a new drawing of the score.)
    if (isVisible() && idle && (p.passesDone != chartPasses_ || m_.PicScore.Generation() != chartScore_)) {
        chartScore_ = m_.PicScore.Generation();
        const PracticeMaterial material = CurrentMaterial(m_);
        const std::string id = material.material + "\n" + material.key + "\n" + std::to_string(material.noteValue);
        if (p.passesDone != chartPasses_ || id != chartMaterial_) {
            chartPasses_ = p.passesDone;
            chartMaterial_ = id;
            chart_->SetPoints(PracticeChart(m_));
        }
    }
    refreshing_ = false;
}

}  // namespace tonemark
