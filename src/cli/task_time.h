// Local-time arithmetic of the task editor: replacing the time of day or the date of a
// time value, and the moment a task is first due.
#pragma once

#include <cstdint>
#include <string>

namespace vistrel::cli {

// `value` with its local time of day replaced.
int64_t WithTimeOfDay(int64_t value, int hour, int minute, int second);
// `value` with its local calendar date replaced; the time of day stays.
int64_t WithDate(int64_t value, int year, int month, int day);
// The local date of `date` at the local time of day of `time`: the first due moment.
int64_t FirstDue(int64_t date, int64_t time);

// Local renderings: "HH:MM:SS", "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS".
std::string LocalTimeOfDay(int64_t value);
std::string LocalDate(int64_t value);
std::string LocalDateTime(int64_t value);

}  // namespace vistrel::cli
