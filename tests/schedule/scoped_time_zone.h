// Puts the process into one named time zone (TZ and tzset) for the life of the object, so
// the C library conversions that the console itself uses are tested against that zone's
// clock changes. The zone comes from the system's zone data (tzdata).
#pragma once

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

namespace vistrel::testing {

class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const std::string& name) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        const char* dir = std::getenv("TZDIR");
        valid_ = std::filesystem::is_regular_file(
            std::filesystem::path(dir ? dir : "/usr/share/zoneinfo") / name);
        ::setenv("TZ", name.c_str(), 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    // False when the zone's data is not installed (the C library would silently use UTC).
    bool Valid() const { return valid_; }

  private:
    std::optional<std::string> old_;
    bool valid_ = false;
};

}  // namespace vistrel::testing
