#include "schedule/task_timing.h"

#include <algorithm>

namespace vistrel {

bool AddPeriods(int32_t period, int64_t value, int count, const LocalTime& zone, int64_t& out) {
    std::tm fields{};
    if (!zone.Breakdown(value, fields))
        return false;
    switch (period) {
        case kPeriodDaily:
            fields.tm_mday += count;
            break;
        case kPeriodWeekly:
            fields.tm_mday += 7 * count;
            break;
        case kPeriodMonthly:
            fields.tm_mon += count;
            break;
        default:
            return false;
    }
    // Let the zone decide whether daylight-saving time applies on the new day; reusing the
    // old day's flag would shift the task by an hour after each change of season.
    fields.tm_isdst = -1;
    return zone.Compose(fields, out);
}

bool TaskStart(int64_t time, int64_t date, const LocalTime& zone, int64_t& out) {
    std::tm clock{};
    std::tm day{};
    if (!zone.Breakdown(time, clock) || !zone.Breakdown(date, day))
        return false;
    day.tm_hour = clock.tm_hour;
    day.tm_min = clock.tm_min;
    day.tm_sec = clock.tm_sec;
    // The date's own flag belongs to its time of day, which may lie on the other side of a
    // change made that same day.
    day.tm_isdst = -1;
    return zone.Compose(day, out);
}

std::optional<int64_t> FireIfDue(SchedTask& task, int64_t now, const LocalTime& zone) {
    if (task.enabled == 0 || now <= task.start)
        return std::nullopt;
    const int32_t period = task.period;
    if (period != kPeriodDaily && period != kPeriodWeekly && period != kPeriodMonthly) {
        task.enabled = 0;
        return task.start;
    }

    int64_t occurrence = task.start;
    int64_t next = task.start;
    int64_t date = task.date;

    // Far behind (a console started after weeks off): jump close to now in one step instead
    // of walking day by day. Months are walked, so that each step normalises as one month.
    if (period != kPeriodMonthly) {
        const int64_t step = (period == kPeriodDaily ? 1 : 7) * int64_t{86400};
        const int64_t behind = (now - next) / step;
        if (behind > 2) {
            const int count = static_cast<int>(std::min<int64_t>(behind - 1, 1 << 30));
            int64_t jumped = 0;
            int64_t jumpedDate = 0;
            if (AddPeriods(period, next, count, zone, jumped) && jumped > next && jumped < now) {
                if (AddPeriods(period, date, count, zone, jumpedDate))
                    date = jumpedDate;
                occurrence = jumped;
                next = jumped;
            }
        }
    }

    while (true) {
        int64_t after = 0;
        if (!AddPeriods(period, next, 1, zone, after) || after <= next) {
            task.enabled = 0;  // cannot be moved on: stop rather than fire at every check
            break;
        }
        int64_t dateAfter = 0;
        if (AddPeriods(period, date, 1, zone, dateAfter))
            date = dateAfter;
        next = after;
        if (after >= now)
            break;
        occurrence = after;  // this one was missed too
    }
    task.start = next;
    task.date = date;
    return occurrence;
}

}  // namespace vistrel
