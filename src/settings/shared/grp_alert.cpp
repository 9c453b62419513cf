#include "settings/shared/grp_alert.h"

#include <QPushButton>

namespace vistrel {

CGrpAlert::CGrpAlert(GroupFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CGroupPage(frame, frameWidget, parent) {
    setObjectName(QStringLiteral("CGrpAlert"));
    controls_.Build(this, "over temperature", kTest, kSubmit);
    connect(controls_.submit, &QPushButton::clicked, this, &CGrpAlert::OnSubmit);
    connect(controls_.test, &QPushButton::clicked, this, &CGrpAlert::OnTest);
}

void CGrpAlert::OnSubmit() {
    alert_ = controls_.Read();
    SendToGroup(BuildAlertRecord(alert_), Path::Batch);
}

void CGrpAlert::OnTest() {
    SendToGroup(std::string(kTestBody), Path::Batch);
}

}  // namespace vistrel
