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
#include "settings/common/up_down.h"
#include "settings/projector/prj_set_dlg.h"

namespace vistrel {

namespace {

constexpr int kRefreshDelayMs = 2000;
constexpr size_t kPowerOffset = 20;
constexpr size_t kAvMuteOffset = 25;
constexpr std::string_view kSetGroupBody = "set=group";

int DigitAt(const std::string& reply, size_t offset) {
    return IntAt(reply, offset, 1);
}

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
    : CSettingsPage(dialog, frameWidget, parent), dialog_(dialog) {
    setObjectName(QStringLiteral("CPagePrj"));
    BuildControls();

    timer8_.setSingleShot(true);
    timer8_.setInterval(kRefreshDelayMs);
    connect(&timer8_, &QTimer::timeout, this, &CPagePrj::OnTimer8);

    powerState_ = 0;
    powerButton_->setText(QStringLiteral("Power ON"));
    powerButton_->setEnabled(true);
    SetGroupEnabled(FullGroup(), false);
}

void CPagePrj::BuildControls() {
    auto caption = [this](const QString& text, int x, int y, int width = 100) {
        auto* label = new QLabel(text, this);
        label->setGeometry(x, y, width, 22);
        return label;
    };
    auto place = [](QWidget* w, int x, int y, int width, int height = 22) {
        w->setGeometry(x, y, width, height);
    };
    const SettingDef& autoPowerOff = Setting("auto-power-off");
    const SettingDef& volume = Setting("volume");

    // Power and timers.
    caption(QStringLiteral("Power status:"), 12, 12);
    powerLabel_ = Control<QLabel>(kPowerText);
    place(powerLabel_, 116, 12, 70);
    powerButton_ = Control<QPushButton>(kPowerButton);
    place(powerButton_, 196, 10, 96, 26);
    connect(powerButton_, &QPushButton::clicked, this, &CPagePrj::OnPowerClicked);

    caption(QString::fromLatin1(autoPowerOff.label), 12, 46);
    autoPowerOffField_ = MakeNumberField(kAutoPowerOffEdit, kAutoPowerOffUpDown, kAutoPowerOffSet,
                                         autoPowerOff.low, autoPowerOff.high);
    autoPowerOffField_.edit->setReadOnly(true);
    place(autoPowerOffField_.edit, 116, 46, 48);
    place(autoPowerOffField_.upDown, 164, 46, 16);
    place(autoPowerOffField_.set, 184, 47, 22, 20);
    autoPowerOffField_.set->hide();
    connect(autoPowerOffField_.set, &QPushButton::clicked, this, &CPagePrj::OnSetAutoPowerOff);
    autoPowerOffField_.upDown->setDeltaHandler(
        [this](int delta) { return OnUpDown(kAutoPowerOffUpDown, delta); });

    auto* directPower =
        Control<QCheckBox>(kDirectPower, QString::fromLatin1(Setting("direct-power").label));
    place(directPower, 196, 46, 110);

    // Source.
    caption(QString::fromLatin1(Setting("source").label), 12, 82);
    source_ = Control<QComboBox>(kSource);
    for (int i = 0; i < RowCount(kSourceTable); ++i)
        source_->addItem(QString::fromLatin1(LabelAt(kSourceTable, i)));
    source_->setCurrentIndex(-1);
    place(source_, 116, 82, 100);
    // Only the operator's choice sends; filling the list from a reply does not.
    connect(source_, &QComboBox::activated, this, &CPagePrj::OnSourceChosen);
    auto* resync = Control<QPushButton>(kResync, QString::fromLatin1(Setting("resync").label));
    place(resync, 224, 80, 80, 26);
    connect(resync, &QPushButton::clicked, this, &CPagePrj::OnResync);

    auto* sourceLock =
        Control<QCheckBox>(kSourceLock, QString::fromLatin1(Setting("source-lock").label));
    place(sourceLock, 12, 116, 110);
    auto* freeze = Control<QCheckBox>(kFreeze, QString::fromLatin1(Setting("freeze").label));
    place(freeze, 130, 116, 120);

    // Volume.
    caption(QString::fromLatin1(volume.label), 12, 150);
    volumeField_ = MakeNumberField(kVolumeEdit, kVolumeUpDown, kVolumeSet, volume.low, volume.high);
    place(volumeField_.edit, 116, 150, 48);
    place(volumeField_.upDown, 164, 150, 16);
    place(volumeField_.set, 184, 151, 22, 20);
    connect(volumeField_.set, &QPushButton::clicked, this, &CPagePrj::OnSetVolume);
    volumeField_.upDown->setDeltaHandler(
        [this](int delta) { return OnUpDown(kVolumeUpDown, delta); });

    auto* avMute = Control<QCheckBox>(kAvMute, QString::fromLatin1(Setting("av-mute").label));
    place(avMute, 12, 184, 110);
    auto* autoKeystone =
        Control<QCheckBox>(kAutoKeystone, QString::fromLatin1(Setting("auto-keystone").label));
    place(autoKeystone, 130, 184, 130);

    toggles_ = {
        {&Setting("direct-power"), directPower, &directPower_},
        {&Setting("source-lock"), sourceLock, &sourceLock_},
        {&Setting("freeze"), freeze, &freeze_},
        {&Setting("av-mute"), avMute, &avMute_},
        {&Setting("auto-keystone"), autoKeystone, &autoKeystone_},
    };
    for (const Toggle& toggle : toggles_) {
        connect(toggle.box, &QCheckBox::clicked, this,
                [this, &toggle] { OnToggleClicked(toggle); });
    }

    // Group and name.
    caption(QStringLiteral("Group Name"), 12, 232);
    groupEdit_ = Control<QLineEdit>(kGroupNameEdit);
    LimitToProjectorField(groupEdit_, kTextFieldWidth);
    place(groupEdit_, 116, 232, 220);
    caption(QStringLiteral("Projector Name:"), 12, 264);
    nameEdit_ = Control<QLineEdit>(kProjectorNameEdit);
    LimitToProjectorField(nameEdit_, kTextFieldWidth);
    place(nameEdit_, 116, 264, 220);
    // What the operator types stays until Apply, whatever replies come in meanwhile.
    connect(groupEdit_, &QLineEdit::textEdited, this, [this] { groupEdited_ = true; });
    connect(nameEdit_, &QLineEdit::textEdited, this, [this] { nameEdited_ = true; });
    auto* apply = Control<QPushButton>(kApply, QStringLiteral("Apply"));
    place(apply, 344, 262, 80, 26);
    connect(apply, &QPushButton::clicked, this, &CPagePrj::OnApply);

    // Status column.
    caption(QStringLiteral("Lamp hour:"), 320, 46, 90);
    lampLabel_ = Control<QLabel>(kLampHour, QStringLiteral("100 hr"));
    place(lampLabel_, 412, 46, 80);
    caption(QStringLiteral("FW version:"), 320, 82, 90);
    fwLabel_ = Control<QLabel>(kFwVersion, QStringLiteral("1.0.0"));
    place(fwLabel_, 412, 82, 80);
    caption(QStringLiteral("Bright mode:"), 320, 116, 90);
    brightLabel_ = Control<QLabel>(kBrightMode, QStringLiteral("ECO"));
    place(brightLabel_, 412, 116, 80);
    caption(QStringLiteral("Error status:"), 320, 150, 90);
    auto* error = Control<QLabel>(kErrorStatus, QStringLiteral("normal"));
    place(error, 412, 150, 80);

    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

// --- data exchange ----------------------------------------------------------------------------

void CPagePrj::ReadControls() {
    for (const Toggle& toggle : toggles_)
        *toggle.member = toggle.box->isChecked() ? 1 : 0;
    sourceIndex_ = source_->currentIndex();
    // The names are the projector's bytes; Apply turns the edits into bytes.
}

void CPagePrj::WriteControls() {
    powerLabel_->setText(Q(powerText_));
    // A setting no control reply has reported yet shows nothing and stays disabled, so no
    // arrow or box starts from a value nobody reported.
    auto number = [this](const NumberField& field, const int& member) {
        const bool known = reported_.contains(&member);
        field.edit->setText(known ? QString::number(member) : QString());
        if (!known) {
            field.edit->setEnabled(false);
            field.upDown->setEnabled(false);
            field.set->setEnabled(false);
        }
    };
    number(autoPowerOffField_, autoPowerOff_);
    number(volumeField_, volume_);
    for (const Toggle& toggle : toggles_) {
        const bool known = reported_.contains(toggle.member);
        toggle.box->setChecked(known && *toggle.member != 0);
        if (!known)
            toggle.box->setEnabled(false);
    }
    const bool sourceKnown = reported_.contains(&sourceIndex_);
    source_->setCurrentIndex(
        sourceKnown && sourceIndex_ >= 0 && sourceIndex_ < source_->count() ? sourceIndex_ : -1);
    if (!sourceKnown)
        source_->setEnabled(false);
    if (!groupEdited_)
        groupEdit_->setText(ShownProjectorText(newGroupName_));
    if (!nameEdited_)
        nameEdit_->setText(ShownProjectorText(newProjectorName_));
    lampLabel_->setText(Q(lampHour_));
    fwLabel_->setText(Q(fwVersion_));
    brightLabel_->setText(Q(brightMode_));
}

void CPagePrj::EnableControl(int id, bool enabled) {
    if (auto* widget = findChild<QWidget*>(ControlName(id)))
        widget->setEnabled(enabled);
}

void CPagePrj::SetGroupEnabled(const std::vector<int>& ids, bool enabled) {
    for (int id : ids)
        EnableControl(id, enabled);
}

// --- replies the frame passes on -----------------------------------------------------------------

void CPagePrj::ParseReply(const std::string& reply) {
    if (ReplyBeginsWith(reply, kControlReplyPrefix)) {
        powerState_ = DigitAt(reply, kPowerOffset);
        powerText_ = PowerLabel(powerState_);
        powerButton_->setText(PowerButtonText(powerState_));
        // A field the reply does not carry (cut short, no digits) keeps what the page showed.
        auto take = [this, &reply](const char* name, int& member) {
            if (const auto value = ReportedNumber(Setting(name), reply)) {
                member = *value;
                reported_.insert(&member);
            }
        };
        take("auto-power-off", autoPowerOff_);
        take("direct-power", directPower_);
        if (const auto source = CurrentValue(Setting("source"), reply)) {
            sourceIndex_ = *source;
            reported_.insert(&sourceIndex_);
        }
        take("source-lock", sourceLock_);
        take("freeze", freeze_);
        take("av-mute", avMute_);
        take("auto-keystone", autoKeystone_);
        take("volume", volume_);
        if (const auto bright = ReportedNumber(Setting("bright-mode"), reply))
            brightMode_ = std::string(LabelByCode(kBrightModeTable, *bright));
        ApplyEnableState(reply);
        WriteControls();
    } else if (ReplyContains(reply, kGroupTag)) {
        const GroupNames names = ReadGroupNames(reply);
        newGroupName_ = names.groupName;
        dialog_.SetHeaderGroup(newGroupName_);
        newProjectorName_ = names.projectorName;
        dialog_.SetHeaderName(newProjectorName_);
        WriteControls();
    } else if (ReplyBeginsWith(reply, kInfoReplyPrefix)) {
        if (ReplyBeginsWith(reply, "<return>\n<info>OK2")) {
            powerText_ = "Standby";
        } else {
            lampHour_ = std::string(FieldAt(reply, 18, 4));
            fwVersion_ = std::string(FieldAt(reply, 24, 4));
        }
        WriteControls();
    } else if (ReplyBeginsWith(reply, kModelReplyPrefix)) {
        dialog_.console().modelCode = ParseModelReply(reply).value_or(std::string());
        ApplyEnableState(reply);
        WriteControls();
    } else if (ReplyContains(reply, kTimeoutElement)) {
        powerState_ = 0;
        powerText_ = "OFF";
        powerButton_->setText(QStringLiteral("Power ON"));
        ApplyEnableState(reply);
        WriteControls();
    }
}

void CPagePrj::ShowNotAnswering() {
    powerText_ = "No answer";
    powerLabel_->setText(Q(powerText_));
    SetGroupEnabled(FullGroup(), false);
}

void CPagePrj::ApplyEnableState(const std::string& reply) {
    if (DigitAt(reply, kPowerOffset) == 0) {
        SetGroupEnabled(FullGroup(), false);
        return;
    }
    SetGroupEnabled(FullGroup(), true);
    if (DigitAt(reply, kAvMuteOffset) == 1)
        SetGroupEnabled(MutedGroup(), false);
    if (const auto offered = OffersAutoKeystone(dialog_.console().modelCode))
        EnableControl(kAutoKeystone, *offered);
}

// --- commands ---------------------------------------------------------------------------------

void CPagePrj::OnPowerClicked() {
    ReadControls();
    Send(BuildCommand(CommandAt(kPowerTable, powerState_ == kPowerOnDigit ? 1 : 0)));
    powerButton_->setEnabled(false);
}

void CPagePrj::OnToggleClicked(const Toggle& toggle) {
    ReadControls();
    if (auto body = BuildSettingBody(*toggle.def, *toggle.member))
        Send(*body);
    toggle.box->setEnabled(false);
}

void CPagePrj::OnSourceChosen(int) {
    ReadControls();
    if (auto body = BuildSettingBody(Setting("source"), sourceIndex_))
        Send(*body);
    timer8_.start();
}

void CPagePrj::OnResync() {
    ReadControls();
    Send(BuildActionBody(Setting("resync")));
    timer8_.start();
}

void CPagePrj::OnSetVolume() {
    ReadControls();
    const SettingDef& volume = Setting("volume");
    if (!ReadInt(volumeField_.edit, volume.low, volume.high, volume_))
        return;
    if (auto body = BuildSettingBody(volume, volume_))
        Send(*body);
}

void CPagePrj::OnSetAutoPowerOff() {
    ReadControls();
    const SettingDef& autoPowerOff = Setting("auto-power-off");
    if (!ReadInt(autoPowerOffField_.edit, autoPowerOff.low, autoPowerOff.high, autoPowerOff_))
        return;
    if (auto body = BuildSettingBody(autoPowerOff, autoPowerOff_))
        Send(*body);
}

int CPagePrj::OnUpDown(int upDownId, int delta) {
    ReadControls();
    const bool autoPowerOff = upDownId == kAutoPowerOffUpDown;
    const SettingDef& def = Setting(autoPowerOff ? "auto-power-off" : "volume");
    NumberField& field = autoPowerOff ? autoPowerOffField_ : volumeField_;
    return StepNumberField(*field.edit, def, autoPowerOff ? autoPowerOff_ : volume_, delta,
                           [this, &def](int value) {
                               if (auto body = BuildSettingBody(def, value))
                                   Send(*body);
                           });
}

void CPagePrj::OnApply() {
    ReadControls();
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

const CPagePrj::Toggle* CPagePrj::ToggleOfBody(const std::string& body, int* sentValue) const {
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

void CPagePrj::OnReply(const MsgCmd& slot) {
    ReadControls();
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
            powerButton_->setText(powerState_ == kPowerOnDigit ? QStringLiteral("Power OFF")
                                                               : QStringLiteral("Power ON"));
        }
        powerButton_->setEnabled(true);
    } else if (const Toggle* toggle = ToggleOfBody(body, &sent)) {
        const bool isAvMute = toggle->def == &Setting("av-mute");
        if (!BeginsWithOk(reply)) {
            ReportFailure(slot);
            *toggle->member = *toggle->member != 0 ? 0 : 1;
        }
        toggle->box->setChecked(*toggle->member != 0);
        if (isAvMute) {
            // The mute changes what the whole dialog may offer: wait for the control reply.
            dialog_.Flush();
            dialog_.QueryControl();
        } else {
            toggle->box->setEnabled(true);
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
    } else if (!ContainsOk(reply)) {
        ReportFailure(slot);
        SetGroupEnabled(FullGroup(), false);
        RequestFreshState();
    }
}

void CPagePrj::OnDropped(const std::string& body) {
    // No reply will come for this request. Give back the control that waits for it, showing
    // the state from before the click; the control reply asked for here brings the real one.
    // No flush: it would also discard the request that superseded this one.
    int sent = 0;
    const SettingDef& power = Setting("power");
    if (body == BuildSettingBody(power, 1) || body == BuildSettingBody(power, 0)) {
        powerButton_->setEnabled(true);
    } else if (const Toggle* toggle = ToggleOfBody(body, &sent)) {
        *toggle->member = sent != 0 ? 0 : 1;
        toggle->box->setChecked(*toggle->member != 0);
        toggle->box->setEnabled(true);
    } else if (body.starts_with("query=")) {
        return;
    }
    if (Frame())
        dialog_.QueryControl();
}

}  // namespace vistrel
