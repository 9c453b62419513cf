// The Network page of the "Group Setting" dialog: DHCP on or off for every addressed
// projector, each keeping its own address fields, and the web-control passwords of all of
// them. The DHCP change runs on a background thread, one projector after the other (read
// its network settings, send them back with the new DHCP digit), so an unreachable
// projector never freezes the window; the progress bar steps per projector, and afterwards
// the dialog closes, since the projectors may now answer from other addresses.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/http_request.h"
#include "settings/common/group_page.h"
#include "settings/common/password_form.h"

class QCheckBox;

namespace vistrel {

class CGrpNetwork : public CGroupPage {
    Q_OBJECT
  public:
    enum : int { kDhcp = 1070, kSubmitDhcp = 1022 };
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
    void OnSubmitDhcp();
    void OnSubmitPasswords();
    void OnEntryAnswer(const MsgCmd& entry) override;
    // Every user record is in: asks the operator, then sends.
    void ConfirmPasswords();
    void FinishPasswords();
    void OnRelocationPost(uint32_t message, uintptr_t index, intptr_t sent);
    void FinishRelocation();

    QCheckBox* dhcp_ = nullptr;
    PasswordControls passwords_;

    int connectTimeoutMs_ = HttpOptions{}.connectTimeoutMs;
    int totalTimeoutMs_ = HttpOptions{}.totalTimeoutMs;
    bool relocating_ = false;
    std::vector<std::string> relocationIps_;
    std::vector<std::string> skipped_;
    std::unique_ptr<ReplySinkHolder> relocationSink_;

    // A password change reads every projector's user record first, since the record it
    // sends also carries the user access, which only the projector knows.
    enum class PasswordStep { None, Reading, Sending };
    PasswordStep passwordStep_ = PasswordStep::None;
    PasswordEntries passwordEntries_;
    size_t userRepliesExpected_ = 0;
    size_t userReplies_ = 0;
    std::map<std::string, int> userAccessByIp_;  // projectors whose user record was read
    std::vector<std::string> passwordSkipped_;
};

}  // namespace vistrel
