// The Network page of the "Group Setting" dialog: DHCP on or off for every addressed
// projector, each keeping its own address fields, and the web-control passwords of all of
// them. The DHCP change runs on a background thread, one projector after the other (read
// its network settings, send them back with the new DHCP digit), so an unreachable
// projector never freezes the window; the progress bar steps per projector, and afterwards
// the dialog closes, since the projectors may now answer from other addresses.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "protocol/http_request.h"
#include "settings/common/group_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vistrel {

class CGrpNetwork : public CGroupPage {
    Q_OBJECT
  public:
    enum : int {
        kDhcp = 1070,
        kSubmitDhcp = 1022,
        kAdminAccess = 1012,
        kAdminPassword = 1066,
        kAdminConfirm = 1067,
        kUserAccess = 1065,
        kUserPassword = 1068,
        kUserConfirm = 1069,
        kSubmitPasswords = 1021,
    };
    static const std::vector<int>& PageControls();

    CGrpNetwork(GroupFrame& frame, QWidget* frameWidget, QWidget* parent);
    ~CGrpNetwork() override;

    // Time limits of the relocation's exchanges (the port is always the profile's).
    void SetTimeLimits(int connectTimeoutMs, int totalTimeoutMs) {
        connectTimeoutMs_ = connectTimeoutMs;
        totalTimeoutMs_ = totalTimeoutMs;
    }

    bool Relocating() const { return relocating_; }
    // Addresses whose network settings could not be read in the last relocation.
    const std::vector<std::string>& Skipped() const { return skipped_; }

  signals:
    // The relocation has stepped through every projector (before the final wait).
    void relocationSent();

  protected:
    void SetControlsEnabled(bool enabled) override;

  private:
    void BuildControls();
    void ReadControls();
    void OnSubmitDhcp();
    void OnSubmitPasswords();
    void OnRelocationPost(uint32_t message, uintptr_t index, intptr_t sent);
    void FinishRelocation();

    int dhcpEnabled_ = 0;
    std::string adminPassword_;
    std::string adminConfirm_;
    std::string userPassword_;
    std::string userConfirm_;
    int userAccess_ = -1;
    int adminAccess_ = -1;

    QCheckBox* dhcp_ = nullptr;
    QComboBox* adminList_ = nullptr;
    QLineEdit* adminPasswordEdit_ = nullptr;
    QLineEdit* adminConfirmEdit_ = nullptr;
    QComboBox* userList_ = nullptr;
    QLineEdit* userPasswordEdit_ = nullptr;
    QLineEdit* userConfirmEdit_ = nullptr;

    int connectTimeoutMs_ = HttpOptions{}.connectTimeoutMs;
    int totalTimeoutMs_ = HttpOptions{}.totalTimeoutMs;
    bool relocating_ = false;
    std::vector<std::string> relocationIps_;
    std::vector<std::string> skipped_;
    std::unique_ptr<ReplySinkHolder> relocationSink_;
};

}  // namespace vistrel
