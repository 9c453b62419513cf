// The Setting tab of the "Projector Setting" dialog: background color, start-up logo, an
// on-screen message, bright mode, information hide, high altitude, keypad lock, projector
// ID, sleep timer and "Reset all". "Send" and "Reset all" stay usable whatever the state.
#pragma once

#include <string>
#include <vector>

#include "settings/common/catalog_page.h"

class QLineEdit;

namespace vistrel {

class CPageSet : public CCatalogPage {
    Q_OBJECT
  public:
    // Control ids.
    enum : int {
        kBackgroundColor = 1012,
        kLogo = 1014,
        kMessageEdit = 1016,
        kSend = 1145,
        kBrightMode = 1020,
        kInformationHide = 1061,
        kHighAltitude = 1058,
        kKeypadLock = 1059,
        kProjectorIdEdit = 1064,
        kProjectorIdUpDown = 1018,
        kProjectorIdSet = 1136,
        kSleepTimerEdit = 1065,
        kSleepTimerUpDown = 1019,
        kSleepTimerSet = 1135,
        kResetAll = 1021,
    };
    static const std::vector<int>& FullGroup();
    static const std::vector<int>& MutedGroup();

    CPageSet(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent);

    void ParseReply(const std::string& reply) override;
    void ApplyEnableState(const std::string& reply);

  protected:
    void OnReply(const MsgCmd& slot) override;

  private:
    void BuildControls();
    void OnSend();
    void OnResetAll();
    // Keeps the message within its record field as the operator types.
    void LimitMessage();

    // Members in the order the page keeps them; -1 is "no row selected".
    int backgroundIndex_ = -1;
    int brightModeOn_ = 0;
    int highAltitude_ = 0;
    int keypadLock_ = 0;
    int infoHide_ = 0;
    int logoIndex_ = -1;
    int projectorId_ = 0;
    int sleepTimer_ = 0;
    std::string message_;

    QLineEdit* messageEdit_ = nullptr;
};

}  // namespace vistrel
