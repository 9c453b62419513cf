// The Projector tab of the "Projector Setting" dialog: power, source, resync, source lock,
// freeze, AV mute, DirectPower, Auto Keystone, volume, auto power off, and the projector's
// group and name. It is also the page that reads the "group", "info" and "model" replies
// for the whole dialog.
#pragma once

#include <QTimer>
#include <string>

#include "settings/common/catalog_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vistrel {

class CPrjSetDlg;
struct SettingDef;

class CPagePrj : public CCatalogPage {
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
    void BuildControls();
    // The catalogue controls, then what only this page shows.
    void ShowState();

    void OnPowerClicked();
    void OnResync();
    void OnApply();
    void OnTimer8();

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

    QLabel* powerLabel_ = nullptr;
    QPushButton* powerButton_ = nullptr;
    QLineEdit* groupEdit_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
    QLabel* lampLabel_ = nullptr;
    QLabel* fwLabel_ = nullptr;
    QLabel* brightLabel_ = nullptr;
    QTimer timer8_;
};

}  // namespace vistrel
