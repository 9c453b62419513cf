#include "schedule/schedule_runner.h"

#include <algorithm>

#include "protocol/option_tables.h"
#include "schedule/task_timing.h"

namespace vistrel {

ScheduleRunner::ScheduleRunner(RegStore& store, const Clock& clock, const LocalTime& zone,
                               EnqueueFn enqueue)
    : store_(store), clock_(clock), zone_(zone), enqueue_(std::move(enqueue)) {}

int ScheduleRunner::RunSchedules(ProjectorTable::Guard& table) {
    struct Due {
        int64_t occurrence;
        int32_t command;
    };

    RegStore::Batch batch(store_);
    const int64_t now = clock_.Now();
    std::vector<std::string> macs;
    macs.reserve(table.Size());
    for (const Info& info : table.Records())
        macs.push_back(info.mac);

    int fired = 0;
    std::vector<Due> due;
    for (const std::string& mac : macs) {
        Info copy;
        if (!table.Lookup(mac, copy))
            continue;
        due.clear();
        for (int index = 0; index < kTaskCount; ++index) {
            SchedTask& task = copy.tasks[static_cast<size_t>(index)];
            store_.ReadProjectorTask(mac, index, &task);
            const auto occurrence = FireIfDue(task, now, zone_);
            if (!occurrence)
                continue;
            store_.WriteProjectorTask(mac, index, &task);
            due.push_back({*occurrence, task.command});
        }
        if (due.empty())
            continue;
        table.Store(copy);
        fired += static_cast<int>(due.size());

        std::stable_sort(due.begin(), due.end(),
                         [](const Due& a, const Due& b) { return a.occurrence < b.occurrence; });
        // Without a usable address an empty ip would mean "every target projector" to the
        // request ring; such a projector gets nothing.
        if (copy.ip.empty() || copy.ip == "0.0.0.0")
            continue;
        for (const Due& d : due) {
            // A command number outside the table (a hand-edited store) sends nothing.
            if (d.command < 0 || d.command >= RowCount(kTaskCommandTable))
                continue;
            enqueue_("command=" + std::string(CommandAt(kTaskCommandTable, d.command)), copy.ip);
        }
    }
    return fired;
}

}  // namespace vistrel
