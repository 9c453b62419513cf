#include "settings/projector/page_set.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "controls/set_button.h"
#include "protocol/codec.h"
#include "protocol/setting_catalog.h"
#include "protocol/wire_fields.h"
#include "settings/common/settings_frame.h"
#include "settings/common/up_down.h"

namespace vistrel {

const std::vector<int>& CPageSet::FullGroup() {
    static const std::vector<int> ids = {
        kBackgroundColor,   kLogo,           kBrightMode,
        kHighAltitude,      kKeypadLock,     kProjectorIdEdit,
        kProjectorIdUpDown, kProjectorIdSet, kSleepTimerEdit,
        kSleepTimerUpDown,  kSleepTimerSet,  kInformationHide,
        kMessageEdit,
    };
    return ids;
}

const std::vector<int>& CPageSet::MutedGroup() {
    static const std::vector<int> ids = {kBrightMode};
    return ids;
}

CPageSet::CPageSet(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CSettingsPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CPageSet"));
    BuildControls();
    dropRefresh_.setSingleShot(true);
    dropRefresh_.setInterval(0);
    connect(&dropRefresh_, &QTimer::timeout, this, [this] {
        if (SettingsFrame* frame = Frame())
            frame->QueryControl();
    });
    SetControlsEnabled(*this, FullGroup(), false);
}

void CPageSet::BuildControls() {
    const int fieldX = 130;
    int y = 12;
    const std::pair<const char*, std::pair<int, int*>> lists[] = {
        {"background-color", {kBackgroundColor, &backgroundIndex_}},
        {"logo", {kLogo, &logoIndex_}},
    };
    for (const auto& [name, control] : lists) {
        const SettingDef& def = Setting(name);
        Caption(this, QString::fromLatin1(def.label), 12, y, 116);
        auto* list = Control<QComboBox>(control.first);
        FillList(*list, def.options);
        list->setGeometry(fieldX, y, 110, 24);
        lists_.push_back({&def, list, control.second});
        y += 36;
    }

    const SettingDef& message = Setting("display-message");
    Caption(this, QString::fromLatin1(message.label), 12, y, 116);
    messageEdit_ = Control<QLineEdit>(kMessageEdit);
    messageEdit_->setMaxLength(static_cast<int>(message.textWidth));
    messageEdit_->setGeometry(fieldX, y, 260, 22);
    connect(messageEdit_, &QLineEdit::textChanged, this, &CPageSet::LimitMessage);
    auto* send = Control<QPushButton>(kSend, QStringLiteral("Send"));
    send->setGeometry(fieldX + 268, y - 2, 70, 26);
    connect(send, &QPushButton::clicked, this, &CPageSet::OnSend);
    y += 40;

    struct Box {
        const char* name;
        int id;
        int* member;
        int x;
        int y;
    };
    const Box boxes[] = {
        {"bright-mode", kBrightMode, &brightModeOn_, 12, y},
        {"information-hide", kInformationHide, &infoHide_, 200, y},
        {"high-altitude", kHighAltitude, &highAltitude_, 12, y + 30},
        {"keypad-lock", kKeypadLock, &keypadLock_, 200, y + 30},
    };
    for (const Box& box : boxes) {
        const SettingDef& def = Setting(box.name);
        auto* check = Control<QCheckBox>(box.id, QString::fromLatin1(def.label));
        check->setGeometry(box.x, box.y, 170, 24);
        toggles_.push_back({&def, check, box.member});
    }
    y += 70;

    struct Number {
        const char* name;
        int edit;
        int upDown;
        int set;
        int* member;
    };
    const Number numbers[] = {
        {"projector-id", kProjectorIdEdit, kProjectorIdUpDown, kProjectorIdSet, &projectorId_},
        {"sleep-timer", kSleepTimerEdit, kSleepTimerUpDown, kSleepTimerSet, &sleepTimer_},
    };
    for (const Number& number : numbers) {
        const SettingDef& def = Setting(number.name);
        Caption(this, QString::fromLatin1(def.label), 12, y, 116);
        NumberField field =
            MakeNumberField(number.edit, number.upDown, number.set, def.low, def.high);
        PlaceNumberField(field, fieldX, y);
        numbers_.push_back({&def, field, number.member});
        y += 36;
    }
    // The sleep timer moves only in steps of its up-down; its "Set" button exists unseen.
    numbers_[1].field.edit->setReadOnly(true);
    numbers_[1].field.set->hide();

    const SettingDef& reset = Setting("reset-all");
    auto* resetAll = Control<QPushButton>(kResetAll, QString::fromLatin1(reset.label));
    resetAll->setGeometry(fieldX, y + 8, 100, 28);
    connect(resetAll, &QPushButton::clicked, this, &CPageSet::OnResetAll);

    // Connected once every entry has its final address.
    for (const ChoiceList& choice : lists_) {
        connect(choice.list, &QComboBox::activated, this,
                [this, &choice](int) { OnListChosen(choice); });
    }
    for (const Toggle& toggle : toggles_) {
        connect(toggle.box, &QCheckBox::clicked, this,
                [this, &toggle] { OnToggleClicked(toggle); });
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

void CPageSet::ReadChoices() {
    for (const ChoiceList& choice : lists_)
        *choice.member = choice.list->currentIndex();
    for (const Toggle& toggle : toggles_)
        *toggle.member = toggle.box->isChecked() ? 1 : 0;
    message_ = TextOf(*messageEdit_);
}

bool CPageSet::ReadControls() {
    ReadChoices();
    for (const NumberSetting& setting : numbers_) {
        if (!ReadInt(setting.field.edit, setting.def->low, setting.def->high, *setting.member))
            return false;
    }
    return true;
}

void CPageSet::WriteControls() {
    for (const ChoiceList& choice : lists_)
        SelectRow(*choice.list, *choice.member);
    for (const Toggle& toggle : toggles_)
        toggle.box->setChecked(*toggle.member != 0);
    for (const NumberSetting& setting : numbers_)
        setting.field.edit->setText(QString::number(*setting.member));
    // The message is not written back: no reply carries it, and the operator may be typing.
}

void CPageSet::LimitMessage() {
    // The field counts bytes; characters beyond one byte could make 30 of them too long.
    const std::string text = TextOf(*messageEdit_);
    const size_t width = Setting("display-message").textWidth;
    if (text.size() <= width)
        return;
    const int cursor = messageEdit_->cursorPosition();
    messageEdit_->setText(QString::fromStdString(std::string(CutToWidth(text, width))));
    messageEdit_->setCursorPosition(
        std::min(cursor, static_cast<int>(messageEdit_->text().size())));
}

// --- the control reply ------------------------------------------------------------------------

void CPageSet::ParseReply(const std::string& reply) {
    if (ReplyContains(reply, kControlTag)) {
        // A field the reply does not carry (cut short, no digits) keeps what the page showed.
        for (const ChoiceList& choice : lists_) {
            if (const auto value = CurrentValue(*choice.def, reply))
                *choice.member = *value;
        }
        // Toggles as the operator sees them: "Information Hide" is reported as 0 when on.
        for (const Toggle& toggle : toggles_) {
            if (const auto value = CurrentValue(*toggle.def, reply))
                *toggle.member = *value;
        }
        for (const NumberSetting& setting : numbers_) {
            if (const auto value = CurrentValue(*setting.def, reply))
                *setting.member = *value;
        }
        ApplyEnableState(reply);
    } else if (ReplyContains(reply, kTimeoutText)) {
        // A time-out text has no power digit: the page is disabled until fresh state comes.
        ApplyEnableState(reply);
    }
    WriteControls();
}

void CPageSet::ApplyEnableState(const std::string& reply) {
    const ControlReply control = ReadControlReply(reply);
    if (control.power == 0) {
        SetControlsEnabled(*this, FullGroup(), false);
        return;
    }
    SetControlsEnabled(*this, FullGroup(), true);
    if (control.avMute == 1)
        SetControlsEnabled(*this, MutedGroup(), false);
}

// --- commands ---------------------------------------------------------------------------------

void CPageSet::OnListChosen(const ChoiceList& choice) {
    ReadChoices();
    if (auto body = BuildSettingBody(*choice.def, *choice.member))
        Send(*body);
}

void CPageSet::OnToggleClicked(const Toggle& toggle) {
    ReadChoices();
    if (auto body = BuildSettingBody(*toggle.def, *toggle.member))
        Send(*body);
    // Until the projector answers, the box shows a wish, not a state.
    toggle.box->setEnabled(false);
}

int CPageSet::OnUpDown(const NumberSetting& setting, int delta) {
    ReadChoices();
    *setting.member = NumberIn(*setting.field.edit, *setting.member);
    if (setting.def->step != 1)
        delta = delta > 0 ? setting.def->step : -setting.def->step;
    if (auto body = BuildSettingBody(*setting.def, *setting.member + delta)) {
        Send(*body);
        return delta;
    }
    // Nothing beyond the range is sent, so the field does not move there either (the sleep
    // timer would otherwise show 999 while the projector keeps 995).
    return 0;
}

void CPageSet::OnSet(const NumberSetting& setting) {
    if (!ReadControls())
        return;
    if (auto body = BuildSettingBody(*setting.def, *setting.member))
        Send(*body);
}

void CPageSet::OnSend() {
    if (!ReadControls())
        return;
    Send(BuildTextSettingBody(Setting("display-message"), message_));
}

void CPageSet::OnResetAll() {
    ReadChoices();
    // No confirmation: the button says what it does.
    Send(BuildActionBody(Setting("reset-all")));
}

// --- the page's own replies -------------------------------------------------------------------

const CPageSet::Toggle* CPageSet::ToggleOfBody(const std::string& body, int* sentValue) const {
    for (const Toggle& toggle : toggles_) {
        for (int value : {0, 1}) {
            if (body == BuildSettingBody(*toggle.def, value)) {
                *sentValue = value;
                return &toggle;
            }
        }
    }
    return nullptr;
}

void CPageSet::OnReply(const MsgCmd& slot) {
    int sent = 0;
    if (const Toggle* toggle = ToggleOfBody(slot.body, &sent)) {
        // A refused change puts the box back to the state it had before the click.
        *toggle->member = slot.reply.find("OK") != std::string::npos ? sent : 1 - sent;
        toggle->box->setChecked(*toggle->member != 0);
        toggle->box->setEnabled(true);
        return;
    }
    if (ContainsOk(slot.reply)) {
        // A reset changes what every page shows: fetch it rather than show stale values.
        if (slot.body == BuildActionBody(Setting("reset-all")))
            if (SettingsFrame* frame = Frame())
                frame->QueryControl();
        return;
    }
    SetControlsEnabled(*this, FullGroup(), false);
    RequestFreshState();
}

void CPageSet::OnDropped(const std::string& body) {
    // No reply will come: give the box back as it was before the click; the control reply
    // asked for here brings the projector's real state.
    int sent = 0;
    if (const Toggle* toggle = ToggleOfBody(body, &sent)) {
        *toggle->member = 1 - sent;
        toggle->box->setChecked(*toggle->member != 0);
        toggle->box->setEnabled(true);
    }
    dropRefresh_.start();
}

}  // namespace vistrel
