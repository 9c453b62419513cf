// The Projector tab of the "Projector Setting" dialog: power, source, resync, source lock,
// freeze, AV mute, DirectPower, Auto Keystone, volume, auto power off, and the projector's
// group and name. It is also the page that reads the "group", "info" and "model" replies
// for the whole dialog.
#pragma once

#include <QTimer>
#include <set>
#include <string>

#include "settings/common/settings_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vistrel {

class CPrjSetDlg;
struct SettingDef;

class CPagePrj : public CSettingsPage {
    Q_OBJECT
  public:
    // Control ids.
    enum : int {
        kPowerText = 1020,
        kPowerButton = 1026,
        kAutoPowerOffEdit = 1047,
        kAutoPowerOffUpDown = 1034,
        kAutoPowerOffSet = 1128,
        kDirectPower = 1029,
        kSource = 1012,
        kResync = 1039,
        kSourceLock = 1042,
        kFreeze = 1043,
        kVolumeEdit = 1046,
        kVolumeUpDown = 1035,
        kVolumeSet = 1129,
        kAvMute = 1045,
        kAutoKeystone = 1049,
        kGroupNameEdit = 1071,
        kProjectorNameEdit = 1072,
        kApply = 1112,
        kLampHour = 1022,
        kFwVersion = 1023,
        kBrightMode = 1024,
        kErrorStatus = 1025,
    };
    static const std::vector<int>& FullGroup();
    static const std::vector<int>& MutedGroup();

    CPagePrj(CPrjSetDlg& dialog, QWidget* frameWidget, QWidget* parent);

    void ParseReply(const std::string& reply) override;
    void ShowNotAnswering() override;
    void ApplyEnableState(const std::string& reply);

    int powerState() const { return powerState_; }
    const QTimer& refreshTimer() const { return timer8_; }

  protected:
    void OnReply(const MsgCmd& slot) override;
    void OnDropped(const std::string& body) override;

  private:
    struct Toggle {
        const SettingDef* def;
        QCheckBox* box;
        int* member;
    };

    void BuildControls();
    // Reads the check boxes, the source and the names into the members. The numbers are
    // read only by their own arrows and "Set" buttons.
    void ReadControls();
    void WriteControls();
    void SetGroupEnabled(const std::vector<int>& ids, bool enabled);
    void EnableControl(int id, bool enabled);

    void OnPowerClicked();
    void OnToggleClicked(const Toggle& toggle);
    void OnSourceChosen(int index);
    void OnResync();
    void OnSetVolume();
    void OnSetAutoPowerOff();
    int OnUpDown(int upDownId, int delta);
    void OnApply();
    void OnTimer8();
    const Toggle* ToggleOfBody(const std::string& body, int* sentValue) const;

    CPrjSetDlg& dialog_;

    // Members in the order the page keeps them.
    int powerState_ = 0;
    int avMute_ = 0;
    int autoKeystone_ = 0;
    std::string powerText_;
    int autoPowerOff_ = 0;
    int sourceLock_ = 0;
    int freeze_ = 0;
    int volume_ = 0;
    std::string lampHour_;
    std::string fwVersion_;
    std::string brightMode_;
    int sourceIndex_ = -1;
    int directPower_ = 0;
    // The names as the projector holds them (its own bytes).
    std::string newGroupName_;
    std::string newProjectorName_;
    // The operator changed the edit since the last Apply: replies leave it alone.
    bool groupEdited_ = false;
    bool nameEdited_ = false;
    // Members of the settings some control reply has reported.
    std::set<const int*> reported_;

    QLabel* powerLabel_ = nullptr;
    QPushButton* powerButton_ = nullptr;
    NumberField autoPowerOffField_;
    NumberField volumeField_;
    QComboBox* source_ = nullptr;
    QLineEdit* groupEdit_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
    QLabel* lampLabel_ = nullptr;
    QLabel* fwLabel_ = nullptr;
    QLabel* brightLabel_ = nullptr;
    std::vector<Toggle> toggles_;
    QTimer timer8_;
};

}  // namespace vistrel
