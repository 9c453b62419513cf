#include "settings/projector/page_prj.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/set_button.h"
#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/option_tables.h"
#include "protocol/setting_catalog.h"
#include "protocol/wire_fields.h"
#include "settings/common/field_width.h"
#include "settings/projector/prj_set_dlg.h"

namespace vistrel {

namespace {

constexpr int kRefreshDelayMs = 2000;
constexpr std::string_view kSetGroupBody = "set=group";

constexpr int kPowerOnDigit = 1;
constexpr int kStandbyDigit = 2;

// What "Power status:" shows for a reported power digit: standby is neither on nor off.
std::string PowerLabel(int digit) {
    if (digit == kStandbyDigit)
        return "Standby";
    return std::string(LabelByCode(kPowerTable, digit));
}

// The power button offers the way out of the reported state: only a projector that is on
// is switched off; off, standby or anything else is switched on. Label and command agree.
QString PowerButtonText(int powerState) {
    return powerState == kPowerOnDigit ? QStringLiteral("Power OFF") : QStringLiteral("Power ON");
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

const std::vector<int>& CPagePrj::FullGroup() {
    static const std::vector<int> ids = {
        kAutoPowerOffEdit,
        kAutoPowerOffUpDown,
        kAutoPowerOffSet,
        kDirectPower,
        kSource,
        kResync,
        kSourceLock,
        kFreeze,
        kAvMute,
        kAutoKeystone,
        kVolumeEdit,
        kVolumeUpDown,
        kVolumeSet,
        kGroupNameEdit,
        kProjectorNameEdit,
        kApply,
    };
    return ids;
}

const std::vector<int>& CPagePrj::MutedGroup() {
    static const std::vector<int> ids = {kFreeze,       kAutoKeystone, kResync, kVolumeEdit,
                                         kVolumeUpDown, kVolumeSet,    kSource};
    return ids;
}

CPagePrj::CPagePrj(CPrjSetDlg& dialog, QWidget* frameWidget, QWidget* parent)
    : CCatalogPage(dialog, frameWidget, parent, FullGroup()), dialog_(dialog) {
    setObjectName(QStringLiteral("CPagePrj"));
    BuildControls();

    timer8_.setSingleShot(true);
    timer8_.setInterval(kRefreshDelayMs);
    connect(&timer8_, &QTimer::timeout, this, &CPagePrj::OnTimer8);

    powerState_ = 0;
    powerButton_->setText(QStringLiteral("Power ON"));
    powerButton_->setEnabled(true);
    SetAllEnabled(false);
}

void CPagePrj::BuildControls() {
    auto place = [](QWidget* w, int x, int y, int width, int height = 22) {
        w->setGeometry(x, y, width, height);
    };
    auto label = [](const char* name) { return QString::fromLatin1(Setting(name).label); };

    // Power and timers.
    Caption(this, QStringLiteral("Power status:"), 12, 12, 100);
    powerLabel_ = Control<QLabel>(kPowerText);
    place(powerLabel_, 116, 12, 70);
    powerButton_ = Control<QPushButton>(kPowerButton);
    place(powerButton_, 196, 10, 96, 26);
    connect(powerButton_, &QPushButton::clicked, this, &CPagePrj::OnPowerClicked);

    Caption(this, label("auto-power-off"), 12, 46, 100);
    const NumberField autoPowerOff =
        AddNumber(Setting("auto-power-off"), kAutoPowerOffEdit, kAutoPowerOffUpDown,
                  kAutoPowerOffSet, &autoPowerOff_);
    autoPowerOff.edit->setReadOnly(true);
    PlaceNumberField(autoPowerOff, 116, 46);
    autoPowerOff.set->hide();
    place(AddToggle(Setting("direct-power"), kDirectPower, &directPower_), 196, 46, 110);

    // Source.
    Caption(this, label("source"), 12, 82, 100);
    QComboBox* source = AddList(&Setting("source"), kSourceTable, kSource, &sourceIndex_);
    place(source, 116, 82, 100);
    // A new source takes a moment to settle before its state is worth reading.
    connect(source, &QComboBox::activated, this, [this] { timer8_.start(); });
    auto* resync = Control<QPushButton>(kResync, label("resync"));
    place(resync, 224, 80, 80, 26);
    connect(resync, &QPushButton::clicked, this, &CPagePrj::OnResync);

    place(AddToggle(Setting("source-lock"), kSourceLock, &sourceLock_), 12, 116, 110);
    place(AddToggle(Setting("freeze"), kFreeze, &freeze_), 130, 116, 120);

    // Volume.
    Caption(this, label("volume"), 12, 150, 100);
    PlaceNumberField(AddNumber(Setting("volume"), kVolumeEdit, kVolumeUpDown, kVolumeSet, &volume_),
                     116, 150);

    place(AddToggle(Setting("av-mute"), kAvMute, &avMute_), 12, 184, 110);
    place(AddToggle(Setting("auto-keystone"), kAutoKeystone, &autoKeystone_), 130, 184, 130);

    // Group and name.
    groupEdit_ = NameRow(this, QStringLiteral("Group Name"), kGroupNameEdit, 232);
    nameEdit_ = NameRow(this, QStringLiteral("Projector Name:"), kProjectorNameEdit, 264);
    // What the operator types stays until Apply, whatever replies come in meanwhile.
    connect(groupEdit_, &QLineEdit::textEdited, this, [this] { groupEdited_ = true; });
    connect(nameEdit_, &QLineEdit::textEdited, this, [this] { nameEdited_ = true; });
    auto* apply = Control<QPushButton>(kApply, QStringLiteral("Apply"));
    place(apply, 344, 262, 80, 26);
    connect(apply, &QPushButton::clicked, this, &CPagePrj::OnApply);

    // Status column.
    Caption(this, QStringLiteral("Lamp hour:"), 320, 46, 90);
    lampLabel_ = Control<QLabel>(kLampHour, QStringLiteral("100 hr"));
    place(lampLabel_, 412, 46, 80);
    Caption(this, QStringLiteral("FW version:"), 320, 82, 90);
    fwLabel_ = Control<QLabel>(kFwVersion, QStringLiteral("1.0.0"));
    place(fwLabel_, 412, 82, 80);
    Caption(this, QStringLiteral("Bright mode:"), 320, 116, 90);
    brightLabel_ = Control<QLabel>(kBrightMode, QStringLiteral("ECO"));
    place(brightLabel_, 412, 116, 80);
    Caption(this, QStringLiteral("Error status:"), 320, 150, 90);
    auto* error = Control<QLabel>(kErrorStatus, QStringLiteral("normal"));
    place(error, 412, 150, 80);

    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

// --- data exchange ----------------------------------------------------------------------------

void CPagePrj::ShowState() {
    powerLabel_->setText(Q(powerText_));
    WriteControls();
    if (!groupEdited_)
        groupEdit_->setText(ShownProjectorText(newGroupName_));
    if (!nameEdited_)
        nameEdit_->setText(ShownProjectorText(newProjectorName_));
    lampLabel_->setText(Q(lampHour_));
    fwLabel_->setText(Q(fwVersion_));
    brightLabel_->setText(Q(brightMode_));
}

// --- replies the frame passes on -----------------------------------------------------------------

void CPagePrj::ParseReply(const std::string& reply) {
    if (ReplyBeginsWith(reply, kControlReplyPrefix)) {
        powerState_ = ReadControlReply(reply).power;
        powerText_ = PowerLabel(powerState_);
        powerButton_->setText(PowerButtonText(powerState_));
        TakeReportedValues(reply);
        if (const auto bright = ReportedNumber(Setting("bright-mode"), reply))
            brightMode_ = std::string(LabelByCode(kBrightModeTable, *bright));
        ApplyEnableState(reply);
        ShowState();
    } else if (ReplyContains(reply, kGroupTag)) {
        const GroupNames names = ReadGroupNames(reply);
        newGroupName_ = names.groupName;
        dialog_.SetHeaderGroup(newGroupName_);
        newProjectorName_ = names.projectorName;
        dialog_.SetHeaderName(newProjectorName_);
        ShowState();
    } else if (ReplyBeginsWith(reply, kInfoReplyPrefix)) {
        // An info reply without its "OK" carries nothing: the page keeps what it showed.
        Info info;
        if (ParseInfoReply(reply, info)) {
            if (info.power == "standby") {
                powerText_ = "Standby";
            } else {
                lampHour_ = info.lampHour;
                fwVersion_ = info.fwVersion;
            }
        }
        ShowState();
    } else if (ReplyBeginsWith(reply, kModelReplyPrefix)) {
        dialog_.console().modelCode = ParseModelReply(reply).value_or(std::string());
        ApplyEnableState(reply);
        ShowState();
    } else if (ReplyContains(reply, kTimeoutElement)) {
        powerState_ = 0;
        powerText_ = "OFF";
        powerButton_->setText(QStringLiteral("Power ON"));
        ApplyEnableState(reply);
        ShowState();
    }
}

void CPagePrj::ShowNotAnswering() {
    powerText_ = "No answer";
    powerLabel_->setText(Q(powerText_));
    SetAllEnabled(false);
}

void CPagePrj::ApplyEnableState(const std::string& reply) {
    const auto control = EnableForPower(reply);
    if (!control)
        return;
    if (control->avMute == 1)
        SetControlsEnabled(*this, MutedGroup(), false);
    if (const auto offered = OffersAutoKeystone(dialog_.console().modelCode))
        SetControlsEnabled(*this, {kAutoKeystone}, *offered);
}

// --- commands ---------------------------------------------------------------------------------

void CPagePrj::OnPowerClicked() {
    ReadChoices();
    Send(BuildCommand(CommandAt(kPowerTable, powerState_ == kPowerOnDigit ? 1 : 0)));
    powerButton_->setEnabled(false);
}

void CPagePrj::OnResync() {
    ReadChoices();
    Send(BuildActionBody(Setting("resync")));
    timer8_.start();
}

void CPagePrj::OnApply() {
    ReadChoices();
    // A name left alone goes back with the bytes the projector gave; a typed one is encoded
    // for the projector, and a character it cannot carry stops the Apply.
    const auto group =
        ProjectorBytesOf(this, QStringLiteral("Group Name"), groupEdit_->text(), newGroupName_);
    if (!group)
        return;
    const auto name = ProjectorBytesOf(this, QStringLiteral("Projector Name"), nameEdit_->text(),
                                       newProjectorName_);
    if (!name)
        return;
    groupEdited_ = false;
    nameEdited_ = false;
    Send(BuildGroupRecord(*group, *name));
}

void CPagePrj::OnTimer8() {
    timer8_.stop();
    Send(std::string(kQueryControlBody));
}

// --- the page's own replies ---------------------------------------------------------------------

void CPagePrj::OnReply(const MsgCmd& slot) {
    ReadChoices();
    const std::string& body = slot.body;
    const std::string& reply = slot.reply;
    const SettingDef& power = Setting("power");
    int sent = 0;

    if (body == BuildSettingBody(power, 1) || body == BuildSettingBody(power, 0)) {
        if (BeginsWithOk(reply)) {
            // The state is the one the acknowledged command asked for.
            powerState_ = body == BuildSettingBody(power, 1) ? kPowerOnDigit : 0;
            dialog_.RecordPowerState(powerState_ != 0 ? "1" : "0");
            dialog_.QueryModel();
            dialog_.Flush();
            dialog_.QueryControl();
        } else {
            ReportFailure(slot);
            powerButton_->setText(PowerButtonText(powerState_));
        }
        powerButton_->setEnabled(true);
    } else if (const Toggle* toggle = ToggleOfBody(body, &sent)) {
        const bool ok = BeginsWithOk(reply);
        if (!ok)
            ReportFailure(slot);
        SettleToggle(*toggle, ok ? sent : 1 - sent);
        if (toggle->def == &Setting("av-mute")) {
            // The mute changes what the whole dialog may offer: wait for the control reply.
            toggle->box->setEnabled(false);
            dialog_.Flush();
            dialog_.QueryControl();
        }
    } else if (body.starts_with(kSetGroupBody)) {
        if (ReplyBeginsWith(reply, kGroupReplyPrefix)) {
            const GroupNames names = ReadGroupNames(reply);
            newGroupName_ = names.groupName;
            newProjectorName_ = names.projectorName;
            dialog_.SetHeaderGroup(names.groupName);
            dialog_.SetHeaderName(names.projectorName);
        } else if (BeginsWithOk(reply)) {
            // A projector acknowledges the record without echoing the names: it now holds
            // the names that were sent, so the header shows those. The edits keep what the
            // operator typed.
            const size_t groupAt = kSetGroupBody.size();
            newGroupName_ = TextAt(body, groupAt, kTextFieldWidth);
            newProjectorName_ = TextAt(body, groupAt + kTextFieldWidth, kTextFieldWidth);
            dialog_.SetHeaderGroup(newGroupName_);
            dialog_.SetHeaderName(newProjectorName_);
        } else {
            ReportFailure(slot);
        }
    } else {
        CCatalogPage::OnReply(slot);
    }
}

void CPagePrj::OnDropped(const std::string& body) {
    // No reply will come for this request. The power button waits for it: give it back; the
    // base puts a check box back as it was and asks for the projector's real state.
    const SettingDef& power = Setting("power");
    if (body == BuildSettingBody(power, 1) || body == BuildSettingBody(power, 0))
        powerButton_->setEnabled(true);
    else if (body.starts_with("query="))
        return;
    CCatalogPage::OnDropped(body);
}

}  // namespace vistrel
