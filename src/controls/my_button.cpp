#include "controls/my_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vistrel {

CMyButton::CMyButton(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);  // no focus rectangle, no default-button behaviour
    setAttribute(Qt::WA_Hover, false);
}

void CMyButton::setIconId(const QIcon& icon) {
    icon_ = icon;
    update();
}

void CMyButton::SetState(State state) {
    state_ = state;
    update();
}

void CMyButton::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (inside) {
        if (!buttonDown_)
            SetState(kHover);
    } else {
        SetState(buttonDown_ ? kHover : kNormal);
    }
}

void CMyButton::enterEvent(QEnterEvent*) {
    if (!buttonDown_ && isEnabled())
        SetState(kHover);
}

void CMyButton::leaveEvent(QEvent*) {
    if (!buttonDown_ && isEnabled())
        SetState(kNormal);
}

void CMyButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    buttonDown_ = true;
    SetState(kPressed);
}

void CMyButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !buttonDown_)
        return;
    buttonDown_ = false;
    SetState(kNormal);
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

void CMyButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        buttonDown_ = false;
        SetState(isEnabled() ? kNormal : kDisabled);
    }
    QWidget::changeEvent(event);
}

void CMyButton::paintEvent(QPaintEvent*) {
    const State shown = isEnabled() ? state_ : kDisabled;
    if (shown != drawnState_) {
        // The control paints no background: let the parent redraw what lies under the old
        // frame, one pixel around included.
        if (parentWidget())
            parentWidget()->update(geometry().adjusted(-1, -1, 1, 1));
        drawnState_ = shown;
    }
    QPainter painter(this);
    constexpr int kIconSize = 16;
    const int shift = shown == kPressed ? 1 : 0;
    const QRect iconRect((width() - kIconSize) / 2 + shift, (height() - kIconSize) / 2 + shift,
                         kIconSize, kIconSize);
    icon_.paint(&painter, iconRect, Qt::AlignCenter,
                shown == kDisabled ? QIcon::Disabled : QIcon::Normal);
    if (shown != kHover && shown != kPressed)
        return;

    const QColor bottomRight = shown == kHover ? DarkEdge() : LightEdge();
    const QColor topLeft = shown == kHover ? LightEdge() : DarkEdge();
    const QRect r = rect();
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    painter.fillRect(QRect(r.left(), r.bottom() - 1, r.width(), 2), bottomRight);
    painter.fillRect(QRect(r.right() - 1, r.top(), 2, r.height()), bottomRight);
}

}  // namespace vistrel
