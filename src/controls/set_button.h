// The small "Set" button of the settings pages: a push-button frame with the 12 x 12 "Set"
// icon centred, sunk and shifted by one pixel while held, greyed when disabled.
#pragma once

#include <QPushButton>

class QPainter;
class QStyle;

namespace vistrel {

// The one routine that draws every small "Set" button; `pressed` is "held down and focused".
void PaintSetButton(QPainter& painter, const QWidget& button, const QRect& rect, bool pressed,
                    bool enabled);

class CSetButton : public QPushButton {
    Q_OBJECT
  public:
    explicit CSetButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vistrel
