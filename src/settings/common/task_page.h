// The base of both Scheduler pages: four task rows read from the store when the page is
// built, and "Apply", which writes them to the projector table and the store. A page says
// whose tasks it shows and where "Apply" puts them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "schedule/local_time.h"
#include "settings/common/settings_page.h"
#include "settings/common/task_rows.h"

namespace vistrel {

class RegStore;

class CTaskPage : public CSettingsPage {
    Q_OBJECT
  public:
    const TaskMembers& members() const { return members_; }
    // "Apply" (1088), as a click on it does it.
    void Apply();

  protected:
    CTaskPage(PageFrame& frame, QWidget* frameWidget, QWidget* parent, RegStore& store,
              const LocalTime& zone);

    // Reads the stored tasks into the rows; the derived page calls it once it is built.
    void Load();

    RegStore& Store() { return store_; }

  private:
    // Task `index` of the page's own key, as RegStore's readers return it.
    virtual int ReadStoredTask(const Console& console, int index, SchedTask* task) = 0;
    // The projectors "Apply" writes to.
    virtual std::vector<std::string> Targets(const Console& console) const = 0;
    // The group "Apply" also stores the tasks under; none by default.
    virtual std::optional<std::string_view> GroupKey() const { return std::nullopt; }

    TaskMembers members_;
    RegStore& store_;
    const LocalTime& zone_;
    TaskRows* rows_ = nullptr;
};

}  // namespace vistrel
