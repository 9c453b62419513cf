#include "settings/projector/page_disp.h"

#include <QComboBox>
#include <QPushButton>

#include "protocol/codec.h"
#include "protocol/setting_catalog.h"

namespace vistrel {

const std::vector<int>& CPageDisp::FullGroup() {
    static const std::vector<int> ids = {
        kProjection,   kDisplayFormat,  kZoomEdit,         kZoomUpDown,
        kZoomSet,      kImageShiftEdit, kImageShiftUpDown, kImageShiftSet,
        kKeystoneEdit, kKeystoneUpDown, kKeystoneSet,
    };
    return ids;
}

const std::vector<int>& CPageDisp::SignalGroup() {
    static const std::vector<int> ids = {kZoomEdit,       kZoomUpDown,       kZoomSet,
                                         kImageShiftEdit, kImageShiftUpDown, kImageShiftSet};
    return ids;
}

CPageDisp::CPageDisp(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CCatalogPage(frame, frameWidget, parent, FullGroup()) {
    setObjectName(QStringLiteral("CPageDisp"));
    BuildControls();
    SetAllEnabled(false);
}

void CPageDisp::BuildControls() {
    const RowLayout layout{110, 140};
    const ListRow lists[] = {
        {"projection", kProjection, &projectionIndex_},
        {"display-format", kDisplayFormat, &formatIndex_},
    };
    const NumberRow numbers[] = {
        {"zoom", kZoomEdit, kZoomUpDown, kZoomSet, &zoom_},
        {"image-shift", kImageShiftEdit, kImageShiftUpDown, kImageShiftSet, &imageShift_},
        {"keystone", kKeystoneEdit, kKeystoneUpDown, kKeystoneSet, &keystone_},
    };
    AddNumberRows(numbers, AddListRows(lists, 12, layout), layout);
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

// --- the control reply ------------------------------------------------------------------------

void CPageDisp::ParseReply(const std::string& reply) {
    if (ReplyContains(reply, kControlTag)) {
        ApplyEnableState(reply);
        TakeReportedValues(reply);
    } else if (ReplyContains(reply, kTimeoutText)) {
        // A time-out text has no power digit: the page is disabled until fresh state comes.
        ApplyEnableState(reply);
    }
    WriteControls();
}

void CPageDisp::ApplyEnableState(const std::string& reply) {
    const auto control = EnableForPower(reply);
    if (!control)
        return;
    if (control->avMute == 1) {
        SetAllEnabled(false);
        return;
    }
    if (control->sourceCode == 0)
        SetControlsEnabled(*this, SignalGroup(), false);
}

}  // namespace vistrel
