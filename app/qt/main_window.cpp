#include "app/qt/main_window.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QWindow>
#include <QTimer>

#include "app/lifecycle.h"
#include "app/qt/colors.h"
#include "app/qt/control_widgets.h"
#include "app/qt/millisecond_ticker.h"
#include "app/qt/practice_window.h"
#include "app/qt/song_dialogs.h"
#include "keyboard/computer_keys.h"
#include "keyboard/keys.h"
#include "keyboard/recorder.h"
#include "score/stepping.h"
#include "keyboard/tempo.h"
#include "practice/session.h"
#include "sound/transport.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

QFont ToQFont(const Font& f) {
    QFont font = QApplication::font();
    font.setPointSizeF(f.points);
    font.setBold(f.bold);
    return font;
}

QRect Geometry(const Control& c) { return QRect(c.rect.left, c.rect.top, c.rect.width, c.rect.height); }

}  // namespace

MainWindow::MainWindow(Main& m, QWidget* parent) : QWidget(parent), m_(m) {
    setWindowTitle("Tonemark");
    setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
    for (Control* c : m_.ui.WindowControls()) widgets_[c] = MakeWidget(*c, this);

    screenno_ = widgets_[&m_.ui.Screenno];
    picScore_ = new PictureWidget(m_.PicScore, screenno_);
    picScore_->SetCursorLine(&m_.ui.Line1);
    picScore_->OnMousePress([this](QMouseEvent* e) {
        const int button = e->button() == Qt::RightButton ? 2 : e->button() == Qt::MiddleButton ? 4 : 1;
        const int shift = (e->modifiers() & Qt::ShiftModifier ? 1 : 0) | (e->modifiers() & Qt::ControlModifier ? 2 : 0) |
                          (e->modifiers() & Qt::AltModifier ? 4 : 0);
        const QPoint at = e->position().toPoint();
        Handle([=](Main& m) { PicScore_MouseDown(m, button, shift, at.x(), at.y()); });
    });
    picScore_->OnKeyPress([this](QKeyEvent* e) {
        const int code = e->key() == Qt::Key_Left ? kKeyLeftArrow : e->key() == Qt::Key_Right ? kKeyRightArrow : 0;
        if (code == 0) return false;
        Handle([code](Main& m) { PicScore_KeyDown(m, code, 0); });
        return true;
    });
    widgets_[&m_.ui.PicScore] = picScore_;
    pic2_ = new PictureWidget(m_.Pic2, screenno_);
    widgets_[&m_.ui.Pic2] = pic2_;
    pic2_->raise();  // the header stays over the score as it scrolls
    widgets_[&m_.ui.LabNote] = MakeWidget(m_.ui.LabNote, picScore_);
    widgets_[&m_.ui.LabNext] = MakeWidget(m_.ui.LabNext, picScore_);


    timer1_ = new MillisecondTicker(
        [this] { return m_.ui.Timer1.enabled && !closed_; }, [this] { return !Busy(); },
        [this] { Handle(Timer1_Timer, false); },
        [this] {
            if (!closed_) Sync();
        },
        this);
    // A practice pass hands its clicks over ahead and moves its cursor every millisecond.
    practiceTicker_ = new MillisecondTicker(
        [this] { return PracticeTicking(m_) && !closed_; }, [this] { return !Busy(); },
        [this] { Handle(PracticeTick, false); },
        [this] {
            if (!closed_) Sync();
        },
        this);
    // The recording clock counts its own ticks (TickClock); this timer only
    // wakes it up, and every tick due since the last wake-up runs at once.
    timer3_ = new QTimer(this);
    timer3_->setTimerType(Qt::PreciseTimer);
    timer3_->setInterval(1);
    connect(timer3_, &QTimer::timeout, this, [this] {
        if (!Busy()) Handle([](Main& m) { RunTimer3Until(m, m.platform->Now()); });
    });
    timer2_ = new QTimer(this);
    timer2_->setSingleShot(true);
    connect(timer2_, &QTimer::timeout, this, [this] { Handle(Timer2_Timer); });
    // Keep and export what is on show. The dialogs run their handlers
    // themselves; none opens inside a handler that lets events run.
    auto* saveSong = new QShortcut(QKeySequence::Save, this);
    connect(saveSong, &QShortcut::activated, this, [this] {
        if (!Busy() && !closed_) SaveSongWithDialog(*this, m_);
    });
    auto* exportScore = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), this);
    connect(exportScore, &QShortcut::activated, this, [this] {
        if (!Busy() && !closed_) ExportScoreWithDialog(*this, m_);
    });
    // Ctrl+P practises what is on show; Escape ends a pass early.
    auto* practise = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    connect(practise, &QShortcut::activated, this, [this] {
        if (!Busy() && !closed_) Handle(Practice_Click);
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (!Busy() && !closed_) Handle(PracticeEscape);
    });
    // The sound output can come and go while the program runs (a sound server
    // restarted); the message line says so within half a second.
    auto* soundStatus = new QTimer(this);
    soundStatus->setInterval(500);
    connect(soundStatus, &QTimer::timeout, this, [this] {
        if (!Busy()) Handle(RefreshSoundStatus);
    });
    soundStatus->start();
    picScore_->setToolTip("Ctrl+S saves the song as a MIDI file; Ctrl+E exports the score as PDF, SVG or PNG, or its music as MusicXML.");
    CenterOnScreen();
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::WidgetOf(const Control& c) const {
    auto it = widgets_.find(&c);
    return it == widgets_.end() ? nullptr : it->second;
}

QWidget* MainWindow::MakeWidget(Control& c, QWidget* parent) {
    QWidget* w = nullptr;
    switch (c.kind) {
        case ControlKind::Label: w = new ControlLabel(parent); break;
        case ControlKind::Button:
            w = c.font.name == "Keep" ? static_cast<QWidget*>(new GlyphButton(c, parent)) : new QPushButton(parent);
            break;
        case ControlKind::ScrollBar: {
            // Qt puts a vertical bar's minimum at the top; the bar shows the
            // negated value so the largest stands at the top and the upper
            // arrow raises it.
            auto* bar = new QScrollBar(Qt::Vertical, parent);
            bar->setRange(-c.max, -c.min);
            w = bar;
            break;
        }
        case ControlKind::List: {
            auto* list = new QListWidget(parent);
            if (!c.tabStops.empty()) {
                list->setItemDelegate(new TabStopDelegate(c.tabStops, list));
                list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                // Every row is one line of the same font, and with no
                // horizontal scrolling its width does not matter: the rows
                // of a long take are then laid out without measuring each.
                list->setUniformItemSizes(true);
            }
            w = list;
            break;
        }
        case ControlKind::Shape: w = new ShapeWidget(c, parent); break;
        case ControlKind::KeyButton:
            w = new KeyWidget(c, parent, [this, index = c.index](bool down, quint64 stamp) {
                const MonotonicMicros when = EventTime(stamp);
                Handle([index, down, when](Main& m) { down ? KeyDownAt(m, index, when) : KeyUpAt(m, index, when); });
            });
            break;
        case ControlKind::Picture: {
            w = new QWidget(parent);
            w->setAutoFillBackground(true);
            QPalette pal = w->palette();
            pal.setColor(QPalette::Window, ToQColor(c.backColor));
            w->setPalette(pal);
            break;
        }
        case ControlKind::Line: break;
    }
    if (w != nullptr) {
        w->setObjectName(QString::fromStdString(c.index >= 0 ? c.name + "_" + std::to_string(c.index) : c.name));
        Connect(c, w);
    }
    return w;
}

void MainWindow::Connect(Control& c, QWidget* w) {
    Control* control = &c;
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        std::function<void(Main&)> handler;
        if (control == &m_.ui.BtnPlay) handler = BtnPlay_Click;
        else if (control == &m_.ui.BtnStop) handler = BtnStop_Click;
        else if (control == &m_.ui.BtnRec) handler = BtnRec_Click;
        else if (control == &m_.ui.Command1) handler = Command1_Click;
        else if (control == &m_.ui.Command2) handler = Command2_Click;
        else if (control == &m_.ui.Command3) handler = Command3_Click;
        else if (control == &m_.ui.Command4) handler = Command4_Click;
        else if (control == &m_.ui.Practice) handler = Practice_Click;
        else if (control->name == "ValNote") handler = [i = control->index](Main& m) { ValNote_Click(m, i); };
        if (handler) connect(button, &QPushButton::clicked, this, [this, handler] { Handle(handler); });
    } else if (auto* bar = qobject_cast<QScrollBar*>(w)) {
        connect(bar, &QScrollBar::valueChanged, this, [this, control](int negated) {
            const int value = -negated;
            if (syncing_ || value == control->value) return;
            control->value = value;
            if (control == &m_.ui.Tonality) Handle(Tonality_Change);
            else if (control == &m_.ui.SpeedValue) Handle(SpeedValue_Change);
        });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        // A new selection, by mouse or by the arrow keys, runs the list's click handler.
        connect(list, &QListWidget::currentRowChanged, this, [this, control](int row) {
            if (syncing_ || row < 0 || row == control->listIndex) return;
            control->listIndex = row;
            if (control == &m_.ui.List1) Handle(List1_Click);
            else if (control == &m_.ui.List4) Handle(List4_Click);
        });
        if (control == &m_.ui.List2) {
            // A press on a row sounds it, whether or not the selection moved.
            connect(list, &QListWidget::itemPressed, this, [this, list, control](QListWidgetItem* item) {
                control->listIndex = list->row(item);
                Handle(List2_MouseDown);
            });
        }
    }
}

void MainWindow::Show(const Control& c, QWidget* w) {
    if (c.kind == ControlKind::Picture && (&c == &m_.ui.Pic2 || &c == &m_.ui.PicScore)) {
        w->setGeometry(Geometry(c));
        w->setVisible(c.visible);
        return;
    }
    w->setGeometry(Geometry(c));
    w->setVisible(c.visible);
    w->setEnabled(c.enabled);
    if (auto* label = dynamic_cast<ControlLabel*>(w)) {
        label->setText(QString::fromStdString(c.caption));
        label->Show(c);
        label->setFont(ToQFont(c.font));
        label->setAlignment(c.centered ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(&c == &m_.ui.StatusLine);
    } else if (auto* glyph = dynamic_cast<GlyphButton*>(w)) {
        glyph->SetGlyph(c.caption, c.font.points);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(QString::fromStdString(c.caption));
        button->setFont(ToQFont(c.font));
    } else if (auto* bar = qobject_cast<QScrollBar*>(w)) {
        bar->setValue(-c.value);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        QStringList rows;
        for (const std::string& r : c.rows) rows << QString::fromStdString(r);
        bool same = list->count() == rows.size();
        for (int i = 0; same && i < rows.size(); ++i) same = list->item(i)->text() == rows[i];
        if (!same) {
            list->clear();
            list->addItems(rows);
        }
        list->setCurrentRow(c.listIndex);
        QPalette pal = list->palette();
        pal.setColor(QPalette::Base, ToQColor(c.backColor));
        list->setPalette(pal);
        list->setFont(ToQFont(c.font));
    } else if (auto* shape = dynamic_cast<ShapeWidget*>(w)) {
        shape->Show(c);
    } else if (auto* key = dynamic_cast<KeyWidget*>(w)) {
        key->Show(c);
    }
}

void MainWindow::Sync() {
    syncing_ = true;
    for (auto& [control, widget] : widgets_) {
        auto& shown = shown_[control];
        if (shown && *shown == *control) continue;
        Show(*control, widget);
        shown = std::make_unique<Control>(*control);
    }
    syncing_ = false;
    pic2_->Follow();
    picScore_->Follow();
    timer1_->Follow();
    practiceTicker_->Follow();
    if (PracticeWindow* practice = PracticeWindow::Current()) practice->Refresh();
    if (m_.ui.Timer3.enabled && !timer3_->isActive()) timer3_->start();
    if (!m_.ui.Timer3.enabled) timer3_->stop();
    if (m_.ui.Timer2.enabled && !timer2_->isActive()) timer2_->start(m_.ui.Timer2.intervalMs);
    if (!m_.ui.Timer2.enabled) timer2_->stop();
}

void MainWindow::Handle(const std::function<void(Main&)>& handler, bool sync) {
    if (closed_) return;  // the program is ending: nothing more runs on its state
    ++depth_;
    handler(m_);
    --depth_;
    if (depth_ == 0 && closeRequested_) {
        close();
        return;
    }
    if (!closed_ && sync) Sync();
    if (depth_ == 0 && !holdInput_) ReleaseHeldInput();
}

void MainWindow::HoldInput(bool hold) {
    holdInput_ = hold;
    if (!hold && !Busy()) ReleaseHeldInput();
}

void MainWindow::ReleaseHeldInput() {
    for (HeldInput& input : held_)
        if (input.target) QCoreApplication::postEvent(input.target, input.event.release());
    held_.clear();
}

MonotonicMicros MainWindow::EventTime(quint64 stampMs) {
    return eventClock_.ToMonotonic(static_cast<std::int64_t>(stampMs), m_.platform->Now());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (Busy()) {
        // A handler is half-way (it let pending events run): close when it is done.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    if (!closed_) Form_Unload(m_);
    closed_ = true;
    // The circle window and any open dialog go with the main window.
    for (QWidget* other : QApplication::topLevelWidgets())
        if (other != this && other->isVisible()) other->close();
    event->accept();
}

namespace {

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Input that arrives while a handler lets pending events run waits until
    // the handler is done: no click lands in the middle of a rebuild.
    if ((Busy() || holdInput_) && IsUserInput(event->type()) && qobject_cast<QWindow*>(watched) != nullptr) {
        held_.push_back({QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone())});
        return true;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || closed_) return false;
    // The practice window plays the keys too, except into a field being typed in.
    if (widget->window() != this && !widget->window()->property("playsMusicKeys").toBool()) return false;
    if (qobject_cast<QAbstractSpinBox*>(widget) != nullptr || qobject_cast<QLineEdit*>(widget) != nullptr) return false;
    return PlayComputerKey(static_cast<QKeyEvent*>(event));
}

// A letter of the two-row layout presses or releases its on-screen key, as a
// mouse would; auto-repeat is not a new press. Keys with Ctrl, Alt or Meta
// stay shortcuts, and every other key goes on to its control.
bool MainWindow::PlayComputerKey(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    int index = event->nativeScanCode() != 0 ? MusicKeyForKeyCode(event->nativeScanCode()) : -1;
    if (event->nativeScanCode() == 0 && event->text().size() == 1)
        index = MusicKeyForCharacter(static_cast<char32_t>(event->text().at(0).unicode()));
    if (index < 0) return false;
    if (event->isAutoRepeat()) return true;
    const bool down = event->type() == QEvent::KeyPress;
    const MonotonicMicros when = EventTime(event->timestamp());
    Handle([index, down, when](Main& m) { down ? ComputerKeyDownAt(m, index, when) : ComputerKeyUpAt(m, index, when); });
    return true;
}

void MainWindow::CenterOnScreen() {
    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

}  // namespace tonemark
