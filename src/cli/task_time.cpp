#include "cli/task_time.h"

#include <ctime>

#include "schedule/local_time.h"
#include "schedule/task_timing.h"

namespace vistrel::cli {
namespace {

std::tm Local(int64_t value) {
    const std::time_t t = static_cast<std::time_t>(value);
    std::tm fields{};
    localtime_r(&t, &fields);
    return fields;
}

// The fields changed, so whether daylight saving applies is for the conversion to find out;
// keeping the old flag would shift a time set across a change by an hour.
int64_t Convert(std::tm fields) {
    fields.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&fields));
}

std::string Format(int64_t value, const char* format) {
    const std::tm fields = Local(value);
    char buffer[32];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &fields);
    return std::string(buffer, n);
}

}  // namespace

int64_t WithTimeOfDay(int64_t value, int hour, int minute, int second) {
    std::tm fields = Local(value);
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return Convert(fields);
}

int64_t WithDate(int64_t value, int year, int month, int day) {
    std::tm fields = Local(value);
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    return Convert(fields);
}

int64_t FirstDue(int64_t date, int64_t time) {
    // The same moment the window's scheduler page stores, so both agree across
    // daylight-saving changes.
    int64_t start = date;
    TaskStart(time, date, SystemLocalTime::Instance(), start);
    return start;
}

std::string LocalTimeOfDay(int64_t value) {
    return Format(value, "%H:%M:%S");
}
std::string LocalDate(int64_t value) {
    return Format(value, "%Y-%m-%d");
}
std::string LocalDateTime(int64_t value) {
    return Format(value, "%Y-%m-%d %H:%M:%S");
}

}  // namespace vistrel::cli
