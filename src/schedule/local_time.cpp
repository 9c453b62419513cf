#include "schedule/local_time.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>

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

std::mutex& TzMutex() {
    static std::mutex mutex;
    return mutex;
}

// Sets TZ for its lifetime and puts the previous setting back.
class ScopedTz {
  public:
    explicit ScopedTz(const std::string& zone) {
        if (const char* old = std::getenv("TZ"))
            previous_ = old;
        ::setenv("TZ", zone.c_str(), 1);
        ::tzset();
    }
    ~ScopedTz() {
        if (previous_) {
            ::setenv("TZ", previous_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    std::optional<std::string> previous_;
};

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

ZoneLocalTime::ZoneLocalTime(std::string zone) : zone_(std::move(zone)) {
    const char* dir = std::getenv("TZDIR");
    const std::filesystem::path base = dir && dir[0] ? dir : "/usr/share/zoneinfo";
    std::error_code ec;
    valid_ = !zone_.empty() && zone_.find("..") == std::string::npos &&
             std::filesystem::is_regular_file(base / zone_, ec);
}

bool ZoneLocalTime::Breakdown(int64_t value, std::tm& fields) const {
    if (!valid_)
        return false;
    std::lock_guard lock(TzMutex());
    ScopedTz tz(zone_);
    return LocalBreakdown(value, fields);
}

bool ZoneLocalTime::Compose(std::tm fields, int64_t& value) const {
    if (!valid_)
        return false;
    std::lock_guard lock(TzMutex());
    ScopedTz tz(zone_);
    return LocalCompose(fields, value);
}

}  // namespace vistrel
