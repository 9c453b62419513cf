#include "settings/shared/prj_scheduler.h"

#include "protocol/console.h"
#include "store/reg_store.h"

namespace vistrel {

namespace {

std::string TargetMac(const Console& console) {
    return console.targetMacs.empty() ? std::string() : console.targetMacs.front();
}

}  // namespace

CPrjScheduler::CPrjScheduler(PageFrame& frame, QWidget* frameWidget, QWidget* parent,
                             RegStore& store, const LocalTime& zone)
    : CTaskPage(frame, frameWidget, parent, store, zone) {
    setObjectName(QStringLiteral("CPrjScheduler"));
    Load();
}

int CPrjScheduler::ReadStoredTask(const Console& console, int index, SchedTask* task) {
    return Store().ReadProjectorTask(TargetMac(console), index, task);
}

std::vector<std::string> CPrjScheduler::Targets(const Console& console) const {
    return {TargetMac(console)};
}

}  // namespace vistrel
