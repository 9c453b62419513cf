#include "settings/projector/page_img.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/setting_catalog.h"
#include "settings/common/settings_frame.h"

namespace vistrel {

namespace {

// Display-mode codes with a row of their own in list C.
constexpr int kUserModeCode = 5;
constexpr int k3dModeCode = kDisplayMode3dCode;

}  // namespace

const std::vector<int>& CPageImg::FullGroup() {
    static const std::vector<int> ids = {
        kModeListA,
        kModeListB,
        kModeListC,
        kBrightnessEdit,
        kBrightnessUpDown,
        kBrightnessSet,
        kSharpnessEdit,
        kSharpnessUpDown,
        kSharpnessSet,
        kBrilliantColorEdit,
        kBrilliantColorUpDown,
        kBrilliantColorSet,
        kContrastEdit,
        kContrastUpDown,
        kContrastSet,
        kDegamma,
        kColorTemperature,
        kColorSpace,
        kClosedCaptioning,
        kPhaseEdit,
        kPhaseUpDown,
        kPhaseSet,
    };
    return ids;
}

const std::vector<int>& CPageImg::PhaseGroup() {
    static const std::vector<int> ids = {kPhaseEdit, kPhaseUpDown, kPhaseSet};
    return ids;
}

CPageImg::CPageImg(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CCatalogPage(frame, frameWidget, parent, FullGroup()) {
    setObjectName(QStringLiteral("CPageImg"));
    BuildControls();
    SetAllEnabled(false);
    // Until the model rules have run, one list stands in for the three, disabled with the rest of
    // the page; list C would otherwise lie on top of it and stay usable.
    ShowModeList(kModeListA);
    findChild<QComboBox*>(ControlName(kModeListC))->setEnabled(false);
}

void CPageImg::BuildControls() {
    const QString modeLabel = QString::fromLatin1(Setting("display-mode").label);
    const int listX = 130;
    const int listWidth = 130;

    // The three display-mode lists with their labels, all at one place.
    struct Mode {
        int list;
        int label;
        OptionTable table;
        int* member;
    };
    const Mode modes[] = {
        {kModeListA, kModeLabelA, kDisplayModeListA, &modeIndexA_},
        {kModeListB, kModeLabelB, kDisplayModeListB, &modeIndexB_},
        {kModeListC, kModeLabelC, kDisplayModeListC, &modeIndexC_},
    };
    for (const Mode& mode : modes) {
        auto* label = Control<QLabel>(mode.label, modeLabel);
        label->setGeometry(12, 12, 110, 22);
        // The row is worked out from the mode code and the list shown, not read directly.
        AddList(nullptr, mode.table, mode.list, mode.member)->setGeometry(listX, 12, listWidth, 24);
    }

    // Numeric settings, one row each.
    const NumberRow numbers[] = {
        {"brightness", kBrightnessEdit, kBrightnessUpDown, kBrightnessSet, &brightness_},
        {"contrast", kContrastEdit, kContrastUpDown, kContrastSet, &contrast_},
        {"sharpness", kSharpnessEdit, kSharpnessUpDown, kSharpnessSet, &sharpness_},
        {"brilliant-color", kBrilliantColorEdit, kBrilliantColorUpDown, kBrilliantColorSet,
         &brilliantColor_},
        {"phase", kPhaseEdit, kPhaseUpDown, kPhaseSet, &phase_},
    };
    AddNumberRows(numbers, 52, RowLayout{110, listWidth});

    // The other lists, in a second column.
    const ListRow others[] = {
        {"degamma", kDegamma, &degammaIndex_},
        {"color-temperature", kColorTemperature, &colorTempIndex_},
        {"color-space", kColorSpace, &colorSpaceIndex_},
        {"closed-captioning", kClosedCaptioning, &captionIndex_},
    };
    int y = 12;
    for (const ListRow& other : others) {
        const SettingDef& def = Setting(other.name);
        QLabel* caption =
            other.id == kClosedCaptioning
                ? Control<QLabel>(kClosedCaptioningLabel, QString::fromLatin1(def.label))
                : Caption(this, QString::fromLatin1(def.label), 0, 0, 0);
        caption->setGeometry(280, y, 120, 22);
        AddList(&def, def.options, other.id, other.member)->setGeometry(400, y, 90, 24);
        y += kRowStep;
    }

    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

// --- the control reply ------------------------------------------------------------------------

void CPageImg::ParseReply(const std::string& reply) {
    if (ReplyBeginsWith(reply, kControlReplyPrefix)) {
        // A field the reply does not carry (cut short, no digits) keeps what the page showed.
        TakeReportedValues(reply);
        if (const auto reported = ReportedNumber(Setting("display-mode"), reply)) {
            const int mode = *reported;
            modeIndexA_ = mode - 1;
            // List B has no "User-2" row: codes above it sit one row higher.
            modeIndexB_ = mode > 5 ? mode - 2 : mode - 1;
            if (mode == kUserModeCode)
                modeIndexC_ = 0;
            else if (mode == k3dModeCode)
                modeIndexC_ = 1;
        }
        ApplyEnableState(reply);
    }
    // Anything else (a time-out text) changes nothing and leaves the enabled state alone.
    WriteControls();
}

void CPageImg::ApplyEnableState(const std::string& reply) {
    const auto control = EnableForPower(reply);
    if (!control)
        return;
    if (control->avMute == 1) {
        SetAllEnabled(false);
    } else {
        // Phase means something only for the analogue (VGA) inputs; not for "None" either.
        SetControlsEnabled(*this, PhaseGroup(),
                           control->sourceCode == 1 || control->sourceCode == 2);
    }
    ApplyModelRules(reply);
}

void CPageImg::ShowModeList(int listId) {
    const std::pair<int, int> pairs[] = {
        {kModeListA, kModeLabelA}, {kModeListB, kModeLabelB}, {kModeListC, kModeLabelC}};
    for (const auto& [list, label] : pairs)
        SetControlsVisible(*this, {list, label}, list == listId);
}

void CPageImg::ApplyModelRules(const std::string& reply) {
    const std::string& model = Frame() ? Frame()->console().modelCode : std::string();
    const ControlReply control = ReadControlReply(reply);
    const auto caption = OffersClosedCaptioning(model);
    if (!caption)
        return;
    SetControlsVisible(*this, {kClosedCaptioning, kClosedCaptioningLabel}, *caption);
    if (const auto list = DisplayModeListFor(model, control.threeD)) {
        ShowModeList(list->data() == kDisplayModeListA.data()   ? kModeListA
                     : list->data() == kDisplayModeListB.data() ? kModeListB
                                                                : kModeListC);
    }
    // List C is enabled and disabled with the rest of the page, as lists A and B are.
    modelRulesApplied_ = true;
}

}  // namespace vistrel
