// Flat 16 x 16 icon button of the top bar: icon only when idle, a raised frame on hover, a
// sunken one while pressed, a greyed icon when disabled. One click is exactly one press and
// release inside the control; releasing outside sends nothing.
#pragma once

#include <QIcon>
#include <QWidget>

namespace vistrel {

class CMyButton : public QWidget {
    Q_OBJECT
  public:
    enum State { kNormal = 1, kHover = 2, kPressed = 3, kDisabled = 4 };

    explicit CMyButton(QWidget* parent = nullptr);

    void setIconId(const QIcon& icon);
    State state() const { return state_; }
    State drawnState() const { return drawnState_; }
    bool buttonDown() const { return buttonDown_; }

    QSize sizeHint() const override { return QSize(24, 24); }

    // Frame colours of the raised (hover) look; the sunken look swaps them.
    static QColor DarkEdge() { return QColor(151, 136, 187); }
    static QColor LightEdge() { return QColor(204, 197, 222); }

  signals:
    void clicked();

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void SetState(State state);

    QIcon icon_;
    State state_ = kNormal;
    State drawnState_ = kNormal;
    bool buttonDown_ = false;
};

}  // namespace vistrel
