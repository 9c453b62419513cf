// The zone rules reader against the C library, which is switched to the same zone through
// TZ (this test binary is single-threaded, so that is safe here).
#include "schedule/zone_local_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace vistrel {
namespace {

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

const char* const kZones[] = {
    "Europe/Berlin",     "America/New_York", "Australia/Sydney", "Asia/Kolkata",
    "America/Sao_Paulo", "Pacific/Chatham",  "Europe/Dublin",    "UTC"};

TEST(ZoneLocalTime, BreakdownMatchesTheCLibrary) {
    for (const char* name : kZones) {
        ZoneLocalTime zone(name);
        if (!zone.Valid())
            GTEST_SKIP() << name << " is not installed";
        ScopedTz tz(name);
        int mismatches = 0;
        // 1975 to 2110: inside the file's transitions and far beyond them (its rule).
        for (int64_t t = 157766400; t < 4418064000 && mismatches < 5; t += 13 * 3600 + 17) {
            std::tm ours{}, theirs{};
            ASSERT_TRUE(zone.Breakdown(t, ours));
            const auto tt = static_cast<std::time_t>(t);
            ::localtime_r(&tt, &theirs);
            if (ours.tm_hour != theirs.tm_hour || ours.tm_min != theirs.tm_min ||
                ours.tm_mday != theirs.tm_mday || ours.tm_isdst != theirs.tm_isdst ||
                ours.tm_year != theirs.tm_year) {
                ADD_FAILURE() << name << " at " << t;
                ++mismatches;
            }
        }
    }
}

TEST(ZoneLocalTime, ComposeMatchesTheCLibraryOnChangeDays) {
    for (const char* name : kZones) {
        ZoneLocalTime zone(name);
        if (!zone.Valid())
            GTEST_SKIP() << name << " is not installed";
        ScopedTz tz(name);
        for (int year : {1996, 2024, 2025, 2050, 2099}) {
            for (int month = 1; month <= 12; ++month) {
                for (int day = 1; day <= 31; day += 1) {
                    for (int half = 0; half < 48; ++half) {
                        std::tm f{};
                        f.tm_year = year - 1900;
                        f.tm_mon = month - 1;
                        f.tm_mday = day;
                        f.tm_hour = half / 2;
                        f.tm_min = half % 2 ? 30 : 0;
                        f.tm_isdst = -1;
                        std::tm g = f;
                        int64_t ours = 0;
                        ASSERT_TRUE(zone.Compose(f, ours));
                        const int64_t theirs = std::mktime(&g);
                        // Times that occur twice may be resolved either way: ours is the
                        // earlier. Times that do not occur move forward with us; the C
                        // library's heuristics move some of them back (negative DST).
                        std::tm back{}, theirsBack{};
                        zone.Breakdown(ours, back);
                        zone.Breakdown(theirs, theirsBack);
                        const bool exists = back.tm_hour == f.tm_hour && back.tm_min == f.tm_min;
                        const bool twice = exists && ours < theirs;
                        const bool skipped =
                            !exists &&
                            (theirsBack.tm_hour != f.tm_hour || theirsBack.tm_min != f.tm_min) &&
                            ours > theirs;
                        if (ours != theirs && !twice && !skipped) {
                            FAIL() << name << " " << year << "-" << month << "-" << day << " "
                                   << half / 2 << ":" << (half % 2 ? 30 : 0) << " ours " << ours
                                   << " C library " << theirs;
                        }
                    }
                }
            }
        }
    }
}

TEST(ZoneLocalTime, UnknownZonesAndDamagedFilesAreRefused) {
    EXPECT_FALSE(ZoneLocalTime("No/Such_Zone").Valid());
    EXPECT_FALSE(ZoneLocalTime("../../etc/passwd").Valid());
    EXPECT_FALSE(ZoneLocalTime("").Valid());
    ZoneLocalTime zone("No/Such_Zone");
    std::tm f{};
    int64_t v = 0;
    EXPECT_FALSE(zone.Breakdown(0, f));
    EXPECT_FALSE(zone.Compose(f, v));
    EXPECT_FALSE(zone.Load("TZif2"));
    EXPECT_FALSE(zone.Load(std::string(44, '\0')));
}

}  // namespace
}  // namespace vistrel
