// The frame both settings dialogs share: the window itself, the side panel with its four
// buttons and captions, the header band and the page area, the OK button, and their
// gradients. Each dialog brings its own colours and header texts.
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>

class QButtonGroup;
class QDialog;
class QGroupBox;
class QPainter;

namespace vistrel {

class CStaticText;

inline constexpr QSize kFrameDialogSize(640, 478);
inline constexpr QRect kFrameSidePanelRect(8, 4, 108, 432);    // 1007
inline constexpr QRect kFrameHeaderBandRect(124, 4, 508, 62);  // 1032
inline constexpr QRect kFramePageAreaRect(124, 72, 508, 364);  // 1005

struct FrameColors {
    QColor headerDark;  // left of the header band, behind its labels
    QColor panel;       // top of the side panel, right of the header band
    std::array<QColor, 4> sideCaptionBacks;
};

// The greens of a projector's dialog, whichever kind of projector it is.
const FrameColors& ProjectorFrameColors();

// Window title, flags (a dialog: no task-bar entry of its own), modality and fixed size.
void SetUpFrameWindow(QDialog* dialog, const QString& objectName, const QString& title);

// The side panel (1007), header band (1032) and page area (1005) group boxes; the page area
// only places the pages and is returned hidden-able by the caller.
struct FrameBoxes {
    QGroupBox* sidePanel;
    QGroupBox* headerBand;
    QGroupBox* pageArea;
};
FrameBoxes BuildFrameBoxes(QDialog* dialog);

// The four side buttons (1024..1027) with their captions (1028..1031), exclusive, the
// Projector side checked. Button ids in the group are the control ids.
QButtonGroup* BuildSideButtons(QDialog* dialog, const FrameColors& colors);

// A caption or value on the header band, `x` and `top` from the band's corner.
CStaticText* BuildHeaderLabel(QDialog* dialog, const FrameColors& colors, int id,
                              const QString& text, int x, int top, int width);

// The OK button (1) at the bottom right; accepts the dialog.
void BuildOkButton(QDialog* dialog);

// The side panel's and the header band's gradients, where the dialog's boxes are.
void PaintFrame(QPainter& painter, const QDialog& dialog, const FrameColors& colors);

}  // namespace vistrel
