#include "settings/projector/page_disp.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "controls/set_button.h"
#include "protocol/codec.h"
#include "protocol/setting_catalog.h"
#include "settings/common/settings_frame.h"
#include "settings/common/up_down.h"

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
    : CSettingsPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CPageDisp"));
    BuildControls();
    dropRefresh_.setSingleShot(true);
    dropRefresh_.setInterval(0);
    connect(&dropRefresh_, &QTimer::timeout, this, [this] {
        if (SettingsFrame* frame = Frame())
            frame->QueryControl();
    });
    SetControlsEnabled(*this, FullGroup(), false);
}

void CPageDisp::BuildControls() {
    const int fieldX = 130;
    int y = 12;
    const std::pair<const char*, std::pair<int, int*>> lists[] = {
        {"projection", {kProjection, &projectionIndex_}},
        {"display-format", {kDisplayFormat, &formatIndex_}},
    };
    for (const auto& [name, control] : lists) {
        const SettingDef& def = Setting(name);
        Caption(this, QString::fromLatin1(def.label), 12, y, 110);
        auto* list = Control<QComboBox>(control.first);
        FillList(*list, def.options);
        list->setGeometry(fieldX, y, 140, 24);
        lists_.push_back({&def, list, control.second});
        y += 36;
    }

    struct Number {
        const char* name;
        int edit;
        int upDown;
        int set;
        int* member;
    };
    const Number numbers[] = {
        {"zoom", kZoomEdit, kZoomUpDown, kZoomSet, &zoom_},
        {"image-shift", kImageShiftEdit, kImageShiftUpDown, kImageShiftSet, &imageShift_},
        {"keystone", kKeystoneEdit, kKeystoneUpDown, kKeystoneSet, &keystone_},
    };
    for (const Number& number : numbers) {
        const SettingDef& def = Setting(number.name);
        Caption(this, QString::fromLatin1(def.label), 12, y, 110);
        NumberField field =
            MakeNumberField(number.edit, number.upDown, number.set, def.low, def.high);
        PlaceNumberField(field, fieldX, y);
        numbers_.push_back({&def, field, number.member});
        y += 36;
    }

    // Connected once every entry has its final address.
    for (const ChoiceList& choice : lists_) {
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

void CPageDisp::ReadLists() {
    for (const ChoiceList& choice : lists_)
        *choice.member = choice.list->currentIndex();
}

bool CPageDisp::ReadControls() {
    ReadLists();
    for (const NumberSetting& setting : numbers_) {
        if (!ReadInt(setting.field.edit, setting.def->low, setting.def->high, *setting.member))
            return false;
    }
    return true;
}

void CPageDisp::WriteControls() {
    for (const ChoiceList& choice : lists_)
        SelectRow(*choice.list, *choice.member);
    for (const NumberSetting& setting : numbers_)
        setting.field.edit->setText(QString::number(*setting.member));
}

// --- the control reply ------------------------------------------------------------------------

void CPageDisp::ParseReply(const std::string& reply) {
    if (ReplyContains(reply, kControlTag)) {
        ApplyEnableState(reply);
        // A field the reply does not carry (cut short, no digits) keeps what the page showed.
        for (const ChoiceList& choice : lists_) {
            if (const auto value = CurrentValue(*choice.def, reply))
                *choice.member = *value;
        }
        for (const NumberSetting& setting : numbers_) {
            if (const auto value = CurrentValue(*setting.def, reply))
                *setting.member = *value;
        }
    } else if (ReplyContains(reply, kTimeoutText)) {
        // A time-out text has no power digit: the page is disabled until fresh state comes.
        ApplyEnableState(reply);
    }
    WriteControls();
}

void CPageDisp::ApplyEnableState(const std::string& reply) {
    const ControlReply control = ReadControlReply(reply);
    if (control.power == 0) {
        SetControlsEnabled(*this, FullGroup(), false);
        return;
    }
    SetControlsEnabled(*this, FullGroup(), true);
    if (control.avMute == 1) {
        SetControlsEnabled(*this, FullGroup(), false);
        return;
    }
    if (control.sourceCode == 0)
        SetControlsEnabled(*this, SignalGroup(), false);
}

// --- commands ---------------------------------------------------------------------------------

void CPageDisp::OnListChosen(const ChoiceList& choice) {
    ReadLists();
    if (auto body = BuildSettingBody(*choice.def, *choice.member))
        Send(*body);
}

int CPageDisp::OnUpDown(const NumberSetting& setting, int delta) {
    ReadLists();
    *setting.member = NumberIn(*setting.field.edit, *setting.member);
    if (auto body = BuildSettingBody(*setting.def, *setting.member + delta)) {
        Send(*body);
        return delta;
    }
    // Nothing beyond the range is sent, so the field does not move there either.
    return 0;
}

void CPageDisp::OnSet(const NumberSetting& setting) {
    if (!ReadControls())
        return;
    if (auto body = BuildSettingBody(*setting.def, *setting.member))
        Send(*body);
}

// --- the page's own replies -------------------------------------------------------------------

void CPageDisp::OnReply(const MsgCmd& slot) {
    if (BeginsWithOk(slot.reply))
        return;
    SetControlsEnabled(*this, FullGroup(), false);
    RequestFreshState();
}

void CPageDisp::OnDropped(const std::string&) {
    // The setting was never sent; the fields may show a value the projector does not have.
    dropRefresh_.start();
}

}  // namespace vistrel
