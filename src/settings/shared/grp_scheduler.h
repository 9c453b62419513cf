// The Scheduler page of the "Group Setting" dialog: the group's own four power tasks, kept
// under the dialog's group name ("All Projectors" included). "Apply" copies them to every
// addressed projector that is in the projector table, as the schedule check runs only
// projector tasks, and stores them as the group's.
#pragma once

#include <string>

#include "schedule/local_time.h"
#include "settings/common/settings_page.h"
#include "settings/common/task_rows.h"

namespace vistrel {

class RegStore;

class CGrpScheduler : public CSettingsPage {
    Q_OBJECT
  public:
    // `group` is the dialog's group name; it must outlive the page.
    CGrpScheduler(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent, RegStore& store,
                  const std::string& group, const LocalTime& zone = SystemLocalTime::Instance());

    const TaskMembers& members() const { return members_; }
    // "Apply" (1088), as a click on it does it.
    void Apply();

  private:
    void Load();

    TaskMembers members_;
    RegStore& store_;
    const LocalTime& zone_;
    const std::string& group_;
    TaskRows* rows_ = nullptr;
};

}  // namespace vistrel
