#include "theory/qt/circle_window.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <functional>

#include "app/qt/main_window.h"
#include "score/qt/score_painter.h"

namespace tonemark {
namespace {

QPointer<CircleWindow> openWindow;

// An invisible area that answers a click (press and release inside it).
class ClickArea : public QWidget {
public:
    ClickArea(QWidget* parent, std::function<void()> onClick) : QWidget(parent), onClick_(std::move(onClick)) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) onClick_();
    }

private:
    std::function<void()> onClick_;
};

QRect Geometry(const Control& c) { return QRect(c.rect.left, c.rect.top, c.rect.width, c.rect.height); }

QString ObjectName(const Control& c) {
    return QString::fromStdString(c.index >= 0 ? c.name + "_" + std::to_string(c.index) : c.name);
}

QFont ControlFont(const Control& c) {
    QFont font = QApplication::font();
    font.setPointSizeF(c.font.points);
    font.setBold(c.font.bold);
    return font;
}

}  // namespace

CircleWindow::CircleWindow(MainWindow& main) : QWidget(nullptr), main_(main), form_(MakeCircleForm()) {
    setAttribute(Qt::WA_DeleteOnClose);
    CICLO_Form_Load(form_);
    setWindowTitle(QString::fromStdString(form_.caption));
    setFixedSize(form_.width, form_.height);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    MakeControls();
    // The window reaches into the main window's record: it must not outlive it.
    connect(&main_, &QObject::destroyed, this, &QWidget::close);
}

void CircleWindow::MakeControls() {
    for (const Control* c : {&form_.Label1, &form_.Label2}) {
        auto* label = new QLabel(QString::fromStdString(c->caption), this);
        label->setObjectName(ObjectName(*c));
        label->setGeometry(Geometry(*c));
        label->setFont(ControlFont(*c));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
    }
    auto* close = new QPushButton(QString::fromStdString(form_.Command1.caption), this);
    close->setObjectName(ObjectName(form_.Command1));
    close->setGeometry(Geometry(form_.Command1));
    close->setFont(ControlFont(form_.Command1));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    for (const Control& area : form_.Image1) {
        auto* w = new ClickArea(this, [this, i = area.index] { KeyClicked(i); });
        w->setObjectName(ObjectName(area));
        w->setGeometry(Geometry(area));
    }
}

CircleWindow* CircleWindow::Open(MainWindow& main) {
    if (openWindow && openWindow->isVisible()) {
        openWindow->raise();
        openWindow->activateWindow();
        return openWindow;
    }
    openWindow = new CircleWindow(main);
    openWindow->show();
    return openWindow;
}

CircleWindow* CircleWindow::Current() { return openWindow && openWindow->isVisible() ? openWindow.data() : nullptr; }

void CircleWindow::KeyClicked(int index) {
    // The second click of a quick double click can arrive after the first
    // closed the window: it chooses nothing.
    if (!isVisible()) return;
    // Pending events run during the handler and may delete the window.
    const QPointer<CircleWindow> self(this);
    main_.Handle([index](Main& m) { Image1_Click(m, index); });
    if (self) close();
}

void CircleWindow::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), Qt::white);
    p.setClipRect(event->rect() & QRect(0, 0, kCirclePictureWidth, kCirclePictureHeight));
    PaintDisplayList(p, form_.picture.Ops());
}

}  // namespace tonemark
