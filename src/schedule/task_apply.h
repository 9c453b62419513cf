// Storing the four tasks that the operator set for one projector or a group: into the
// projector table, from which the list's "Schedule" column is drawn, and into the store,
// from which the schedule check runs them.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/console.h"
#include "protocol/records.h"

namespace vistrel {

class RegStore;

using TaskSet = std::array<SchedTask, kTaskCount>;

struct TaskApplyResult {
    // The projectors that received the tasks, in the order of `macs`: those in the table.
    std::vector<std::string> written;
    // False when the store could not be written.
    bool stored = true;
};

// Puts `tasks` into the table records of those `macs` that are in the table (others are
// skipped), then writes them to the store under each such projector and, when `group` is
// given, as that group's tasks. The store is written once, after the table's lock has been
// released, so polling never waits for the file. Nothing is written when no projector is in
// the table and no group is given.
TaskApplyResult ApplyTasks(ProjectorTable& table, RegStore& store,
                           const std::vector<std::string>& macs, const TaskSet& tasks,
                           std::optional<std::string_view> group = std::nullopt);

}  // namespace vistrel
