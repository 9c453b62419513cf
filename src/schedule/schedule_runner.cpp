#include "schedule/schedule_runner.h"

#include <algorithm>
#include <array>
#include <vector>

#include "protocol/option_tables.h"
#include "schedule/task_timing.h"

namespace vistrel {

ScheduleRunner::ScheduleRunner(RegStore& store, const Clock& clock, const LocalTime& zone,
                               EnqueueFn enqueue)
    : store_(store), clock_(clock), zone_(zone), enqueue_(std::move(enqueue)) {}

int ScheduleRunner::RunSchedules(ProjectorTable& table) {
    struct Due {
        int64_t occurrence;
        int32_t command;
    };
    struct Fired {
        std::string mac;
        std::array<SchedTask, kTaskCount> tasks;
        std::vector<Due> due;
    };

    std::vector<std::string> macs;
    {
        auto guard = table.Lock();
        macs.reserve(guard.Size());
        for (const Info& info : guard.Records())
            macs.push_back(info.mac);
    }

    const int64_t now = clock_.Now();
    std::vector<Fired> fired;
    {
        RegStore::Batch batch(store_);
        for (const std::string& mac : macs) {
            Fired entry{mac, {}, {}};
            for (int index = 0; index < kTaskCount; ++index) {
                SchedTask& task = entry.tasks[static_cast<size_t>(index)];
                store_.ReadProjectorTask(mac, index, &task);
                const auto occurrence = FireIfDue(task, now, zone_);
                if (!occurrence)
                    continue;
                store_.WriteProjectorTask(mac, index, &task);
                entry.due.push_back({*occurrence, task.command});
            }
            if (!entry.due.empty())
                fired.push_back(std::move(entry));
        }
    }
    if (fired.empty())
        return 0;

    // The tasks go back into the records as they are now (polling may have changed other
    // fields meanwhile); the addresses the commands go to are read at the same moment.
    std::vector<std::string> ips;
    ips.reserve(fired.size());
    {
        auto guard = table.Lock();
        for (const Fired& entry : fired) {
            Info record;
            if (!guard.Lookup(entry.mac, record))
                record = Info(entry.mac);
            record.tasks = entry.tasks;
            guard.Store(record);
            ips.push_back(record.ip);
        }
    }

    int count = 0;
    for (size_t i = 0; i < fired.size(); ++i) {
        std::vector<Due>& due = fired[i].due;
        count += static_cast<int>(due.size());
        std::stable_sort(due.begin(), due.end(),
                         [](const Due& a, const Due& b) { return a.occurrence < b.occurrence; });
        // Without a usable address an empty ip would mean "every target projector" to the
        // request ring; such a projector gets nothing.
        const std::string& ip = ips[i];
        if (ip.empty() || ip == "0.0.0.0")
            continue;
        for (const Due& d : due) {
            // A command number outside the table (a hand-edited store) sends nothing.
            if (d.command < 0 || d.command >= RowCount(kTaskCommandTable))
                continue;
            enqueue_("command=" + std::string(CommandAt(kTaskCommandTable, d.command)), ip);
        }
    }
    return count;
}

}  // namespace vistrel
