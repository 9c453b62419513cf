#include "app/all_projectors_button.h"

#include <QPainter>

#include "controls/icons.h"

namespace vistrel {

AllProjectorsButton::AllProjectorsButton(QWidget* parent)
    : QPushButton(QStringLiteral("All Projectors"), parent) {
    setFocusPolicy(Qt::NoFocus);
    setAutoDefault(false);
    setFlat(true);
}

void AllProjectorsButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Face());
    painter.setPen(QColor(120, 120, 120));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const int shift = isDown() ? 1 : 0;
    const QRect mark(2 + shift, (height() - 12) / 2 + shift, 12, 12);
    AppIcon(IconId::kAllProjectors).paint(&painter, mark);
    painter.setFont(parentWidget() ? parentWidget()->font() : font());
    painter.setPen(Qt::white);
    painter.drawText(rect().translated(shift, shift), Qt::AlignCenter | Qt::TextSingleLine, text());
}

}  // namespace vistrel
