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
#include "settings/common/catalog_bindings.h"
#include "settings/common/field_width.h"
#include "settings/common/tab_page_support.h"

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
    bindings_ = new CatalogBindings(
        *this, [this](const std::string& body, const SettingDef* def, QWidget* control) {
            if (queued_.contains(def))
                SendToGroup(body, Path::Queue, control);
            else
                SendToGroup(body, Path::Batch);
        });
    BuildControls();
}

void CGrpPrj::BuildControls() {
    auto place = [](QWidget* w, int x, int y, int width, int height = 22) {
        w->setGeometry(x, y, width, height);
    };
    auto label = [](const SettingDef& def) { return QString::fromLatin1(def.label); };
    const SettingDef& autoPowerOff = Setting("auto-power-off");
    const SettingDef& volume = Setting("group-volume");

    // Power and source: lists of labels, nothing selected until the operator chooses.
    Caption(this, QStringLiteral("Power:"), 12, 16, 100);
    power_ = Control<QComboBox>(kPower);
    FillList(*power_, kPowerTable);
    place(power_, 116, 16, 100);
    connect(power_, &QComboBox::activated, this, &CGrpPrj::OnPowerChosen);

    // The group form's auto power off moves by one per click and has no "Set".
    Caption(this, label(autoPowerOff), 250, 16, 110);
    const NumberField autoPowerOffField = MakeNumberField(kAutoPowerOffEdit, kAutoPowerOffUpDown, 0,
                                                          autoPowerOff.low, autoPowerOff.high);
    autoPowerOffField.edit->setText(QStringLiteral("0"));
    PlaceNumberField(autoPowerOffField, 362, 16);
    bindings_->AddNumber(autoPowerOff, autoPowerOffField, &autoPowerOff_, 1);

    Caption(this, label(Setting("source")), 12, 56, 100);
    auto* source = Control<QComboBox>(kSource);
    place(source, 116, 56, 100);
    bindings_->AddList(&Setting("source"), kSourceTable, source, &sourceIndex_);
    auto* resync = Control<QPushButton>(kResync, label(Setting("resync")));
    place(resync, 250, 54, 80, 26);
    connect(resync, &QPushButton::clicked, this, &CGrpPrj::OnResync);

    Caption(this, label(volume), 12, 96, 100);
    const NumberField volumeField =
        MakeNumberField(kVolumeEdit, kVolumeUpDown, kVolumeSet, volume.low, volume.high);
    volumeField.edit->setText(QStringLiteral("0"));
    PlaceNumberField(volumeField, 116, 96);
    bindings_->AddNumber(volume, volumeField, &volume_);

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
        bindings_->AddToggle(def, box, b.member);
        if (b.path == Path::Queue)
            queued_.insert(&def);
    }

    // One group and projector name for every addressed projector.
    groupEdit_ = NameRow(this, QStringLiteral("Group"), kGroupNameEdit, 220);
    nameEdit_ = NameRow(this, QStringLiteral("Projector"), kProjectorNameEdit, 252);
    auto* apply = Control<QPushButton>(kApply, QStringLiteral("Apply"));
    place(apply, 344, 250, 80, 26);
    connect(apply, &QPushButton::clicked, this, &CGrpPrj::OnApply);

    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

void CGrpPrj::SetControlsEnabled(bool enabled) {
    vistrel::SetControlsEnabled(*this, PageControls(), enabled);
}

// --- actions ----------------------------------------------------------------------------------

void CGrpPrj::OnPowerChosen(int) {
    bindings_->ReadChoices();
    powerIndex_ = power_->currentIndex();
    // The list offers the state to switch to: "ON" sends the command kept with the "OFF" row
    // of the power table, which is the power setting's "on" command.
    if (auto body = BuildSettingBody(Setting("power"), powerIndex_))
        SendToGroup(*body, Path::Batch);
}

void CGrpPrj::OnResync() {
    bindings_->ReadChoices();
    SendToGroup(BuildActionBody(Setting("resync")), Path::Batch);
}

void CGrpPrj::OnApply() {
    bindings_->ReadChoices();
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
