// The Network page of the "Projector Setting" dialog: the projector's IP configuration
// (DHCP, or a fixed address with mask, gateway and DNS) and its two web-control passwords.
// Submitting a new configuration moves the projector: the record goes straight to it, the
// table marks it relocating, and the main window's discovery follows it to its new address,
// after which the dialog queries the page again.
#pragma once

#include <string>
#include <vector>

#include "settings/common/password_form.h"
#include "settings/common/settings_page.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace vistrel {

class CIpAddressEdit;

class CPrjNetwork : public CProjectorPage {
    Q_OBJECT
  public:
    enum : int {
        kDhcp = 1070,
        kIp = 1025,
        kMask = 1026,
        kGateway = 1027,
        kDns = 1028,
        kSubmitNetwork = 1087,
        kMac = 1138,
    };
    // Every control the page disables at first and enables on the first "<network>" reply.
    static const std::vector<int>& PageControls();

    CPrjNetwork(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent);

    // Whole "<network>" and "<user>" replies (a shorter one changes nothing); any reply
    // also refreshes the MAC label.
    void ParseReply(const std::string& reply) override;

    // The dialog's relocation wait ended without the projector answering from its new
    // address: tell the operator and let them submit again.
    void OnRelocationLost();
    // The projector answered from its new address: the relocation is over.
    void OnRelocationFound();
    bool Relocating() const { return relocating_; }

    // Where the last submitted fixed configuration sends the projector (empty with DHCP).
    const std::string& relocationTarget() const { return relocationTarget_; }

    int dhcpEnabled() const { return dhcpEnabled_; }
    int adminAccess() const { return passwordEntries_.adminAccess; }
    int userAccess() const { return passwordEntries_.userAccess; }
    const std::string& macText() const { return macText_; }

  protected:
    // The reply to "set=user": a failure is said on the notice line.
    void OnReply(const MsgCmd& slot) override;

  private:
    void BuildControls();
    void ReadControls();
    void WriteControls();
    void ApplyEnablingRule();
    void OnDhcpClicked();
    void OnSubmitPasswords();
    void OnSubmitNetwork();

    // Address controls, in the page's member order: DNS, gateway, mask, address.
    CIpAddressEdit* dns_ = nullptr;
    CIpAddressEdit* gateway_ = nullptr;
    CIpAddressEdit* mask_ = nullptr;
    CIpAddressEdit* ip_ = nullptr;
    PasswordEntries passwordEntries_;
    int dhcpEnabled_ = 0;
    std::string macText_;

    QCheckBox* dhcp_ = nullptr;
    QPushButton* submitNetwork_ = nullptr;
    PasswordControls passwords_;
    QLabel* macLabel_ = nullptr;
    // Where the last submitted configuration sends the projector, for the operator's message.
    std::string relocationTarget_;
    // From a relocation's submit until it is found or given up: Submit stays disabled.
    bool relocating_ = false;
};

}  // namespace vistrel
