#include "cli/schedule_commands.h"

#include <optional>

#include "cli/listing.h"
#include "cli/task_time.h"
#include "protocol/option_tables.h"
#include "protocol/records.h"
#include "schedule/task_timing.h"
#include "store/reg_store.h"

namespace vistrel::cli {
namespace {

std::string PeriodLabel(int32_t period) {
    if (period >= 0 && period < 4)
        return kPeriodLabels[period];
    return "period " + std::to_string(period);  // stored by hand; never fires a repeat
}

std::string CommandLabel(int32_t command) {
    const std::string_view label = LabelAt(kTaskCommandTable, command);
    return label.empty() ? "command " + std::to_string(command) : std::string(label);
}

enum class OwnerKind { Projector, Group };

struct Owner {
    OwnerKind kind;
    std::string name;
};

std::string SchedulerKey(int index) {
    return "Scheduler" + std::to_string(index);
}

std::vector<std::string> OwnerPath(const Owner& owner) {
    return {owner.kind == OwnerKind::Projector ? "Projector" : "Group", owner.name};
}

// A stored task, or nothing when its key was never written. Reading never creates a key.
std::optional<SchedTask> ReadStoredTask(RegStore& store, const Owner& owner, int index) {
    std::vector<std::string> path = OwnerPath(owner);
    path.push_back(SchedulerKey(index));
    if (!store.KeyExists(path))
        return std::nullopt;
    SchedTask task;
    const int ok = owner.kind == OwnerKind::Projector
                       ? store.ReadProjectorTask(owner.name, index, &task)
                       : store.ReadGroupTask(owner.name, index, &task);
    if (!ok)
        return std::nullopt;
    return task;
}

bool HasStoredTasks(RegStore& store, const Owner& owner) {
    for (int i = 0; i < kTaskCount; ++i) {
        std::vector<std::string> path = OwnerPath(owner);
        path.push_back(SchedulerKey(i));
        if (store.KeyExists(path))
            return true;
    }
    return false;
}

Listing TaskListing() {
    Listing listing;
    listing.columns = {{"owner", "OWNER"},     {"name", "NAME"},     {"task", "TASK"},
                       {"enabled", "ENABLED"}, {"period", "PERIOD"}, {"command", "COMMAND"},
                       {"time", "TIME"},       {"date", "DATE"},     {"next", "NEXT"}};
    return listing;
}

void AddTaskRow(Listing& listing, const Owner& owner, int index,
                const std::optional<SchedTask>& task) {
    std::vector<Cell> row = {Cell::Text(owner.kind == OwnerKind::Projector ? "projector" : "group"),
                             Cell::Text(owner.name), Cell::Number(index + 1)};
    if (!task) {
        // Never stored: a disabled Once task with Power On, as the console reads it.
        row.insert(row.end(),
                   {Cell::Bool(false), Cell::Text(PeriodLabel(0)), Cell::Text(CommandLabel(0)),
                    Cell::Null(), Cell::Null(), Cell::Null()});
    } else {
        row.insert(row.end(),
                   {Cell::Bool(task->enabled != 0), Cell::Text(PeriodLabel(task->period)),
                    Cell::Text(CommandLabel(task->command)), Cell::Text(LocalTimeOfDay(task->time)),
                    Cell::Text(LocalDate(task->date)), Cell::Text(LocalDateTime(task->start))});
    }
    listing.AddRow(std::move(row));
}

void AddOwnerRows(RegStore& store, Listing& listing, const Owner& owner) {
    for (int i = 0; i < kTaskCount; ++i)
        AddTaskRow(listing, owner, i, ReadStoredTask(store, owner, i));
}

// The store problem met, if any, printed as an environment error.
bool StoreFailed(const CliContext& context, RegStore& store) {
    const std::string error = store.LastError();
    if (error.empty())
        return false;
    context.Err() << "vistrel-cli: store " << store.FilePath().string() << ": " << error << '\n';
    return true;
}

SchedTask Edited(SchedTask task, const TaskEdit& edit) {
    if (edit.enabled)
        task.enabled = *edit.enabled ? 1 : 0;
    if (edit.period)
        task.period = *edit.period;
    if (edit.command)
        task.command = *edit.command;
    if (edit.hour)
        task.time = WithTimeOfDay(task.time, *edit.hour, *edit.minute, *edit.second);
    if (edit.year)
        task.date = WithDate(task.date, *edit.year, *edit.month, *edit.day);
    task.start = FirstDue(task.date, task.time);
    return task;
}

}  // namespace

std::filesystem::path CliContext::StorePath() const {
    if (options.storeFile)
        return *options.storeFile;
    if (!env.defaultStore.empty())
        return env.defaultStore;
    return DefaultRegistryPath();
}

int RunScheduleList(const CliContext& context) {
    RegStore store(context.StorePath(), context.options.appName, context.env.clock);
    Listing listing = TaskListing();
    if (!context.options.projectorMacs.empty()) {
        AddOwnerRows(store, listing, {OwnerKind::Projector, context.options.projectorMacs.front()});
    } else if (context.options.scheduleGroup) {
        AddOwnerRows(store, listing, {OwnerKind::Group, *context.options.scheduleGroup});
    } else {
        for (const std::string& mac : store.SubKeyNames({"Projector"})) {
            const Owner owner{OwnerKind::Projector, mac};
            if (HasStoredTasks(store, owner))
                AddOwnerRows(store, listing, owner);
        }
        // The window keeps the tasks of its every-projector view under a name that its
        // group list never shows.
        for (const std::string& group : store.SubKeyNames({"Group"})) {
            const Owner owner{OwnerKind::Group, group};
            if (HasStoredTasks(store, owner))
                AddOwnerRows(store, listing, owner);
        }
    }
    if (StoreFailed(context, store))
        return kExitUsage;
    Render(listing, context.options.format, context.Out());
    return kExitOk;
}

int RunScheduleSet(const CliContext& context) {
    const TaskEdit& edit = context.options.edit;
    const int index = edit.task - 1;
    RegStore store(context.StorePath(), context.options.appName, context.env.clock);
    Listing listing = TaskListing();
    bool written = true;
    {
        // One lock and one write for the whole change.
        RegStore::Batch batch(store);
        if (context.options.scheduleGroup) {
            // The group's task, copied to each projector given, as the group settings do.
            const std::string& group = *context.options.scheduleGroup;
            SchedTask task;
            store.ReadGroupTask(group, index, &task);
            task = Edited(task, edit);
            written = store.WriteGroupTask(group, index, &task) != 0 && written;
            AddTaskRow(listing, {OwnerKind::Group, group}, index, task);
            for (const std::string& mac : context.options.projectorMacs) {
                written = store.WriteProjectorTask(mac, index, &task) != 0 && written;
                AddTaskRow(listing, {OwnerKind::Projector, mac}, index, task);
            }
        } else {
            for (const std::string& mac : context.options.projectorMacs) {
                SchedTask task;
                store.ReadProjectorTask(mac, index, &task);
                task = Edited(task, edit);
                written = store.WriteProjectorTask(mac, index, &task) != 0 && written;
                AddTaskRow(listing, {OwnerKind::Projector, mac}, index, task);
            }
        }
        written = batch.Commit() && written;
    }
    const bool storeProblem = StoreFailed(context, store);
    if (!written) {
        if (!storeProblem) {
            context.Err() << "vistrel-cli: the task could not be written to "
                          << store.FilePath().string() << '\n';
        }
        return kExitUsage;
    }
    if (storeProblem)
        return kExitUsage;
    Render(listing, context.options.format, context.Out());
    return kExitOk;
}

}  // namespace vistrel::cli
