#include "settings/shared/grp_scheduler.h"

#include "protocol/console.h"
#include "store/reg_store.h"

namespace vistrel {

CGrpScheduler::CGrpScheduler(PageFrame& frame, QWidget* frameWidget, QWidget* parent,
                             RegStore& store, const std::string& group, const LocalTime& zone)
    : CTaskPage(frame, frameWidget, parent, store, zone), group_(group) {
    setObjectName(QStringLiteral("CGrpScheduler"));
    Load();
}

int CGrpScheduler::ReadStoredTask(const Console&, int index, SchedTask* task) {
    return Store().ReadGroupTask(group_, index, task);
}

std::vector<std::string> CGrpScheduler::Targets(const Console& console) const {
    return console.targetMacs;
}

}  // namespace vistrel
