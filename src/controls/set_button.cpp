#include "controls/set_button.h"

#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "controls/icons.h"

namespace vistrel {

void PaintSetButton(QPainter& painter, const QWidget& button, const QRect& rect, bool pressed,
                    bool enabled) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.rect = rect;
    option.state = enabled ? QStyle::State_Enabled : QStyle::State_None;
    option.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    button.style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, &button);

    constexpr int kIconSize = 12;
    const int shift = pressed ? 1 : 0;
    const QRect iconRect(rect.left() + (rect.width() - kIconSize) / 2 + shift,
                         rect.top() + (rect.height() - kIconSize) / 2 + shift, kIconSize,
                         kIconSize);
    AppIcon(IconId::kSet)
        .paint(&painter, iconRect, Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
}

CSetButton::CSetButton(QWidget* parent) : QPushButton(parent) {
    setText(QStringLiteral("Set"));  // accessible name; the face shows the icon only
    setAutoDefault(false);
}

QSize CSetButton::sizeHint() const {
    return QSize(22, 20);
}

void CSetButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintSetButton(painter, *this, rect(), isDown() && hasFocus(), isEnabled());
}

}  // namespace vistrel
