#include "settings/shared/grp_prj.h"

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

namespace vistrel {

const std::vector<int>& CGrpPrj::PageControls() {
    static const std::vector<int> ids = {
        kPower,
        kAutoPowerOffEdit,
        kAutoPowerOffUpDown,
        kSource,
        kResync,
        kSourceLock,
        kFreeze,
        kAvMute,
        kAutoKeystone,
        kThreeD,
        kSyncInvert,
        kVolumeEdit,
        kVolumeUpDown,
        kVolumeSet,
        kGroupNameEdit,
        kProjectorNameEdit,
        kApply,
    };
    return ids;
}

CGrpPrj::CGrpPrj(GroupFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CGroupPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CGrpPrj"));
    BuildControls();
}

void CGrpPrj::BuildControls() {
    auto caption = [this](const QString& text, int x, int y, int width = 100) {
        auto* label = new QLabel(text, this);
        label->setGeometry(x, y, width, 22);
        return label;
    };
    auto place = [](QWidget* w, int x, int y, int width, int height = 22) {
        w->setGeometry(x, y, width, height);
    };
    auto label = [](const SettingDef& def) { return QString::fromLatin1(def.label); };
    const SettingDef& autoPowerOff = Setting("auto-power-off");
    const SettingDef& volume = Setting("group-volume");

    // Power and source: lists of labels, nothing selected until the operator chooses.
    caption(QStringLiteral("Power:"), 12, 16);
    power_ = Control<QComboBox>(kPower);
    for (int i = 0; i < RowCount(kPowerTable); ++i)
        power_->addItem(QString::fromLatin1(LabelAt(kPowerTable, i)));
    power_->setCurrentIndex(-1);
    place(power_, 116, 16, 100);
    connect(power_, &QComboBox::activated, this, &CGrpPrj::OnPowerChosen);

    caption(label(autoPowerOff), 250, 16, 110);
    autoPowerOffField_ = MakeNumberField(kAutoPowerOffEdit, kAutoPowerOffUpDown, 0,
                                         autoPowerOff.low, autoPowerOff.high);
    autoPowerOffField_.edit->setText(QStringLiteral("0"));
    place(autoPowerOffField_.edit, 362, 16, 48);
    place(autoPowerOffField_.upDown, 410, 16, 16);
    autoPowerOffField_.upDown->setDeltaHandler(
        [this](int delta) { return OnAutoPowerOffStep(delta); });

    caption(label(Setting("source")), 12, 56);
    source_ = Control<QComboBox>(kSource);
    for (int i = 0; i < RowCount(kSourceTable); ++i)
        source_->addItem(QString::fromLatin1(LabelAt(kSourceTable, i)));
    source_->setCurrentIndex(-1);
    place(source_, 116, 56, 100);
    connect(source_, &QComboBox::activated, this, &CGrpPrj::OnSourceChosen);
    auto* resync = Control<QPushButton>(kResync, label(Setting("resync")));
    place(resync, 250, 54, 80, 26);
    connect(resync, &QPushButton::clicked, this, &CGrpPrj::OnResync);

    caption(label(volume), 12, 96);
    volumeField_ = MakeNumberField(kVolumeEdit, kVolumeUpDown, kVolumeSet, volume.low, volume.high);
    volumeField_.edit->setText(QStringLiteral("0"));
    place(volumeField_.edit, 116, 96, 48);
    place(volumeField_.upDown, 164, 96, 16);
    place(volumeField_.set, 184, 97, 22, 20);
    volumeField_.upDown->setDeltaHandler([this](int delta) { return OnVolumeStep(delta); });
    connect(volumeField_.set, &QPushButton::clicked, this, &CGrpPrj::OnSetVolume);

    // Check boxes: the first three go out in parallel; Auto Keystone and the 3D pair through
    // the request ring, one projector after the other.
    struct Box {
        int id;
        const char* setting;
        int* member;
        Path path;
        int x;
        int y;
    };
    const Box boxes[] = {
        {kSourceLock, "source-lock", &sourceLock_, Path::Batch, 12, 140},
        {kFreeze, "freeze", &freeze_, Path::Batch, 160, 140},
        {kAvMute, "av-mute", &avMute_, Path::Batch, 308, 140},
        {kAutoKeystone, "auto-keystone", &autoKeystone_, Path::Queue, 12, 172},
        {kThreeD, "three-d", &threeD_, Path::Queue, 160, 172},
        {kSyncInvert, "three-d-sync-invert", &syncInvert_, Path::Queue, 308, 172},
    };
    for (const Box& b : boxes) {
        const SettingDef& def = Setting(b.setting);
        auto* box = Control<QCheckBox>(b.id, label(def));
        // As wide as its text: a click beside the text does not tick it.
        place(box, b.x, b.y, box->sizeHint().width());
        toggles_.push_back({&def, box, b.member, b.path});
    }
    for (const Toggle& toggle : toggles_) {
        connect(toggle.box, &QCheckBox::clicked, this,
                [this, &toggle] { OnToggleClicked(toggle); });
    }

    // One group and projector name for every addressed projector.
    caption(QStringLiteral("Group"), 12, 220);
    groupEdit_ = Control<QLineEdit>(kGroupNameEdit);
    LimitToProjectorField(groupEdit_, kTextFieldWidth);
    place(groupEdit_, 116, 220, 220);
    caption(QStringLiteral("Projector"), 12, 252);
    nameEdit_ = Control<QLineEdit>(kProjectorNameEdit);
    LimitToProjectorField(nameEdit_, kTextFieldWidth);
    place(nameEdit_, 116, 252, 220);
    auto* apply = Control<QPushButton>(kApply, QStringLiteral("Apply"));
    place(apply, 344, 250, 80, 26);
    connect(apply, &QPushButton::clicked, this, &CGrpPrj::OnApply);

    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

void CGrpPrj::SetControlsEnabled(bool enabled) {
    for (int id : PageControls()) {
        if (auto* widget = findChild<QWidget*>(ControlName(id)))
            widget->setEnabled(enabled);
    }
}

void CGrpPrj::ReadControls() {
    powerIndex_ = power_->currentIndex();
    sourceIndex_ = source_->currentIndex();
    for (const Toggle& toggle : toggles_)
        *toggle.member = toggle.box->isChecked() ? 1 : 0;
    newGroupName_ = groupEdit_->text().toStdString();
    newProjectorName_ = nameEdit_->text().toStdString();
}

// --- actions ----------------------------------------------------------------------------------

void CGrpPrj::OnPowerChosen(int) {
    ReadControls();
    // The list offers the state to switch to: "ON" sends the command kept with the "OFF" row
    // of the power table, which is the power setting's "on" command.
    if (auto body = BuildSettingBody(Setting("power"), powerIndex_))
        SendToGroup(*body, Path::Batch);
}

void CGrpPrj::OnSourceChosen(int) {
    ReadControls();
    // "None" has no command: the body is "command=" alone.
    if (auto body = BuildSettingBody(Setting("source"), sourceIndex_))
        SendToGroup(*body, Path::Batch);
}

void CGrpPrj::OnToggleClicked(const Toggle& toggle) {
    ReadControls();
    if (auto body = BuildSettingBody(*toggle.def, *toggle.member))
        SendToGroup(*body, toggle.path, toggle.box);
}

int CGrpPrj::OnAutoPowerOffStep(int delta) {
    // The group form moves by one per click.
    ReadControls();
    const SettingDef& def = Setting("auto-power-off");
    return StepNumberField(
        *autoPowerOffField_.edit, def, autoPowerOff_, delta,
        [this, &def](int value) {
            if (auto body = BuildSettingBody(def, value))
                SendToGroup(*body, Path::Batch);
        },
        1);
}

int CGrpPrj::OnVolumeStep(int delta) {
    ReadControls();
    const SettingDef& def = Setting("group-volume");
    return StepNumberField(*volumeField_.edit, def, volume_, delta, [this, &def](int value) {
        if (auto body = BuildSettingBody(def, value))
            SendToGroup(*body, Path::Batch);
    });
}

void CGrpPrj::OnSetVolume() {
    // A volume the operator was told is out of range is not sent.
    ReadControls();
    const SettingDef& volume = Setting("group-volume");
    if (!ReadInt(volumeField_.edit, volume.low, volume.high, volume_))
        return;
    if (auto body = BuildSetButtonBody(volume, volume_))
        SendToGroup(*body, Path::Batch);
}

void CGrpPrj::OnResync() {
    ReadControls();
    SendToGroup(BuildActionBody(Setting("resync")), Path::Batch);
}

void CGrpPrj::OnApply() {
    ReadControls();
    const auto group = ProjectorBytesOf(this, QStringLiteral("Group"), groupEdit_->text());
    if (!group)
        return;
    const auto name = ProjectorBytesOf(this, QStringLiteral("Projector"), nameEdit_->text());
    if (!name)
        return;
    if (group->empty() && name->empty())
        return;  // nothing to change
    // A field left empty keeps each projector's own value, as the table last heard it: the
    // record always carries both, so one name typed for the group must not blank the other.
    Console& console = GroupConsole();
    std::vector<std::string> bodies;
    {
        auto table = console.table.Lock();
        for (const MsgCmd& entry : console.batch) {
            std::string ownGroup;
            std::string ownName;
            for (const Info& info : table.Records()) {
                if (info.ip == entry.ip) {
                    ownGroup = info.groupName;
                    ownName = info.projectorName;
                    break;
                }
            }
            bodies.push_back(BuildGroupRecord(group->empty() ? ownGroup : *group,
                                              name->empty() ? ownName : *name));
        }
    }
    SendEachToGroup(bodies);
}

}  // namespace vistrel
