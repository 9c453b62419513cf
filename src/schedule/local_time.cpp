#include "schedule/local_time.h"

namespace vistrel {

namespace {

bool LocalBreakdown(int64_t value, std::tm& fields) {
    const auto t = static_cast<std::time_t>(value);
    return ::localtime_r(&t, &fields) != nullptr;
}

bool LocalCompose(std::tm fields, int64_t& value) {
    // mktime returns -1 both for failure and for one second before 1970; a failed call
    // leaves tm_wday alone.
    fields.tm_wday = -1;
    const std::time_t t = std::mktime(&fields);
    if (t == static_cast<std::time_t>(-1) && fields.tm_wday == -1)
        return false;
    value = static_cast<int64_t>(t);
    return true;
}

}  // namespace

bool SystemLocalTime::Breakdown(int64_t value, std::tm& fields) const {
    return LocalBreakdown(value, fields);
}

bool SystemLocalTime::Compose(std::tm fields, int64_t& value) const {
    return LocalCompose(fields, value);
}

const SystemLocalTime& SystemLocalTime::Instance() {
    static const SystemLocalTime instance;
    return instance;
}

}  // namespace vistrel
