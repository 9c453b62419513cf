#include "settings/projector/page_img.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/set_button.h"
#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/setting_catalog.h"
#include "settings/common/settings_frame.h"
#include "settings/common/up_down.h"

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
    : CSettingsPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CPageImg"));
    BuildControls();
    dropRefresh_.setSingleShot(true);
    dropRefresh_.setInterval(0);
    connect(&dropRefresh_, &QTimer::timeout, this, [this] {
        if (SettingsFrame* frame = Frame())
            frame->QueryControl();
    });
    SetControlsEnabled(*this, FullGroup(), false);
    // Until the model rules have run, one list stands in for the three, disabled with the
    // rest of the page; list C would otherwise lie on top of it and stay usable.
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
        auto* list = Control<QComboBox>(mode.list);
        FillList(*list, mode.table);
        list->setGeometry(listX, 12, listWidth, 24);
        lists_.push_back({list, mode.table, mode.member});
    }

    // Numeric settings, one row each.
    struct Number {
        const char* name;
        int edit;
        int upDown;
        int set;
        int* member;
    };
    const Number numbers[] = {
        {"brightness", kBrightnessEdit, kBrightnessUpDown, kBrightnessSet, &brightness_},
        {"contrast", kContrastEdit, kContrastUpDown, kContrastSet, &contrast_},
        {"sharpness", kSharpnessEdit, kSharpnessUpDown, kSharpnessSet, &sharpness_},
        {"brilliant-color", kBrilliantColorEdit, kBrilliantColorUpDown, kBrilliantColorSet,
         &brilliantColor_},
        {"phase", kPhaseEdit, kPhaseUpDown, kPhaseSet, &phase_},
    };
    int y = 52;
    for (const Number& number : numbers) {
        const SettingDef& def = Setting(number.name);
        Caption(this, QString::fromLatin1(def.label), 12, y, 110);
        NumberField field =
            MakeNumberField(number.edit, number.upDown, number.set, def.low, def.high);
        PlaceNumberField(field, listX, y);
        numbers_.push_back({&def, field, number.member});
        y += 36;
    }

    // The other lists, in a second column.
    struct Other {
        const char* name;
        int id;
        int* member;
    };
    const Other others[] = {
        {"degamma", kDegamma, &degammaIndex_},
        {"color-temperature", kColorTemperature, &colorTempIndex_},
        {"color-space", kColorSpace, &colorSpaceIndex_},
        {"closed-captioning", kClosedCaptioning, &captionIndex_},
    };
    y = 12;
    for (const Other& other : others) {
        const SettingDef& def = Setting(other.name);
        QLabel* caption =
            other.id == kClosedCaptioning
                ? Control<QLabel>(kClosedCaptioningLabel, QString::fromLatin1(def.label))
                : Caption(this, QString::fromLatin1(def.label), 0, 0, 0);
        caption->setGeometry(280, y, 120, 22);
        auto* list = Control<QComboBox>(other.id);
        FillList(*list, def.options);
        list->setGeometry(400, y, 90, 24);
        lists_.push_back({list, def.options, other.member});
        y += 36;
    }

    // Connected once every entry has its final address.
    for (const ChoiceList& choice : lists_) {
        // Only the operator's choice sends; a reply filling the list does not.
        connect(choice.list, &QComboBox::activated, this,
                [this, &choice](int) { OnListChosen(choice); });
    }
    for (const NumberSetting& setting : numbers_) {
        setting.field.upDown->setDeltaHandler(
            [this, &setting](int delta) { return OnUpDown(setting, delta); });
        connect(setting.field.set, &QPushButton::clicked, this,
                [this, &setting] { OnSet(setting); });
    }
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

// --- data exchange ----------------------------------------------------------------------------

void CPageImg::ReadLists() {
    for (const ChoiceList& choice : lists_)
        *choice.member = choice.list->currentIndex();
}

bool CPageImg::ReadControls() {
    ReadLists();
    for (const NumberSetting& setting : numbers_) {
        if (!ReadInt(setting.field.edit, setting.def->low, setting.def->high, *setting.member))
            return false;
    }
    return true;
}

void CPageImg::WriteControls() {
    for (const ChoiceList& choice : lists_)
        SelectRow(*choice.list, *choice.member);
    for (const NumberSetting& setting : numbers_)
        setting.field.edit->setText(QString::number(*setting.member));
}

// --- the control reply ------------------------------------------------------------------------

void CPageImg::ParseReply(const std::string& reply) {
    if (ReplyBeginsWith(reply, kControlReplyPrefix)) {
        // A field the reply does not carry (cut short, no digits) keeps what the page showed.
        for (const NumberSetting& setting : numbers_) {
            if (const auto value = CurrentValue(*setting.def, reply))
                *setting.member = *value;
        }
        const std::pair<const char*, int*> lists[] = {
            {"degamma", &degammaIndex_},
            {"color-temperature", &colorTempIndex_},
            {"color-space", &colorSpaceIndex_},
            {"closed-captioning", &captionIndex_},
        };
        for (const auto& [name, member] : lists) {
            if (const auto value = CurrentValue(Setting(name), reply))
                *member = *value;
        }

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
    const ControlReply control = ReadControlReply(reply);
    if (control.power == 0) {
        SetControlsEnabled(*this, FullGroup(), false);
        return;
    }
    SetControlsEnabled(*this, FullGroup(), true);
    if (control.avMute == 1) {
        SetControlsEnabled(*this, FullGroup(), false);
    } else if (control.sourceCode == 1 || control.sourceCode == 2) {
        // Phase means something only for the analogue (VGA) inputs.
        SetControlsEnabled(*this, PhaseGroup(), true);
    } else if (control.sourceCode != 0) {
        SetControlsEnabled(*this, PhaseGroup(), false);
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
    if (!modelRulesApplied_) {
        modelRulesApplied_ = true;
        findChild<QComboBox*>(ControlName(kModeListC))->setEnabled(true);
    }
}

// --- commands ---------------------------------------------------------------------------------

void CPageImg::OnListChosen(const ChoiceList& choice) {
    ReadLists();
    const std::string_view code = CommandAt(choice.table, *choice.member);
    if (!code.empty())
        Send(BuildCommand(code));
}

int CPageImg::OnUpDown(const NumberSetting& setting, int delta) {
    ReadLists();
    *setting.member = NumberIn(*setting.field.edit, *setting.member);
    if (auto body = BuildSettingBody(*setting.def, *setting.member + delta)) {
        Send(*body);
        return delta;
    }
    // Nothing beyond the range is sent, so the field does not move there either.
    return 0;
}

void CPageImg::OnSet(const NumberSetting& setting) {
    if (!ReadControls())
        return;
    if (auto body = BuildSettingBody(*setting.def, *setting.member))
        Send(*body);
}

// --- the page's own replies -------------------------------------------------------------------

void CPageImg::OnReply(const MsgCmd& slot) {
    if (BeginsWithOk(slot.reply))
        return;
    SetControlsEnabled(*this, FullGroup(), false);
    RequestFreshState();
}

void CPageImg::OnDropped(const std::string&) {
    // The setting was never sent; the fields may show a value the projector does not have.
    dropRefresh_.start();
}

}  // namespace vistrel
