// schedule list and schedule set on a private store, in UTC so the times are exact.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "cli/cli_fixture.h"
#include "store/reg_store.h"

namespace vistrel::cli::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using json = nlohmann::json;

constexpr const char* kMacA = "0011AABBCC01";
constexpr const char* kMacB = "0011AABBCC02";
constexpr int64_t kMay14At0730 = 1715671800;  // 2024-05-14 07:30:00 UTC

class ScheduleCliTest : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    SchedTask StoredTask(const std::string& mac, int index, const std::string& app = "vistrel") {
        RegStore store(StoreFile(), app);
        SchedTask task;
        store.ReadProjectorTask(mac, index, &task);
        return task;
    }
};

TEST_F(ScheduleCliTest, SetWritesTheTaskAndListShowsItInEachForm) {
    const CliRun set =
        Run({"schedule", "set", "--projector", kMacA, "--task", "2", "--enable", "--period",
             "daily", "--time", "07:30", "--date", "2024-05-14", "--command", "off"},
            false);
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(
        set.out,
        "OWNER      NAME          TASK  ENABLED  PERIOD  COMMAND    TIME      DATE        NEXT\n"
        "projector  0011AABBCC01  2     yes      Daily   Power_Off  07:30:00  2024-05-14  "
        "2024-05-14 07:30:00\n");
    const SchedTask task = StoredTask(kMacA, 1);
    EXPECT_EQ(task.enabled, 1);
    EXPECT_EQ(task.period, 1);
    EXPECT_EQ(task.command, 1);
    EXPECT_EQ(task.start, kMay14At0730);

    const CliRun table = Run({"schedule", "list", "--projector", kMacA}, false);
    ASSERT_EQ(table.status, 0) << table.err;
    const auto lines = Lines(table.out);
    ASSERT_EQ(lines.size(), 5u);
    // Tasks never stored read as the console reads them: disabled Once Power On.
    EXPECT_EQ(lines[1], "projector  0011AABBCC01  1     no       Once    Power_On");
    EXPECT_EQ(lines[2],
              "projector  0011AABBCC01  2     yes      Daily   Power_Off  07:30:00  2024-05-14  "
              "2024-05-14 07:30:00");

    const CliRun js = Run({"schedule", "list", "--projector", kMacA, "--json"}, false);
    const json parsed = json::parse(js.out);
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[1], json::parse(R"({"owner": "projector", "name": "0011AABBCC01", "task": 2,
        "enabled": true, "period": "Daily", "command": "Power_Off", "time": "07:30:00",
        "date": "2024-05-14", "next": "2024-05-14 07:30:00"})"));
    EXPECT_TRUE(parsed[0]["time"].is_null());

    const CliRun csv = Run({"schedule", "list", "--projector", kMacA, "--csv"}, false);
    EXPECT_THAT(Lines(csv.out),
                ElementsAre("owner,name,task,enabled,period,command,time,date,next",
                            "projector,0011AABBCC01,1,no,Once,Power_On,,,",
                            "projector,0011AABBCC01,2,yes,Daily,Power_Off,07:30:00,2024-05-14,"
                            "2024-05-14 07:30:00",
                            "projector,0011AABBCC01,3,no,Once,Power_On,,,",
                            "projector,0011AABBCC01,4,no,Once,Power_On,,,"));
}

TEST_F(ScheduleCliTest, ChangesKeepWhatWasNotGivenAndRecomputeTheFirstDueMoment) {
    ASSERT_EQ(Run({"schedule", "set", "--projector", kMacA, "--task", "1", "--enable", "--period",
                   "weekly", "--time", "07:30:15", "--date", "2024-05-14", "--command", "on"},
                  false)
                  .status,
              0);
    ASSERT_EQ(
        Run({"schedule", "set", "--projector", kMacA, "--task", "1", "--disable"}, false).status,
        0);
    SchedTask task = StoredTask(kMacA, 0);
    EXPECT_EQ(task.enabled, 0);
    EXPECT_EQ(task.period, 2);
    EXPECT_EQ(task.command, 0);
    EXPECT_EQ(task.start, kMay14At0730 + 15);

    ASSERT_EQ(
        Run({"schedule", "set", "--projector", kMacA, "--task", "1", "--date", "2024-06-01"}, false)
            .status,
        0);
    task = StoredTask(kMacA, 0);
    EXPECT_EQ(task.start, kMay14At0730 + 15 + 18 * 86400);  // same time of day, new date
    EXPECT_EQ(task.period, 2);
}

TEST_F(ScheduleCliTest, GroupTaskIsStoredAndCopiedToTheProjectorsGiven) {
    const CliRun run = Run(
        {"schedule", "set",    "--group",    "Lab",       "--projector", kMacA,     "--projector",
         kMacB,      "--task", "4",          "--enable",  "--period",    "monthly", "--time",
         "22:00",    "--date", "2026-01-05", "--command", "off",         "--csv"},
        false);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(
        Lines(run.out),
        ElementsAre("owner,name,task,enabled,period,command,time,date,next",
                    "group,Lab,4,yes,Monthly,Power_Off,22:00:00,2026-01-05,2026-01-05 22:00:00",
                    "projector,0011AABBCC01,4,yes,Monthly,Power_Off,22:00:00,2026-01-05,"
                    "2026-01-05 22:00:00",
                    "projector,0011AABBCC02,4,yes,Monthly,Power_Off,22:00:00,2026-01-05,"
                    "2026-01-05 22:00:00"));
    EXPECT_EQ(StoredTask(kMacB, 3).start, 1767650400);
    RegStore store(StoreFile(), "vistrel");
    SchedTask group;
    store.ReadGroupTask("lab", 3, &group);  // key names compare without regard to case
    EXPECT_EQ(group.start, 1767650400);
    EXPECT_EQ(group.period, 3);

    const CliRun list = Run({"schedule", "list", "--group", "Lab", "--json"}, false);
    const json parsed = json::parse(list.out);
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed[3]["owner"], "group");
    EXPECT_EQ(parsed[3]["enabled"], true);
    EXPECT_EQ(parsed[0]["enabled"], false);
}

TEST_F(ScheduleCliTest, ListWithoutFilterShowsEveryOwnerWithStoredTasksAndCreatesNothing) {
    {
        RegStore store(StoreFile(), "vistrel");
        store.SetProjectorDword("0011AABBCC09", 1, 0, "Checked", 1);  // ticked, no tasks
        SchedTask task;
        task.enabled = 1;
        task.start = kMay14At0730;
        task.time = task.date = kMay14At0730;
        store.WriteProjectorTask(kMacB, 0, &task);
        store.WriteGroupTask("All Projectors", 2, &task);  // the window's every-projector view
    }
    const CliRun run = Run({"schedule", "list", "--csv"}, false);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 9u) << run.out;
    EXPECT_EQ(lines[1],
              "projector,0011AABBCC02,1,yes,Once,Power_On,07:30:00,2024-05-14,"
              "2024-05-14 07:30:00");
    EXPECT_EQ(lines[7],
              "group,All Projectors,3,yes,Once,Power_On,07:30:00,2024-05-14,"
              "2024-05-14 07:30:00");
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("0011AABBCC09")));

    // Looking at a projector without tasks leaves no trace in the store.
    ASSERT_EQ(Run({"schedule", "list", "--projector", kMacA}, false).status, 0);
    RegStore store(StoreFile(), "vistrel");
    EXPECT_FALSE(store.KeyExists({"Projector", kMacA}));
}

TEST_F(ScheduleCliTest, AppNameSelectsAnotherConsolesKey) {
    ASSERT_EQ(Run({"schedule", "set", "--projector", kMacA, "--task", "1", "--enable", "--app-name",
                   "Lecterns"},
                  false)
                  .status,
              0);
    EXPECT_EQ(StoredTask(kMacA, 0, "lecterns").enabled, 1);
    EXPECT_EQ(Run({"schedule", "list", "--json"}, false).out, "[]\n");
    const json other =
        json::parse(Run({"schedule", "list", "--json", "--app-name", "LECTERNS"}, false).out);
    ASSERT_EQ(other.size(), 4u);
    EXPECT_EQ(other[0]["enabled"], true);
}

TEST_F(ScheduleCliTest, UnusableStoreIsAnEnvironmentError) {
    // The store's folder is a file: nothing can be written there.
    std::filesystem::create_directories(dir_);
    { std::ofstream(dir_ / "blocker") << "x"; }
    const CliRun run = Run({"schedule", "set", "--projector", kMacA, "--task", "1", "--enable",
                            "--store", (dir_ / "blocker" / "registry.reg").string()},
                           false);
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("blocker"));
    EXPECT_TRUE(run.out.empty());
}

}  // namespace
}  // namespace vistrel::cli::test
