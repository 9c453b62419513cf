// The first due moment of a task set by the operator, and how one "Apply" reaches the
// projector table and the store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "../store/store_test_support.h"
#include "protocol/console.h"
#include "schedule/task_apply.h"
#include "schedule/task_timing.h"
#include "store/reg_store.h"

namespace vistrel {
namespace {

// The process's zone for one test, restored afterwards.
class ProcessZone {
  public:
    explicit ProcessZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ProcessZone() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::optional<std::string> old_;
};

int64_t Utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<int64_t>(::timegm(&fields));
}

const LocalTime& Zone() {
    return SystemLocalTime::Instance();
}

TEST(TaskStartTest, TakesTheDateOfOneValueAndTheTimeOfDayOfTheOther) {
    ProcessZone berlin("Europe/Berlin");
    // 07:30:00 on some other day, and 2024-05-14 14:05:12, both summer time (UTC+2).
    const int64_t time = Utc(2023, 11, 2, 6, 30, 0);  // 07:30 winter time
    const int64_t date = Utc(2024, 5, 14, 12, 5, 12);
    int64_t start = 0;
    ASSERT_TRUE(TaskStart(time, date, Zone(), start));
    EXPECT_EQ(start, Utc(2024, 5, 14, 5, 30, 0));  // 07:30 local on the 14th

    // The same in a zone west of Greenwich, where the UTC date differs from the local one.
    ProcessZone chicago("America/Chicago");
    const int64_t lateEvening = Utc(2024, 5, 15, 3, 45, 0);  // 22:45 on the 14th
    ASSERT_TRUE(TaskStart(lateEvening, date, Zone(), start));
    EXPECT_EQ(start, Utc(2024, 5, 15, 3, 45, 0));
}

TEST(TaskStartTest, ATimeOfDayAcrossThatDaysClockChangeKeepsItsWallClockTime) {
    ProcessZone berlin("Europe/Berlin");
    // The date picker says 14:05 summer time on the day the clocks went forward at 02:00;
    // 01:30 that morning was still winter time, so it is 00:30 UTC, not an hour off.
    const int64_t date = Utc(2024, 3, 31, 12, 5, 0);
    const int64_t time = Utc(2024, 1, 10, 0, 30, 0);  // 01:30 local
    int64_t start = 0;
    ASSERT_TRUE(TaskStart(time, date, Zone(), start));
    EXPECT_EQ(start, Utc(2024, 3, 31, 0, 30, 0));

    // And back: 23:00 on the day the clocks went back is winter time, though the date
    // picker's own value is from the summer-time morning.
    const int64_t morning = Utc(2024, 10, 27, 0, 15, 0);  // 02:15 summer time
    const int64_t evening = Utc(2024, 1, 10, 22, 0, 0);   // 23:00 local
    ASSERT_TRUE(TaskStart(evening, morning, Zone(), start));
    EXPECT_EQ(start, Utc(2024, 10, 27, 22, 0, 0));
}

TEST(TaskStartTest, SkippedAndRepeatedTimesLandWhereTheScheduleCheckPutsThem) {
    ProcessZone berlin("Europe/Berlin");
    // 02:30 does not exist on 2024-03-31 and happens twice on 2024-10-27. A daily task
    // moved on into each of those days is where a task set for that day must start.
    const struct {
        int64_t dayBefore;  // 02:30 local on the day before
        int64_t theDay;     // some moment of the day itself
    } cases[] = {
        {Utc(2024, 3, 30, 1, 30, 0), Utc(2024, 3, 31, 10, 0, 0)},
        {Utc(2024, 10, 26, 0, 30, 0), Utc(2024, 10, 27, 10, 0, 0)},
    };
    for (const auto& c : cases) {
        int64_t advanced = 0;
        ASSERT_TRUE(AddPeriods(kPeriodDaily, c.dayBefore, 1, Zone(), advanced));
        int64_t start = 0;
        ASSERT_TRUE(TaskStart(c.dayBefore, c.theDay, Zone(), start));
        EXPECT_EQ(start, advanced) << c.theDay;
        // Either way the task starts that same local day, within an hour of 02:30.
        std::tm local{};
        const std::time_t t = static_cast<std::time_t>(start);
        ASSERT_NE(::localtime_r(&t, &local), nullptr);
        EXPECT_TRUE(local.tm_hour >= 1 && local.tm_hour <= 3) << local.tm_hour;
        std::tm day{};
        const std::time_t d = static_cast<std::time_t>(c.theDay);
        ASSERT_NE(::localtime_r(&d, &day), nullptr);
        EXPECT_EQ(local.tm_mday, day.tm_mday);
    }
}

class ApplyTasksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto guard = console.table.Lock();
        for (const char* mac : {"00AA00000001", "00AA00000002", "00AA00000003"}) {
            Info info(mac);
            info.ip = "127.0.0.9";
            info.power = "1";
            guard.Store(info);
        }
    }

    static TaskSet Tasks() {
        TaskSet tasks;
        tasks[0] = {1, kPeriodDaily, 1715664600, 1715688312, 1715664600, 0};
        tasks[1] = {0, kPeriodWeekly, 1715670000, 1715688312, 1715670000, 1};
        tasks[3] = {1, kPeriodOnce, 1715700000, 1715688312, 1715700000, 1};
        return tasks;
    }

    bool HasTaskKey(const std::string& root, const std::string& name, int index) {
        return store.KeyExists({root, name, "Scheduler" + std::to_string(index)});
    }

    testing::TempDir dir;
    Console console;
    RegStore store{dir.File(), "vistrel-test"};
};

TEST_F(ApplyTasksTest, GroupApplyWritesEveryProjectorFoundAndTheGroupInOneStoreWrite) {
    const TaskSet tasks = Tasks();
    const std::vector<std::string> macs = {"00AA00000001", "00AA00000002", "00AA0000FFFF",
                                           "00AA00000003"};
    bool lockHeldWhileWriting = true;
    int writes = 0;
    store.SetBeforeRenameHook([&] {
        ++writes;
        lockHeldWhileWriting = ProjectorTable::HeldByThisThread();
    });
    const uint64_t before = store.WriteCount();
    const TaskApplyResult result = ApplyTasks(console.table, store, macs, tasks, "Lab");

    EXPECT_TRUE(result.stored);
    EXPECT_EQ(result.written,
              (std::vector<std::string>{"00AA00000001", "00AA00000002", "00AA00000003"}));
    EXPECT_EQ(store.WriteCount() - before, 1u);
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(lockHeldWhileWriting);

    int projectorKeys = 0;
    for (const std::string& mac : result.written) {
        for (int index = 0; index < kTaskCount; ++index) {
            projectorKeys += HasTaskKey("Projector", mac, index) ? 1 : 0;
            SchedTask stored;
            ASSERT_EQ(store.ReadProjectorTask(mac, index, &stored), 1);
            EXPECT_EQ(stored, tasks[static_cast<size_t>(index)]) << mac << " " << index;
        }
        Info record;
        ASSERT_TRUE(console.table.Lock().Lookup(mac, record));
        EXPECT_EQ(record.tasks, tasks);
        EXPECT_EQ(record.power, "1");  // the rest of the record is left as it was
    }
    EXPECT_EQ(projectorKeys, 12);
    for (int index = 0; index < kTaskCount; ++index) {
        EXPECT_TRUE(HasTaskKey("Group", "Lab", index));
        SchedTask stored;
        ASSERT_EQ(store.ReadGroupTask("Lab", index, &stored), 1);
        EXPECT_EQ(stored, tasks[static_cast<size_t>(index)]);
    }
    // A projector that is not in the table gets nothing anywhere.
    EXPECT_FALSE(store.KeyExists({"Projector", "00AA0000FFFF"}));
    Info absent;
    EXPECT_FALSE(console.table.Lock().Lookup("00AA0000FFFF", absent));
}

TEST_F(ApplyTasksTest, AProjectorMissingFromTheTableWritesNothing) {
    const TaskApplyResult result = ApplyTasks(console.table, store, {"00AA0000FFFF"}, Tasks());
    EXPECT_TRUE(result.written.empty());
    EXPECT_EQ(store.WriteCount(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.File()));

    // No MAC at all (a dialog opened without a target) is the same.
    EXPECT_TRUE(ApplyTasks(console.table, store, {""}, Tasks()).written.empty());
    EXPECT_TRUE(ApplyTasks(console.table, store, {}, Tasks()).written.empty());
    EXPECT_EQ(store.WriteCount(), 0u);
}

TEST_F(ApplyTasksTest, AllProjectorsTasksAreStoredButNeverListedAsAGroup) {
    store.OpenGroupKey("Lab", kGroupKeyRoot, 0);
    const TaskApplyResult result =
        ApplyTasks(console.table, store, {"00AA00000002"}, Tasks(), kAllProjectorsGroup);
    EXPECT_EQ(result.written, std::vector<std::string>{"00AA00000002"});
    for (int index = 0; index < kTaskCount; ++index)
        EXPECT_TRUE(HasTaskKey("Group", std::string(kAllProjectorsGroup), index));
    EXPECT_EQ(store.LoadGroupNames(), std::vector<std::string>{"Lab"});
}

}  // namespace
}  // namespace vistrel
