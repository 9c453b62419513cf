// The console's title-bar gradient: 256 equal bands, each a flat colour, so the look is the
// same on every display depth. Shared by the main window and the settings dialogs.
#pragma once

#include <QColor>
#include <QRect>

class QPainter;

namespace vistrel {

inline constexpr int kGradientBands = 256;

// Colour of band `band` (0..255): each channel start + band * (end - start) / 256, truncated.
QColor GradientBandColor(const QColor& start, const QColor& end, int band);

// Fills `rect` with the banded gradient. Horizontal: bands follow each other along the width
// (start at the left); vertical: along the height (start at the top).
void PaintGradient(QPainter& painter, const QRect& rect, const QColor& start, const QColor& end,
                   Qt::Orientation orientation = Qt::Horizontal);

}  // namespace vistrel
