// The Scheduler page of the "Projector Setting" dialog: the four power tasks of the
// dialog's projector (element 0 of the target MAC list), read from the store when the page
// is built and written to the projector table and the store by "Apply".
#pragma once

#include "schedule/local_time.h"
#include "settings/common/settings_page.h"
#include "settings/common/task_rows.h"

namespace vistrel {

class RegStore;

class CPrjScheduler : public CSettingsPage {
    Q_OBJECT
  public:
    CPrjScheduler(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent, RegStore& store,
                  const LocalTime& zone = SystemLocalTime::Instance());

    const TaskMembers& members() const { return members_; }
    // "Apply" (1088), as a click on it does it.
    void Apply();

  private:
    void Load();

    TaskMembers members_;
    RegStore& store_;
    const LocalTime& zone_;
    TaskRows* rows_ = nullptr;
};

}  // namespace vistrel
