// The Scheduler page of the "Group Setting" dialog: the group's own four power tasks, kept
// under the dialog's group name ("All Projectors" included). "Apply" copies them to every
// addressed projector that is in the projector table, as the schedule check runs only
// projector tasks, and stores them as the group's.
#pragma once

#include <string>

#include "settings/common/task_page.h"

namespace vistrel {

class CGrpScheduler : public CTaskPage {
    Q_OBJECT
  public:
    // `group` is the dialog's group name; it must outlive the page.
    CGrpScheduler(PageFrame& frame, QWidget* frameWidget, QWidget* parent, RegStore& store,
                  const std::string& group, const LocalTime& zone = SystemLocalTime::Instance());

  private:
    int ReadStoredTask(const Console& console, int index, SchedTask* task) override;
    std::vector<std::string> Targets(const Console& console) const override;
    std::optional<std::string_view> GroupKey() const override { return group_; }

    const std::string& group_;
};

}  // namespace vistrel
