#include "controls/gradient.h"

#include <QPainter>

namespace vistrel {

namespace {

int Channel(int start, int end, int band) {
    return start + band * (end - start) / kGradientBands;
}

}  // namespace

QColor GradientBandColor(const QColor& start, const QColor& end, int band) {
    return QColor(Channel(start.red(), end.red(), band), Channel(start.green(), end.green(), band),
                  Channel(start.blue(), end.blue(), band));
}

void PaintGradient(QPainter& painter, const QRect& rect, const QColor& start, const QColor& end,
                   Qt::Orientation orientation) {
    if (rect.isEmpty())
        return;
    const bool horizontal = orientation == Qt::Horizontal;
    const int length = horizontal ? rect.width() : rect.height();
    for (int band = 0; band < kGradientBands; ++band) {
        // Integer band edges: every pixel belongs to exactly one band; narrow rectangles
        // simply skip the bands that get no pixel.
        const int from = length * band / kGradientBands;
        const int to = length * (band + 1) / kGradientBands;
        if (to <= from)
            continue;
        const QRect piece = horizontal
                                ? QRect(rect.left() + from, rect.top(), to - from, rect.height())
                                : QRect(rect.left(), rect.top() + from, rect.width(), to - from);
        painter.fillRect(piece, GradientBandColor(start, end, band));
    }
}

}  // namespace vistrel
