// The Alert page of the "Projector Setting" dialog: the e-mail alerts the projector sends by
// itself. It shows the projector's settings from "query=alert", stores changed ones with
// "set=alert" and can ask the projector for a test mail.
#pragma once

#include "settings/common/alert_editor.h"
#include "settings/common/settings_page.h"

namespace vistrel {

class CPrjAlert : public CSettingsPage {
    Q_OBJECT
  public:
    enum : int { kTest = 1125, kSubmit = 1085 };

    CPrjAlert(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent);

    // A whole "<alert>" reply fills the page and enables it; in every case the page's last
    // values are written back to the controls.
    void ParseReply(const std::string& reply) override;

    const AlertSettings& settings() const { return editor_.settings(); }

  protected:
    // The replies to "set=alert" and "set=test": a failure is said on the notice line.
    void OnReply(const MsgCmd& slot) override;

  private:
    AlertEditor editor_;
};

}  // namespace vistrel
