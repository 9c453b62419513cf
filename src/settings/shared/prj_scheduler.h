// The Scheduler page of the "Projector Setting" dialog: the four power tasks of the
// dialog's projector (element 0 of the target MAC list).
#pragma once

#include "settings/common/task_page.h"

namespace vistrel {

class CPrjScheduler : public CTaskPage {
    Q_OBJECT
  public:
    CPrjScheduler(PageFrame& frame, QWidget* frameWidget, QWidget* parent, RegStore& store,
                  const LocalTime& zone = SystemLocalTime::Instance());

  private:
    int ReadStoredTask(const Console& console, int index, SchedTask* task) override;
    std::vector<std::string> Targets(const Console& console) const override;
};

}  // namespace vistrel
