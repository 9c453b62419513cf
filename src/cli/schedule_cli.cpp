// The stored power tasks: schedule list, schedule set, and run-schedules, which fires them.
#include <iterator>

#include "cli/commands.h"
#include "cli/schedule_commands.h"
#include "metrics/metrics_endpoint.h"
#include "protocol/option_tables.h"
#include "schedule/task_timing.h"

namespace vistrel::cli {
namespace {

// Each check below says what is wrong with its option's value, or fills `edit` when given one.

std::string ReadPeriod(const std::string& text, TaskEdit* edit) {
    for (int i = 0; i < static_cast<int>(std::size(kPeriodLabels)); ++i) {
        if (Lower(text) == Lower(kPeriodLabels[i])) {
            if (edit)
                edit->period = i;
            return {};
        }
    }
    return "--period must be once, daily, weekly or monthly, not \"" + text + "\"";
}

std::string ReadTaskCommand(const std::string& text, TaskEdit* edit) {
    const std::string lower = Lower(text);
    std::optional<int> command;
    if (lower == "on" || lower == "power-on" || lower == "power_on")
        command = kTaskPowerOn;
    if (lower == "off" || lower == "power-off" || lower == "power_off")
        command = kTaskPowerOff;
    if (!command)
        return "--command must be on or off, not \"" + text + "\"";
    if (edit)
        edit->command = command;
    return {};
}

std::string ReadTime(const std::string& text, TaskEdit* edit) {
    long long h = 0, m = 0, s = 0;
    const std::string bad = "--time needs HH:MM or HH:MM:SS (24-hour), not \"" + text + "\"";
    const size_t c1 = text.find(':');
    if (c1 == std::string::npos)
        return bad;
    const size_t c2 = text.find(':', c1 + 1);
    const std::string hs = text.substr(0, c1);
    const std::string ms =
        text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (!ParseInt(hs, 0, 23, h) || ms.size() != 2 || !ParseInt(ms, 0, 59, m))
        return bad;
    if (c2 != std::string::npos) {
        const std::string ss = text.substr(c2 + 1);
        if (ss.size() != 2 || !ParseInt(ss, 0, 59, s))
            return bad;
    }
    if (edit) {
        edit->hour = static_cast<int>(h);
        edit->minute = static_cast<int>(m);
        edit->second = static_cast<int>(s);
    }
    return {};
}

std::string ReadDate(const std::string& text, TaskEdit* edit) {
    long long y = 0, mo = 0, d = 0;
    const std::string bad = "--date needs YYYY-MM-DD, not \"" + text + "\"";
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return bad;
    if (!ParseInt(text.substr(0, 4), 1970, 2105, y) || !ParseInt(text.substr(5, 2), 1, 12, mo) ||
        !ParseInt(text.substr(8, 2), 1, 31, d)) {
        return bad;
    }
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > days[mo - 1] || (mo == 2 && d == 29 && !leap))
        return text + " is not a calendar date";
    if (edit) {
        edit->year = static_cast<int>(y);
        edit->month = static_cast<int>(mo);
        edit->day = static_cast<int>(d);
    }
    return {};
}

std::string CheckStoredGroup(const std::string& name) {
    if (name.empty())
        return "--group needs a group name";
    return CheckGroupName(name, true);
}

// The options of both schedule commands; one of them is parsed at a time.
struct ScheduleOptions {
    std::vector<std::string> projector, group, task, period, time, date, command;
    bool enable = false, disable = false;
};

// Where a task lives: projectors by identity, or a group of the store.
void TakeOwners(const ScheduleOptions& o, Command command, CliOptions& options) {
    for (const std::string& mac : o.projector) {
        if (command == Command::ScheduleList && !options.projectorMacs.empty())
            Fail("schedule list takes one --projector");
        options.projectorMacs.push_back(mac);
    }
    if (o.group.size() > 1)
        Fail("--group may be given once");
    if (Given(o.group))
        options.scheduleGroup = o.group.back();
}

void AddScheduleList(CommandTree& tree, CLI::App* family, ScheduleOptions& o) {
    CliCommand& list = tree.Add(family, "list", "schedule list", Command::ScheduleList,
                                "List the stored power tasks (all projectors and groups, or one).",
                                "schedule list [--projector MAC | --group NAME]");
    AddValue(list.app, "--projector", o.projector, "Projector identity", "MAC")
        ->check(Check([](const std::string& mac) { return CheckMac(mac); }));
    AddValue(list.app, "--group", o.group, "Group name", "NAME")->check(Check(CheckStoredGroup));
    list.run = RunScheduleList;
    list.parse = [&list, &o](const std::vector<std::string>& words, CliOptions& options) {
        if (!words.empty())
            list.FailUsage();
        TakeOwners(o, Command::ScheduleList, options);
        if (!options.projectorMacs.empty() && options.scheduleGroup)
            Fail("schedule list takes --projector or --group, not both");
    };
}

void AddScheduleSet(CommandTree& tree, CLI::App* family, ScheduleOptions& o) {
    CliCommand& set = tree.Add(
        family, "set", "schedule set", Command::ScheduleSet,
        "Change task N (1 to 4). Unchanged fields keep their stored values; the next due moment "
        "is the date at the time, local time. With --group the group's task is written and "
        "copied to each --projector, as the console's group settings do.",
        "schedule set (--projector MAC... | --group NAME) --task N [changes]");
    const auto check = [](std::string (*read)(const std::string&, TaskEdit*)) {
        return Check([read](const std::string& text) { return read(text, nullptr); });
    };
    AddValue(set.app, "--projector", o.projector, "Projector identity (repeatable)", "MAC")
        ->check(Check([](const std::string& mac) { return CheckMac(mac); }));
    AddValue(set.app, "--group", o.group, "Group name", "NAME")->check(Check(CheckStoredGroup));
    AddValue(set.app, "--task", o.task, "Task number, 1 to 4", "N")
        ->check(Check([](const std::string& text) -> std::string {
            long long task = 0;
            return ParseInt(text, 1, 4, task) ? "" : "--task needs a task number from 1 to 4";
        }));
    AddFlag(set.app, "--enable", o.enable, "Enable the task");
    AddFlag(set.app, "--disable", o.disable, "Disable the task");
    AddValue(set.app, "--period", o.period, "once, daily, weekly or monthly", "PERIOD")
        ->check(check(ReadPeriod));
    AddValue(set.app, "--time", o.time, "Time of day, 24-hour", "HH:MM[:SS]")
        ->check(check(ReadTime));
    AddValue(set.app, "--date", o.date, "Date", "YYYY-MM-DD")->check(check(ReadDate));
    AddValue(set.app, "--command", o.command, "on or off", "on|off")->check(check(ReadTaskCommand));
    set.run = RunScheduleSet;
    set.parse = [&set, &o](const std::vector<std::string>& words, CliOptions& options) {
        if (!words.empty())
            set.FailUsage();
        TakeOwners(o, Command::ScheduleSet, options);
        TaskEdit& edit = options.edit;
        if (Given(o.task))
            edit.task = std::stoi(o.task.back());
        if (o.enable && o.disable)
            Fail("--enable and --disable exclude each other");
        if (o.enable || o.disable)
            edit.enabled = o.enable;
        // Checked as given: these only fill the edit.
        if (Given(o.period))
            ReadPeriod(o.period.back(), &edit);
        if (Given(o.time))
            ReadTime(o.time.back(), &edit);
        if (Given(o.date))
            ReadDate(o.date.back(), &edit);
        if (Given(o.command))
            ReadTaskCommand(o.command.back(), &edit);
        if (options.projectorMacs.empty() && !options.scheduleGroup)
            Fail("schedule set needs --projector MAC or --group NAME");
        if (edit.task == 0)
            Fail("schedule set needs --task N (1 to 4)");
    };
}

}  // namespace

void AddScheduleCommands(CommandTree& tree) {
    CLI::App* family = tree.AddFamily("schedule", "Stored power tasks: schedule list, schedule set",
                                      "schedule list|set ...");
    ScheduleOptions& o = tree.Keep<ScheduleOptions>();
    AddScheduleList(tree, family, o);
    AddScheduleSet(tree, family, o);

    CliCommand& run = tree.Add(
        &tree.app, "run-schedules", "run-schedules", Command::RunSchedules,
        "Run headless: discover projectors on the console's refresh interval and fire their due "
        "tasks until interrupted. Only one program fires tasks for a store at a time; this one "
        "waits and takes over when the other ends. A console window that opens meanwhile gets "
        "the role and the discovery port until it closes.",
        "run-schedules [--metrics [ADDRESS:]PORT]");
    auto& metrics = tree.Keep<std::vector<std::string>>();
    AddValue(run.app, "--metrics", metrics,
             "Also poll the projectors' status (while this program has them) and serve the fleet "
             "as Prometheus metrics at http://ADDRESS:PORT/metrics (address 127.0.0.1 unless "
             "given)",
             "[ADDRESS:]PORT")
        ->check(Check([](const std::string& text) {
            std::string why;
            if (!metrics::ParseListenAddress(text, &why))
                return "--metrics needs [ADDRESS:]PORT: " + why;
            return std::string();
        }));
    run.run = RunSchedulesHeadless;
    run.parse = [&run, &metrics](const std::vector<std::string>& words, CliOptions& options) {
        if (!words.empty())
            run.FailUsage();
        if (Given(metrics))
            options.metrics = metrics.back();
    };
}

}  // namespace vistrel::cli
