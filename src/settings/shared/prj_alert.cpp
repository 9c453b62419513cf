#include "settings/shared/prj_alert.h"

#include "settings/common/failure_text.h"
#include "settings/common/settings_frame.h"

namespace vistrel {

CPrjAlert::CPrjAlert(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CSettingsPage(frame, frameWidget, parent),
      editor_(this, "Over temperature", kTest, kSubmit,
              [this](const std::string& body) { Send(body); }) {
    setObjectName(QStringLiteral("CPrjAlert"));
    // Nothing is known about the projector's alerts until its reply.
    editor_.SetEnabled(false);
}

void CPrjAlert::ParseReply(const std::string& reply) {
    // A record cut short would show empty fields as the projector's settings, and a Submit
    // from there would wipe them: the page keeps what it had.
    std::optional<AlertSettings> alert = ParseAlertReply(reply);
    if (!alert || reply.size() < kAlertReplyLength) {
        const bool failed = reply.empty() || ReplyContains(reply, "<result>timeout");
        Notice("The projector's alert reply was unusable (" +
               (failed ? FailureReason(reply) : std::string("cut short or unreadable")) +
               "); the page shows what it had before.");
        editor_.Rewrite();
        return;
    }
    editor_.Show(*alert);
    editor_.SetEnabled(true);
}

void CPrjAlert::OnReply(const MsgCmd& slot) {
    if (!BeginsWithOk(slot.reply))
        ReportFailure(slot);
}

}  // namespace vistrel
