#include "app/qt/control_widgets.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "app/qt/colors.h"
#include "keyboard/computer_keys.h"
#include "score/qt/score_painter.h"

namespace tonemark {

ShapeWidget::ShapeWidget(const Control& c, QWidget* parent) : QWidget(parent), look_(c) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::Show(const Control& c) {
    look_ = c;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, look_.shape == ShapeKind::Circle);
    p.setPen(QPen(ToQColor(look_.filled ? kBlack : look_.foreColor), 1));
    if (look_.filled) p.setBrush(ToQColor(look_.backColor));
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (look_.shape == ShapeKind::Circle) {
        // A circle shape is drawn as the largest circle that fits, centred.
        const double d = std::min(r.width(), r.height());
        p.drawEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
    } else {
        p.drawRect(r);
    }
}

ControlLabel::ControlLabel(QWidget* parent) : QLabel(parent) {}

void ControlLabel::Show(const Control& c) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(c.backColor));
    colours.setColor(QPalette::WindowText, ToQColor(c.foreColor));
    setPalette(colours);
    setAutoFillBackground(!c.transparent);
    border_ = c.border;
    setContentsMargins(border_ ? QMargins(1, 1, 1, 1) : QMargins());
    update();
}

void ControlLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!border_) return;
    QPainter p(this);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

KeyWidget::KeyWidget(const Control& c, QWidget* parent, std::function<void(bool, quint64)> onPress)
    : QWidget(parent), look_(c), onPress_(std::move(onPress)) {}

void KeyWidget::Show(const Control& c) {
    look_ = c;
    update();
}

void KeyWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(look_.backColor));
    p.setPen(QColor(64, 64, 64));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    // The computer key that plays it, faintly at its foot.
    const QString label = QString::fromStdString(ComputerKeyLabel(look_.index));
    if (!label.isEmpty()) {
        QFont font = p.font();
        font.setPointSizeF(7.5);
        p.setFont(font);
        const bool black = IsBlackKey(look_.index);
        p.setPen(black ? QColor(200, 200, 200, 170) : QColor(96, 96, 96, 150));
        p.drawText(rect().adjusted(0, 0, 0, -4), Qt::AlignHCenter | Qt::AlignBottom, label);
    }
    if (look_.pressed) {
        p.setPen(QColor(0, 0, 0, 90));
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void KeyWidget::mousePressEvent(QMouseEvent* e) { onPress_(true, e->timestamp()); }
void KeyWidget::mouseReleaseEvent(QMouseEvent* e) { onPress_(false, e->timestamp()); }

void TabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (stops_.empty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QStringList fields = item.text.split(QLatin1Char('\t'));
    item.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    const bool selected = (item.state & QStyle::State_Selected) != 0;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(QPalette::Normal, selected ? QPalette::HighlightedText : QPalette::Text));
    constexpr int kPadding = 2;
    for (int i = 0; i < fields.size(); ++i) {
        const int stop = i < static_cast<int>(stops_.size()) ? stops_[static_cast<size_t>(i)] : stops_.back();
        const int next = i + 1 < static_cast<int>(stops_.size()) ? stops_[static_cast<size_t>(i) + 1] : item.rect.width();
        const QRect cell(item.rect.left() + stop + kPadding, item.rect.top(), std::max(next - stop - kPadding, 1),
                         item.rect.height());
        painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, fields[i]);
    }
    painter->restore();
}

PictureWidget::PictureWidget(const RecordingCanvas& canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureWidget::OnKeyPress(std::function<bool(QKeyEvent*)> handler) {
    onKey_ = std::move(handler);
    setFocusPolicy(Qt::ClickFocus);
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
    if (onKey_) setFocus(Qt::MouseFocusReason);
    if (onMouse_) onMouse_(event);
    else QWidget::mousePressEvent(event);
}

void PictureWidget::keyPressEvent(QKeyEvent* event) {
    if (onKey_ && onKey_(event)) return;
    QWidget::keyPressEvent(event);
}

void PictureWidget::Follow() {
    const bool lineMoved = line_ != nullptr && !(paintedLine_ == *line_);
    if (canvas_.Generation() == paintedGeneration_ && !lineMoved) return;
    if (lineMoved && canvas_.Generation() == paintedGeneration_) {
        // Only the cursor moved: repaint the strips it left and entered.
        const int w = std::max(line_->lineWidth, paintedLine_.lineWidth) + 2;
        update(QRect(std::min(paintedLine_.x1, paintedLine_.x2) - w, 0, w * 2 + std::abs(paintedLine_.x2 - paintedLine_.x1), height()));
        update(QRect(std::min(line_->x1, line_->x2) - w, 0, w * 2 + std::abs(line_->x2 - line_->x1), height()));
    } else {
        update();
    }
    paintedGeneration_ = canvas_.Generation();
    if (line_ != nullptr) paintedLine_ = *line_;
}

void PictureWidget::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), ToQColor(kWindowBackground));
    p.setClipRect(event->rect());
    PaintDisplayList(p, canvas_.Ops());
    if (line_ != nullptr && line_->visible) {
        p.setPen(QPen(ToQColor(line_->foreColor), line_->lineWidth));
        p.drawLine(line_->x1, line_->y1, line_->x2, line_->y2);
    }
}

GlyphButton::GlyphButton(const Control& c, QWidget* parent) : QPushButton(parent) {
    SetGlyph(c.caption, c.font.points);
}

void GlyphButton::SetGlyph(const std::string& text, double points) {
    glyph_ = text;
    points_ = points;
    update();
}

void GlyphButton::paintEvent(QPaintEvent*) {
    QStylePainter sp(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    sp.drawControl(QStyle::CE_PushButton, option);
    // The glyph's text origin sits so that the note head lands a little
    // below the middle of the button and the stem stands above it.
    DrawOp op{DrawOp::Kind::Text, {}, {width() / 2 - 5, height() / 2 - 40, glyph_, "Keep", points_}};
    PaintDisplayList(sp, {op});
}

}  // namespace tonemark
