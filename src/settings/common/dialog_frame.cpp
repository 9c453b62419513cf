#include "settings/common/dialog_frame.h"

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QPainter>
#include <QPushButton>

#include "controls/gradient.h"
#include "controls/icons.h"
#include "controls/static_text.h"
#include "settings/common/settings_page.h"

namespace vistrel {

const FrameColors& ProjectorFrameColors() {
    static const QColor panel(99, 171, 104);
    static const FrameColors colors{QColor(63, 120, 70), panel, {panel, panel, panel, panel}};
    return colors;
}
namespace {

const QColor kHeaderText(255, 255, 255);
const QColor kPanelLight(240, 240, 240);
const QColor kSideLabelText(60, 60, 60);

template <typename W>
W* Named(W* widget, int id) {
    widget->setObjectName(ControlName(id));
    return widget;
}

}  // namespace

void SetUpFrameWindow(QDialog* dialog, const QString& objectName, const QString& title) {
    dialog->setObjectName(objectName);
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
    dialog->setModal(true);
    dialog->setFixedSize(kFrameDialogSize);
}

FrameBoxes BuildFrameBoxes(QDialog* dialog) {
    FrameBoxes boxes{};
    boxes.sidePanel = Named(new QGroupBox(dialog), 1007);
    boxes.sidePanel->setGeometry(kFrameSidePanelRect);
    boxes.headerBand = Named(new QGroupBox(dialog), 1032);
    boxes.headerBand->setGeometry(kFrameHeaderBandRect);
    boxes.pageArea = Named(new QGroupBox(dialog), 1005);
    boxes.pageArea->setGeometry(kFramePageAreaRect);
    return boxes;
}

QButtonGroup* BuildSideButtons(QDialog* dialog, const FrameColors& colors) {
    struct Side {
        int button;
        int caption;
        IconId icon;
        const char* text;
    };
    const Side sides[] = {
        {1024, 1028, IconId::kSideProjector, "Projector"},
        {1025, 1029, IconId::kSideNetwork, "Network"},
        {1026, 1030, IconId::kSideAlert, "Alert"},
        {1027, 1031, IconId::kSideScheduler, "Scheduler"},
    };
    auto* group = new QButtonGroup(dialog);
    group->setExclusive(true);
    int y = 22;
    for (size_t i = 0; i < std::size(sides); ++i) {
        const Side& side = sides[i];
        auto* button = Named(new QPushButton(dialog), side.button);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setIcon(AppIcon(side.icon));
        button->setIconSize(QSize(32, 32));
        button->setGeometry(kFrameSidePanelRect.left() + 28, y, 52, 52);
        group->addButton(button, side.button);
        auto* caption =
            Named(new CStaticText(QString::fromLatin1(side.text), dialog), side.caption);
        caption->setStyle(kSideLabelText, colors.sideCaptionBacks[i], 700);
        caption->setGeometry(kFrameSidePanelRect.left() + 4, y + 54,
                             kFrameSidePanelRect.width() - 8, 20);
        y += 100;
    }
    group->button(1024)->setChecked(true);
    return group;
}

CStaticText* BuildHeaderLabel(QDialog* dialog, const FrameColors& colors, int id,
                              const QString& text, int x, int top, int width) {
    auto* label = Named(new CStaticText(text, dialog), id);
    label->setStyle(kHeaderText, colors.headerDark, 400);
    label->setFormat(Qt::AlignLeft | Qt::AlignVCenter);
    label->setGeometry(kFrameHeaderBandRect.left() + x, kFrameHeaderBandRect.top() + top, width,
                       20);
    return label;
}

void BuildOkButton(QDialog* dialog) {
    auto* ok = Named(new QPushButton(QStringLiteral("OK"), dialog), 1);
    ok->setGeometry(kFrameDialogSize.width() - 96, 442, 88, 28);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
}

void PaintFrame(QPainter& painter, const QDialog& dialog, const FrameColors& colors) {
    // Where the boxes are now: a larger text size grows the dialog (FitToText).
    auto placeOf = [&dialog](int id, const QRect& drawn) {
        const auto* box = dialog.findChild<QGroupBox*>(ControlName(id));
        return (box ? box->geometry() : drawn).adjusted(0, 6, 0, 0);
    };
    PaintGradient(painter, placeOf(1007, kFrameSidePanelRect), colors.panel, kPanelLight,
                  Qt::Vertical);
    PaintGradient(painter, placeOf(1032, kFrameHeaderBandRect), colors.headerDark, colors.panel,
                  Qt::Horizontal);
}

}  // namespace vistrel
