// Local calendar time for schedules, injectable so that tests can use a fixed zone.
#pragma once

#include <cstdint>
#include <ctime>

namespace vistrel {

class LocalTime {
  public:
    virtual ~LocalTime() = default;
    // Breaks a time value down into local calendar fields (tm_isdst filled in).
    virtual bool Breakdown(int64_t value, std::tm& fields) const = 0;
    // Converts local fields back to a time value, normalising out-of-range fields (day 32,
    // month 13) as mktime does. tm_isdst is a hint: -1 lets the zone decide.
    virtual bool Compose(std::tm fields, int64_t& value) const = 0;
};

// The process's own time zone (TZ or the system setting).
class SystemLocalTime final : public LocalTime {
  public:
    bool Breakdown(int64_t value, std::tm& fields) const override;
    bool Compose(std::tm fields, int64_t& value) const override;
    static const SystemLocalTime& Instance();
};

}  // namespace vistrel
