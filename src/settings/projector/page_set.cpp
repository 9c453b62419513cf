#include "settings/projector/page_set.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "controls/set_button.h"
#include "protocol/codec.h"
#include "protocol/setting_catalog.h"
#include "protocol/text_encoding.h"
#include "protocol/wire_fields.h"
#include "settings/common/field_width.h"
#include "settings/common/settings_frame.h"

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
    : CCatalogPage(frame, frameWidget, parent, FullGroup()) {
    setObjectName(QStringLiteral("CPageSet"));
    BuildControls();
    SetAllEnabled(false);
}

void CPageSet::BuildControls() {
    const int fieldX = 130;
    const RowLayout layout{116, 110};
    const ListRow lists[] = {
        {"background-color", kBackgroundColor, &backgroundIndex_},
        {"logo", kLogo, &logoIndex_},
    };
    int y = AddListRows(lists, 12, layout);

    const SettingDef& message = Setting("display-message");
    Caption(this, QString::fromLatin1(message.label), 12, y, 116);
    messageEdit_ = Control<QLineEdit>(kMessageEdit);
    LimitToProjectorField(messageEdit_, message.textWidth);
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
        AddToggle(def, box.id, box.member)->setGeometry(box.x, box.y, 170, 24);
    }
    y += 70;

    const NumberRow numbers[] = {
        {"projector-id", kProjectorIdEdit, kProjectorIdUpDown, kProjectorIdSet, &projectorId_},
        {"sleep-timer", kSleepTimerEdit, kSleepTimerUpDown, kSleepTimerSet, &sleepTimer_},
    };
    y = AddNumberRows(numbers, y, layout);
    // The sleep timer moves only in steps of its up-down; its "Set" button exists unseen.
    findChild<QLineEdit*>(ControlName(kSleepTimerEdit))->setReadOnly(true);
    findChild<QPushButton*>(ControlName(kSleepTimerSet))->hide();

    const SettingDef& reset = Setting("reset-all");
    auto* resetAll = Control<QPushButton>(kResetAll, QString::fromLatin1(reset.label));
    resetAll->setGeometry(fieldX, y + 8, 100, 28);
    connect(resetAll, &QPushButton::clicked, this, &CPageSet::OnResetAll);

    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

// --- data exchange ----------------------------------------------------------------------------

void CPageSet::LimitMessage() {
    // The field counts bytes; characters beyond one byte could make 30 of them too long.
    // The field counts the projector's bytes; a pasted text may hold more than it takes.
    const size_t width = Setting("display-message").textWidth;
    QString text = messageEdit_->text();
    if (ProjectorTextSize(text.toStdString()) <= width)
        return;
    while (!text.isEmpty() && ProjectorTextSize(text.toStdString()) > width)
        text.chop(text.back().isLowSurrogate() && text.size() > 1 ? 2 : 1);
    const int cursor = messageEdit_->cursorPosition();
    messageEdit_->setText(text);
    messageEdit_->setCursorPosition(
        std::min(cursor, static_cast<int>(messageEdit_->text().size())));
}

// --- the control reply ------------------------------------------------------------------------

void CPageSet::ParseReply(const std::string& reply) {
    if (ReplyContains(reply, kControlTag)) {
        // Toggles as the operator sees them: "Information Hide" is reported as 0 when on.
        TakeReportedValues(reply);
        ApplyEnableState(reply);
    } else if (ReplyContains(reply, kTimeoutText)) {
        // A time-out text has no power digit: the page is disabled until fresh state comes.
        ApplyEnableState(reply);
    }
    WriteControls();
}

void CPageSet::ApplyEnableState(const std::string& reply) {
    const auto control = EnableForPower(reply);
    if (control && control->avMute == 1)
        SetControlsEnabled(*this, MutedGroup(), false);
}

// --- commands ---------------------------------------------------------------------------------

void CPageSet::OnSend() {
    // The message alone: a half-typed number elsewhere on the page is not its business.
    ReadChoices();
    // Sent in the projector's encoding: "Café" is four bytes of the 30.
    const auto message = ProjectorBytesOf(this, QStringLiteral("Message"), messageEdit_->text());
    if (!message)
        return;
    message_ = *message;
    Send(BuildTextSettingBody(Setting("display-message"), message_));
}

void CPageSet::OnResetAll() {
    ReadChoices();
    // No confirmation: the button says what it does.
    Send(BuildActionBody(Setting("reset-all")));
}

// --- the page's own replies -------------------------------------------------------------------

void CPageSet::OnReply(const MsgCmd& slot) {
    int sent = 0;
    if (const Toggle* toggle = ToggleOfBody(slot.body, &sent)) {
        // A refused change puts the box back to the state it had before the click.
        const bool ok = slot.reply.find("OK") != std::string::npos;
        if (!ok)
            ReportFailure(slot);
        SettleToggle(*toggle, ok ? sent : 1 - sent);
        return;
    }
    if (ContainsOk(slot.reply)) {
        // A reset changes what every page shows: fetch it rather than show stale values.
        if (slot.body == BuildActionBody(Setting("reset-all")))
            if (SettingsFrame* frame = Frame())
                frame->QueryControl();
        return;
    }
    // A message or reset that did not take must not look like one that did.
    ReportFailure(slot);
    SetAllEnabled(false);
    RequestFreshState();
}

}  // namespace vistrel
