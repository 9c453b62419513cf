// When a scheduled task is due and how firing moves it on, in local calendar time.
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/records.h"
#include "schedule/local_time.h"

namespace vistrel {

inline constexpr int32_t kPeriodOnce = 0;
inline constexpr int32_t kPeriodDaily = 1;
inline constexpr int32_t kPeriodWeekly = 2;
inline constexpr int32_t kPeriodMonthly = 3;
// What the scheduler rows and the command line call each period, by its number.
inline constexpr const char* kPeriodLabels[] = {"Once", "Daily", "Weekly", "Monthly"};

// Moves `value` on by `count` days, weeks or months (by `period`) in local calendar
// fields with standard normalisation, so 31 January plus one month is early March. The
// wall-clock time of day is kept across daylight-saving changes. False for Once, for an
// unknown period, or when the result cannot be represented.
bool AddPeriods(int32_t period, int64_t value, int count, const LocalTime& zone, int64_t& out);

// The moment a task set by the operator is first due: the local calendar date of `date` at
// the local time of day of `time`. Whether daylight-saving time applies is found for the
// combined moment, as AddPeriods does, so a time of day that the clock skips or repeats
// that day lands where the schedule check would put it. False when a value cannot be
// broken down or the result cannot be represented.
bool TaskStart(int64_t time, int64_t date, const LocalTime& zone, int64_t& out);

// Fires `task` if it is enabled and `now` is strictly later than its `start`, and returns
// the moment of the occurrence it fires for; nullopt when not due.
// - Once (and any unknown period): `enabled` becomes 0; `date` and `start` stay.
// - Daily, Weekly, Monthly: a task that missed several occurrences fires once, for the
//   latest of them; `start` and `date` move on by whole periods until `start` is the first
//   occurrence not before `now`. A task that cannot be moved on is disabled.
// `time` never changes.
std::optional<int64_t> FireIfDue(SchedTask& task, int64_t now, const LocalTime& zone);

}  // namespace vistrel
