#include <gtest/gtest.h>

#include "../store/store_test_support.h"
#include "protocol/console.h"
#include "schedule/local_time.h"
#include "schedule/schedule_runner.h"
#include "schedule/scoped_time_zone.h"
#include "schedule/task_timing.h"
#include "store/reg_store.h"

namespace vistrel {
namespace {

using testing::FixedClock;
using testing::ScopedTimeZone;
using testing::TempDir;

constexpr const char* kOn = "command=~0000 1";
constexpr const char* kOff = "command=~0000 0";

class ScheduleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!berlin.Valid())
            GTEST_SKIP() << "time-zone data for Europe/Berlin is not installed (tzdata)";
    }

    int64_t Local(int y, int mon, int d, int h, int min, int s = 0) const {
        std::tm f{};
        f.tm_year = y - 1900;
        f.tm_mon = mon - 1;
        f.tm_mday = d;
        f.tm_hour = h;
        f.tm_min = min;
        f.tm_sec = s;
        f.tm_isdst = -1;
        int64_t v = 0;
        EXPECT_TRUE(zone.Compose(f, v));
        return v;
    }
    static int64_t Utc(int y, int mon, int d, int h, int min) {
        std::tm f{};
        f.tm_year = y - 1900;
        f.tm_mon = mon - 1;
        f.tm_mday = d;
        f.tm_hour = h;
        f.tm_min = min;
        return static_cast<int64_t>(::timegm(&f));
    }

    void AddProjector(const std::string& mac, const std::string& ip) {
        auto guard = console.table.Lock();
        Info info(mac);
        info.ip = ip;
        guard.Store(info);
    }
    int Run() { return runner.RunSchedules(console.table); }
    SchedTask Stored(const std::string& mac, int index) {
        SchedTask t;
        store.ReadProjectorTask(mac, index, &t);
        return t;
    }
    Info TableEntry(const std::string& mac) {
        auto guard = console.table.Lock();
        Info info;
        guard.Lookup(mac, info);
        return info;
    }

    // Tasks are advanced in the console's own local time; the tests run it in Berlin, whose
    // clock changes they know.
    ScopedTimeZone berlin{"Europe/Berlin"};
    const LocalTime& zone = SystemLocalTime::Instance();
    TempDir dir;
    FixedClock clock{1717000000};
    RegStore store{dir.File(), "Vistrel", clock};
    Console console;
    std::vector<std::pair<std::string, std::string>> sent;  // body, ip
    ScheduleRunner runner{
        store, clock, zone,
        [this](const std::string& body, const std::string& ip) { sent.emplace_back(body, ip); }};
};

TEST_F(ScheduleTest, OnceOneSecondPastFiresOnceAndIsStoredDisabled) {
    AddProjector("00AB12CD34EF", "10.1.2.3");
    const int64_t now = clock.Now();
    const SchedTask task{1, kPeriodOnce, now - 3600, now - 86400, now - 1, 1};
    store.WriteProjectorTask("00AB12CD34EF", 2, &task);

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(sent, (decltype(sent){{kOff, "10.1.2.3"}}));
    const SchedTask expected{0, kPeriodOnce, now - 3600, now - 86400, now - 1, 1};
    EXPECT_EQ(Stored("00AB12CD34EF", 2), expected);
    EXPECT_EQ(store.GetProjectorDword("00AB12CD34EF", kProjectorKeyScheduler, 2, "TaskEanbled", 9),
              0u);
    EXPECT_EQ(TableEntry("00AB12CD34EF").tasks[2], expected);

    clock.Set(now + 3600);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(ScheduleTest, StartEqualToNowIsNotDueUntilTheNextSecond) {
    AddProjector("M1", "10.1.2.3");
    const int64_t now = clock.Now();
    const SchedTask task{1, kPeriodDaily, now, now, now, 0};
    store.WriteProjectorTask("M1", 0, &task);
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(Stored("M1", 0), task);

    clock.Set(now + 1);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(sent, (decltype(sent){{kOn, "10.1.2.3"}}));
    const SchedTask after = Stored("M1", 0);
    EXPECT_EQ(after.start, now + 86400);  // no daylight-saving change at the end of May
    EXPECT_EQ(after.date, now + 86400);
    EXPECT_EQ(after.time, now);
    EXPECT_EQ(after.enabled, 1);
}

TEST_F(ScheduleTest, MonthlyFrom31JanuaryGoesToEarlyMarchThenMonthByMonth) {
    AddProjector("M1", "10.1.2.3");
    const int64_t start = Local(2024, 1, 31, 8, 0);
    const SchedTask task{1, kPeriodMonthly, start, start, start, 0};
    store.WriteProjectorTask("M1", 1, &task);

    clock.Set(start + 1);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Stored("M1", 1).start, Local(2024, 3, 2, 8, 0));  // 31 February 2024 = 2 March
    EXPECT_EQ(Stored("M1", 1).date, Local(2024, 3, 2, 8, 0));

    clock.Set(Local(2024, 3, 2, 8, 0));
    EXPECT_EQ(Run(), 0);
    clock.Set(Local(2024, 3, 2, 8, 0, 1));
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Stored("M1", 1).start, Local(2024, 4, 2, 8, 0));
    EXPECT_EQ(sent.size(), 2u);

    int64_t out = 0;
    ASSERT_TRUE(AddPeriods(kPeriodMonthly, Local(2023, 1, 31, 8, 0), 1, zone, out));
    EXPECT_EQ(out, Local(2023, 3, 3, 8, 0));
}

TEST_F(ScheduleTest, DaylightSavingChangesKeepTheTimeOfDay) {
    // Spring: 31 March 2024 has 23 hours in Berlin.
    int64_t out = 0;
    ASSERT_TRUE(AddPeriods(kPeriodDaily, Local(2024, 3, 30, 8, 0), 1, zone, out));
    EXPECT_EQ(out, Utc(2024, 3, 31, 6, 0));  // 08:00 summer time
    EXPECT_EQ(out - Local(2024, 3, 30, 8, 0), 23 * 3600);
    // Autumn: 27 October 2024 has 25 hours.
    ASSERT_TRUE(AddPeriods(kPeriodDaily, Local(2024, 10, 26, 8, 0), 1, zone, out));
    EXPECT_EQ(out, Utc(2024, 10, 27, 7, 0));  // 08:00 standard time
    ASSERT_TRUE(AddPeriods(kPeriodWeekly, Local(2024, 10, 22, 21, 30), 1, zone, out));
    EXPECT_EQ(out, Utc(2024, 10, 29, 20, 30));

    // Through the runner, across the spring change and back to a normal day.
    AddProjector("M1", "10.1.2.3");
    const int64_t start = Local(2024, 3, 30, 8, 0);
    const SchedTask task{1, kPeriodDaily, start, start, start, 0};
    store.WriteProjectorTask("M1", 0, &task);
    clock.Set(start + 10);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Stored("M1", 0).start, Utc(2024, 3, 31, 6, 0));
    clock.Set(Utc(2024, 3, 31, 6, 0) + 10);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Stored("M1", 0).start, Utc(2024, 4, 1, 6, 0));
}

TEST_F(ScheduleTest, ProjectorNotInTheTableNeverFires) {
    AddProjector("SEEN", "10.1.2.3");
    const int64_t now = clock.Now();
    const SchedTask task{1, kPeriodOnce, now, now, now - 60, 0};
    store.WriteProjectorTask("UNSEEN", 0, &task);
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(Stored("UNSEEN", 0), task);
    auto guard = console.table.Lock();
    EXPECT_EQ(guard.Size(), 1u);
}

TEST_F(ScheduleTest, AWeekOverdueFiresEachTaskOnceInOccurrenceOrder) {
    AddProjector("M1", "10.1.2.3");
    AddProjector("M2", "10.1.2.4");
    // Daily on at 07:00 and off at 19:00, last run a week ago; the console restarts at noon.
    const int64_t on = Local(2024, 5, 20, 7, 0);
    const int64_t off = Local(2024, 5, 20, 19, 0);
    const SchedTask onTask{1, kPeriodDaily, on, on, on, 0};
    const SchedTask offTask{1, kPeriodDaily, off, off, off, 1};
    store.WriteProjectorTask("M1", 0, &onTask);   // task 1: on
    store.WriteProjectorTask("M1", 1, &offTask);  // task 2: off
    store.WriteProjectorTask("M2", 3, &offTask);
    clock.Set(Local(2024, 5, 27, 12, 0));

    EXPECT_EQ(Run(), 3);
    // Off stands for yesterday 19:00, on for today 07:00: the room ends switched on.
    EXPECT_EQ(sent, (decltype(sent){{kOff, "10.1.2.3"}, {kOn, "10.1.2.3"}, {kOff, "10.1.2.4"}}));
    const SchedTask on2 = Stored("M1", 0);
    const SchedTask off2 = Stored("M1", 1);
    EXPECT_EQ(on2.start, Local(2024, 5, 28, 7, 0));
    EXPECT_EQ(on2.date, Local(2024, 5, 28, 7, 0));
    EXPECT_EQ(on2.time, on);
    EXPECT_EQ(off2.start, Local(2024, 5, 27, 19, 0));
    EXPECT_EQ(TableEntry("M1").tasks[1], off2);

    sent.clear();
    EXPECT_EQ(Run(), 0);
    clock.Set(Local(2024, 5, 27, 19, 0, 1));
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(sent, (decltype(sent){{kOff, "10.1.2.3"}, {kOff, "10.1.2.4"}}));
}

TEST_F(ScheduleTest, LongOverdueWeeklyAndMonthlyLandOnTheirNextOccurrence) {
    SchedTask weekly{1, kPeriodWeekly, 0, 0, Local(2020, 1, 6, 9, 0), 0};  // a Monday
    weekly.date = weekly.start;
    const int64_t now = Local(2024, 5, 29, 12, 0);  // a Wednesday
    const auto fired = FireIfDue(weekly, now, zone);
    ASSERT_TRUE(fired);
    EXPECT_EQ(*fired, Local(2024, 5, 27, 9, 0));
    EXPECT_EQ(weekly.start, Local(2024, 6, 3, 9, 0));
    EXPECT_EQ(weekly.date, weekly.start);

    SchedTask monthly{1, kPeriodMonthly, 0, 0, Local(2024, 1, 15, 9, 0), 1};
    ASSERT_TRUE(FireIfDue(monthly, now, zone));
    EXPECT_EQ(monthly.start, Local(2024, 6, 15, 9, 0));
    EXPECT_EQ(monthly.date, Local(1970, 6, 1, 1, 0));  // moved by the same five months

    SchedTask disabled{0, kPeriodDaily, 0, 0, 0, 0};
    EXPECT_FALSE(FireIfDue(disabled, now, zone));
}

TEST_F(ScheduleTest, OddStoredValuesNeverFloodTheProjector) {
    AddProjector("M1", "10.1.2.3");
    AddProjector("NOADDR", "0.0.0.0");
    const int64_t now = clock.Now();
    const SchedTask badPeriod{1, 7, now, now, now - 5, 0};
    const SchedTask badCommand{1, kPeriodDaily, now, now, now - 5, 5};
    store.WriteProjectorTask("M1", 0, &badPeriod);
    store.WriteProjectorTask("M1", 1, &badCommand);
    const SchedTask once{1, kPeriodOnce, now, now, now - 5, 0};
    store.WriteProjectorTask("NOADDR", 0, &once);

    // The unknown period fires once like Once; the unknown command and the projector
    // without an address send nothing.
    EXPECT_EQ(Run(), 3);
    EXPECT_EQ(sent, (decltype(sent){{kOn, "10.1.2.3"}}));
    EXPECT_EQ(Stored("M1", 0).enabled, 0);
    EXPECT_EQ(Stored("M1", 1).start, now - 5 + 86400);
    EXPECT_EQ(Stored("NOADDR", 0).enabled, 0);
    clock.Set(now + 60);
    EXPECT_EQ(Run(), 0);
}

// Polling waits for the table lock, so the check never holds it while the store's file is
// written or while commands are queued. A poll that lands meanwhile keeps its fields.
TEST_F(ScheduleTest, StoreAndQueueAreUsedWithoutTheTableLockAndPolledFieldsSurvive) {
    const int64_t now = clock.Now();
    AddProjector("M1", "10.1.2.3");
    AddProjector("M2", "10.1.2.4");
    const SchedTask task{1, kPeriodDaily, now, now, now - 10, 0};
    store.WriteProjectorTask("M2", 0, &task);
    store.WriteProjectorTask("M1", 3, &task);

    int writes = 0;
    bool lockedDuringWrite = false;
    store.SetBeforeRenameHook([&] {
        ++writes;
        if (ProjectorTable::HeldByThisThread()) {
            lockedDuringWrite = true;
            return;
        }
        auto guard = console.table.Lock();  // a poll result arriving mid-check
        guard.Find("M1")->power = "Lamp On";
        guard.Find("M2")->ip = "10.1.2.40";
    });
    bool lockedDuringQueue = false;
    ScheduleRunner watched{store, clock, zone, [&](const std::string& body, const std::string& ip) {
                               lockedDuringQueue |= ProjectorTable::HeldByThisThread();
                               sent.emplace_back(body, ip);
                           }};
    EXPECT_EQ(watched.RunSchedules(console.table), 2);
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(lockedDuringWrite);
    EXPECT_FALSE(lockedDuringQueue);
    // Table order, each to the address the table holds when the commands go out.
    EXPECT_EQ(sent, (decltype(sent){{kOn, "10.1.2.3"}, {kOn, "10.1.2.40"}}));
    EXPECT_EQ(TableEntry("M1").power, "Lamp On");
    EXPECT_EQ(TableEntry("M1").tasks[3].start, now - 10 + 86400);
    EXPECT_EQ(TableEntry("M2").tasks[0].start, now - 10 + 86400);
    EXPECT_EQ(TableEntry("M2").tasks[1].enabled, 0);
}

TEST_F(ScheduleTest, OneCheckWritesTheStoreAtMostOnce) {
    const int64_t now = clock.Now();
    for (int p = 0; p < 20; ++p) {
        const std::string mac = "M" + std::to_string(p);
        AddProjector(mac, "10.1.2." + std::to_string(p));
        const SchedTask task{1, kPeriodDaily, now, now, now - 10, p % 2};
        store.WriteProjectorTask(mac, p % kTaskCount, &task);
    }
    uint64_t writes = store.WriteCount();
    EXPECT_EQ(Run(), 20);  // the 60 tasks never stored are read as defaults, not created
    EXPECT_EQ(store.WriteCount(), writes + 1);
    writes = store.WriteCount();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(store.WriteCount(), writes);
}

}  // namespace
}  // namespace vistrel
