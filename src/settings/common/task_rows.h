// The four task rows that both forms of the Scheduler page show (one projector's tasks, or
// a group's): a check box, command and period lists, and a time and a date picker each,
// with the members the rows are read into and written from.
#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "schedule/task_apply.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QPushButton;
class QWidget;

namespace vistrel {

class LocalTime;
class RegStore;

// What the page holds for its four tasks; the initial values mean "nothing read yet".
struct TaskMembers {
    std::array<int32_t, kTaskCount> taskEnabled{0, 0, 0, 0};
    std::array<int32_t, kTaskCount> period{-1, -1, -1, -1};
    std::array<int32_t, kTaskCount> command{-1, -1, -1, -1};
    std::array<int64_t, kTaskCount> time{0, 0, 0, 0};
    std::array<int64_t, kTaskCount> date{0, 0, 0, 0};
};

// The four tasks that `read` (index, task) fills; a task it cannot fill is the one a store
// without values yields: disabled, Once, Power On, `now` in all three times.
TaskSet ReadTaskSet(const std::function<int(int, SchedTask*)>& read, int64_t now);

// After "Apply": tells the operator when the store could not keep the tasks. They would
// never run, although the list shows them, and would be gone at the next start.
void TellIfNotStored(QWidget* page, const TaskApplyResult& result, const RegStore& store);

class TaskRows : public QObject {
    Q_OBJECT
  public:
    // Control ids, the same in both forms. Note that task 2's check box is 1091 and task
    // 3's is 1090.
    static constexpr std::array<int, kTaskCount> kCheck = {1089, 1091, 1090, 1092};
    static constexpr std::array<int, kTaskCount> kCommand = {1093, 1094, 1095, 1096};
    static constexpr std::array<int, kTaskCount> kPeriod = {1121, 1122, 1123, 1124};
    static constexpr std::array<int, kTaskCount> kTime = {1127, 1027, 1029, 1031};
    static constexpr std::array<int, kTaskCount> kDate = {1026, 1028, 1030, 1032};
    static constexpr int kApply = 1088;

    // Builds the controls on `page`. A click on any check box reads the controls into
    // `members` and applies the enabling rule.
    TaskRows(QWidget* page, TaskMembers& members, const LocalTime& zone);

    // Members from stored tasks (`start` is not shown).
    void SetMembers(const TaskSet& tasks);
    // Members to controls, then the enabling rule.
    void WriteControls();
    void ReadControls();
    // A row's lists and pickers are enabled exactly when its task is; check boxes and
    // "Apply" always are.
    void ApplyEnableState();
    // The tasks the members describe, each first due at its date's local day at its time's
    // local time of day.
    TaskSet BuildTasks() const;
    // Stored tasks as they stand at `now`: a task whose start has passed has fired, so it is
    // shown as firing left it (a Once task unticked, a periodic one at its next occurrence).
    static void MoveOnPast(TaskSet& tasks, int64_t now, const LocalTime& zone);
    // The tasks "Apply" stores, none of them due at once: a periodic task whose start has
    // passed moves on to its next occurrence; a Once task whose start has passed has run
    // when its row is as loaded, and is otherwise refused with a message box (nullopt).
    std::optional<TaskSet> TasksToApply(QWidget* page, int64_t now) const;

    QPushButton* applyButton() const { return apply_; }

  private:
    TaskMembers& members_;
    const LocalTime& zone_;
    std::array<QCheckBox*, kTaskCount> checks_{};
    std::array<QComboBox*, kTaskCount> commands_{};
    std::array<QComboBox*, kTaskCount> periods_{};
    std::array<QDateTimeEdit*, kTaskCount> times_{};
    std::array<QDateTimeEdit*, kTaskCount> dates_{};
    QPushButton* apply_ = nullptr;
    // The tasks the rows were last set from.
    TaskSet loaded_{};
};

}  // namespace vistrel
