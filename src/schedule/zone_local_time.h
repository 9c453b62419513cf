// Local time in a named zone of the system's time-zone database (e.g. "Europe/Berlin"),
// computed from the zone's rules file. It never touches the process's TZ, so it is safe
// to use from any thread, and tests get exact daylight-saving changes whatever the
// machine's own zone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schedule/local_time.h"

namespace vistrel {

class ZoneLocalTime final : public LocalTime {
  public:
    // Loads "<TZDIR or /usr/share/zoneinfo>/<zone>". An unknown or unreadable zone leaves
    // the object invalid: every conversion then fails.
    explicit ZoneLocalTime(std::string zone);
    bool Valid() const { return valid_; }
    const std::string& Zone() const { return zone_; }

    bool Breakdown(int64_t value, std::tm& fields) const override;
    // With tm_isdst -1: a time that occurs twice takes the earlier instant; a time skipped
    // by a change forward moves on by the size of the gap (as the C library's mktime).
    bool Compose(std::tm fields, int64_t& value) const override;

    // Parses a zone file's contents; exposed for tests.
    bool Load(std::string_view data);

  private:
    struct Type {
        int32_t utoff = 0;
        bool isdst = false;
    };
    // The POSIX-style rule that a zone file carries for times after its last transition.
    struct RuleDate {
        char kind = 'M';  // 'M' month.week.day, 'J' Julian 1-365, 'D' zero-based day
        int month = 0, week = 0, day = 0;
        int32_t time = 7200;  // seconds after local midnight
    };
    struct Rule {
        bool valid = false;
        bool hasDst = false;
        Type standard, daylight;
        RuleDate start, end;
    };

    Type TypeAt(int64_t value) const;
    Type RuleTypeAt(int64_t value) const;
    bool ParseRule(std::string_view text);

    std::string zone_;
    bool valid_ = false;
    std::vector<int64_t> transitions_;
    std::vector<uint8_t> transitionTypes_;
    std::vector<Type> types_;
    Rule rule_;
};

}  // namespace vistrel
