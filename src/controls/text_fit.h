// Windows whose controls sit at fixed pixel places, drawn for the default text size. With a
// larger text size (the application font, or a style's) their texts would be cut; FitToText
// grows the whole window by the one factor its texts need, places and sizes alike, so it
// keeps its drawn look. At the size it was drawn for, nothing moves.
#pragma once

#include <QSize>
#include <vector>

class QWidget;

namespace vistrel {

struct CutText {
    const QWidget* widget;
    QSize needed;  // what its text needs; at least its own size where that suffices
};

// The visible-or-not controls of `root` whose text does not fit the room they have: labels,
// buttons and check boxes by their caption, and with `shownValues` also the row a list shows
// and the text a field holds.
std::vector<CutText> CutTexts(const QWidget& root, bool shownValues = false);

// How much `root`'s controls must grow, at least 1: the largest ratio of what a label,
// button, list or field needs for its text to the room it has.
double TextGrowth(const QWidget& root);

// Multiplies the geometry of every control `root` places itself (not those a layout or a
// compound control places) by `factor`, and `root`'s own size, fixed or not.
void GrowGeometry(QWidget& root, double factor);

// Both, when the application font is larger than the platform's: grows `root` by
// TextGrowth. Call once, after the window is built.
void FitToText(QWidget& root);

}  // namespace vistrel
