// A caption drawn straight onto its parent's background (for text over the gradient bars):
// own colour, weight and alignment, cut with an ellipsis at the end when too long.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

namespace vistrel {

class CStaticText : public QWidget {
    Q_OBJECT
  public:
    explicit CStaticText(const QString& text = {}, QWidget* parent = nullptr);

    // The back colour is kept for callers that read it; painting never fills a background.
    void setStyle(const QColor& textColor, const QColor& backColor, int weight);
    void setFormat(Qt::Alignment format) {
        format_ = format;
        update();
    }
    void setText(const QString& text);

    QString text() const { return text_; }
    QColor textColor() const { return textColor_; }
    QColor backColor() const { return backColor_; }
    int weight() const { return weight_; }
    Qt::Alignment format() const { return format_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QColor textColor_{0, 0, 0};
    QColor backColor_{255, 255, 255};
    int weight_ = 400;
    Qt::Alignment format_ = Qt::AlignCenter;
};

}  // namespace vistrel
