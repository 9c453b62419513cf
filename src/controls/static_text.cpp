#include "controls/static_text.h"

#include <QPainter>

namespace vistrel {

CStaticText::CStaticText(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void CStaticText::setStyle(const QColor& textColor, const QColor& backColor, int weight) {
    textColor_ = textColor;
    backColor_ = backColor;
    weight_ = weight;
    update();
}

void CStaticText::setText(const QString& text) {
    if (text == text_)
        return;
    // The old text must vanish with the parent's repaint, since this control paints no
    // background of its own.
    if (parentWidget())
        parentWidget()->update(geometry());
    text_ = text;
    update();
}

QSize CStaticText::sizeHint() const {
    QFont f = font();
    f.setWeight(static_cast<QFont::Weight>(weight_));
    return QFontMetrics(f).size(Qt::TextSingleLine, text_) + QSize(4, 4);
}

void CStaticText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QFont f = parentWidget() ? parentWidget()->font() : font();
    f.setWeight(static_cast<QFont::Weight>(weight_));
    painter.setFont(f);
    painter.setPen(textColor_);
    const QString shown = painter.fontMetrics().elidedText(text_, Qt::ElideRight, width());
    painter.drawText(rect(), static_cast<int>(format_ | Qt::TextSingleLine), shown);
}

}  // namespace vistrel
