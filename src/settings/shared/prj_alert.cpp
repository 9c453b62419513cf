#include "settings/shared/prj_alert.h"

#include <QPushButton>

namespace vistrel {

CPrjAlert::CPrjAlert(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CSettingsPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CPrjAlert"));
    controls_.Build(this, "Over temperature", kTest, kSubmit);
    connect(controls_.submit, &QPushButton::clicked, this, &CPrjAlert::OnSubmit);
    connect(controls_.test, &QPushButton::clicked, this, &CPrjAlert::OnTest);
    // Nothing is known about the projector's alerts until its reply.
    for (QWidget* control : controls_.All())
        control->setEnabled(false);
}

void CPrjAlert::ParseReply(const std::string& reply) {
    // A record cut short would show empty fields as the projector's settings, and a Submit
    // from there would wipe them: the page keeps what it had.
    std::optional<AlertSettings> alert = ParseAlertReply(reply);
    if (alert && reply.size() >= kAlertReplyLength) {
        alert_ = *alert;
        for (QWidget* control : controls_.All())
            control->setEnabled(true);
    }
    controls_.Write(alert_);
}

void CPrjAlert::OnSubmit() {
    alert_ = controls_.Read();
    Send(BuildAlertRecord(alert_));
}

void CPrjAlert::OnTest() {
    // The projector mails with the settings it has stored, not with unsaved edits.
    Send(std::string(kTestBody));
}

}  // namespace vistrel
