#include "schedule/task_apply.h"

#include <algorithm>

#include "store/reg_store.h"

namespace vistrel {

TaskApplyResult ApplyTasks(ProjectorTable& table, RegStore& store,
                           const std::vector<std::string>& macs, const TaskSet& tasks,
                           std::optional<std::string_view> group) {
    TaskApplyResult result;
    {
        auto guard = table.Lock();
        for (const std::string& mac : macs) {
            Info record;
            if (mac.empty() || !guard.Lookup(mac, record))
                continue;
            // A MAC listed twice is written once.
            if (std::find(result.written.begin(), result.written.end(), mac) !=
                result.written.end())
                continue;
            record.tasks = tasks;
            guard.Store(record);
            result.written.push_back(mac);
        }
    }
    if (result.written.empty() && !group)
        return result;

    RegStore::Batch batch(store);
    for (const std::string& mac : result.written) {
        for (int index = 0; index < kTaskCount; ++index)
            store.WriteProjectorTask(mac, index, &tasks[static_cast<size_t>(index)]);
    }
    if (group) {
        for (int index = 0; index < kTaskCount; ++index)
            store.WriteGroupTask(*group, index, &tasks[static_cast<size_t>(index)]);
    }
    result.stored = batch.Commit();
    return result;
}

}  // namespace vistrel
