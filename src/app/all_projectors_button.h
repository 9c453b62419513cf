// The flat grey "All Projectors" button above the group pane: white text centred, a 12 x 12
// mark at the left, both shifted by one pixel while pressed.
#pragma once

#include <QPushButton>

namespace vistrel {

class AllProjectorsButton : public QPushButton {
    Q_OBJECT
  public:
    explicit AllProjectorsButton(QWidget* parent = nullptr);
    static QColor Face() { return QColor(160, 160, 160); }

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vistrel
