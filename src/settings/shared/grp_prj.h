// The Projector page of the "Group Setting" dialog: power, source, source lock, AV mute,
// freeze, Auto Keystone, 3D, 3D sync invert, auto power off, volume, resync, and one group
// and projector name for all addressed projectors. It shows no current values and queries
// nothing: every control sends at once to the whole group.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "settings/common/group_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vistrel {

class CatalogBindings;
struct SettingDef;

class CGrpPrj : public CGroupPage {
    Q_OBJECT
  public:
    // Control ids, shared with the projector page where both have the control.
    enum : int {
        kPower = 1011,
        kAutoPowerOffEdit = 1047,
        kAutoPowerOffUpDown = 1034,
        kSource = 1012,
        kSourceLock = 1042,
        kResync = 1039,
        kFreeze = 1043,
        kVolumeEdit = 1046,
        kVolumeUpDown = 1035,
        kVolumeSet = 1137,
        kAvMute = 1045,
        kAutoKeystone = 1049,
        kThreeD = 1048,
        kSyncInvert = 1050,
        kGroupNameEdit = 1071,
        kProjectorNameEdit = 1072,
        kApply = 1041,
    };
    // The controls that are disabled and enabled together.
    static const std::vector<int>& PageControls();

    CGrpPrj(GroupFrame& frame, QWidget* frameWidget, QWidget* parent);

  protected:
    void SetControlsEnabled(bool enabled) override;

  private:
    void BuildControls();

    void OnPowerChosen(int index);
    void OnResync();
    void OnApply();

    // Members in the order the page keeps them.
    int powerIndex_ = -1;
    int sourceIndex_ = -1;
    int sourceLock_ = 0;
    int freeze_ = 0;
    int avMute_ = 0;
    int autoKeystone_ = 0;
    int threeD_ = 0;
    int syncInvert_ = 0;
    int autoPowerOff_ = 0;
    int volume_ = 0;

    QComboBox* power_ = nullptr;
    QLineEdit* groupEdit_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
    CatalogBindings* bindings_ = nullptr;
    // The settings that go through the request ring, one projector after the other; the
    // others go out in parallel.
    std::set<const SettingDef*> queued_;
};

}  // namespace vistrel
