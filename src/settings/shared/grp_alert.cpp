#include "settings/shared/grp_alert.h"

namespace vistrel {

CGrpAlert::CGrpAlert(GroupFrame& frame, QWidget* frameWidget, QWidget* parent)
    : CGroupPage(frame, frameWidget, parent),
      editor_(this, "Over temperature", kTest, kSubmit,
              [this](const std::string& body) { SendToGroup(body, Path::Batch); }) {
    setObjectName(QStringLiteral("CGrpAlert"));
}

}  // namespace vistrel
