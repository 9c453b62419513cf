#include "store/reg_store.h"

#include <gtest/gtest.h>

#include "store_test_support.h"

namespace vistrel {
namespace {

using testing::FixedClock;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr int64_t kNow = 1717000000;  // 2024-05-29
constexpr const char* kApp = "HKEY_CURRENT_USER\\Software\\Brightwerk\\Vistrel";

class RegStoreTest : public ::testing::Test {
  protected:
    TempDir dir;
    FixedClock clock{kNow};
    RegStore store{dir.File(), "Vistrel", clock};

    std::string Text() { return ReadFile(dir.File()); }
};

TEST_F(RegStoreTest, AppKeyPathIsMakerAndExecutableName) {
    EXPECT_EQ(store.AppKeyPath(), "Software\\Brightwerk\\Vistrel");
    EXPECT_EQ(RegStore::AppNameFromExecutable("/usr/local/bin/vistrel"), "vistrel");
    EXPECT_EQ(RegStore::AppNameFromExecutable("C:\\Program Files\\Vistrel.exe"), "Vistrel");
    EXPECT_EQ(RegStore::AppNameFromExecutable("./my.tool.bin"), "my.tool");
}

TEST_F(RegStoreTest, FirstRunHasDefaultsAndLoadingCreatesNoGroupKey) {
    EXPECT_TRUE(store.LoadGroupNames().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File()));  // loading alone writes nothing
    EXPECT_EQ(store.GetAppDword("Interval", 10000), 10000u);
    EXPECT_FALSE(store.KeyExists({"Group"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File()));  // nor does reading a missing value
    EXPECT_EQ(store.GetAppDword("", 10000), 0u);
    EXPECT_EQ(store.SetAppDword("", 1), 0);
}

TEST_F(RegStoreTest, IntervalIsStoredAsDword) {
    ASSERT_EQ(store.SetAppDword("Interval", 5000), 1);
    EXPECT_NE(Text().find("\"Interval\"=dword:00001388"), std::string::npos);
    RegStore other(dir.File(), "Vistrel", clock);
    EXPECT_EQ(other.GetAppDword("Interval", 10000), 5000u);
    RegStore otherApp(dir.File(), "Tool", clock);
    EXPECT_EQ(otherApp.GetAppDword("Interval", 10000), 10000u);
}

TEST_F(RegStoreTest, TextValuesRoundTripEscapedAndOtherKindsReadAsAbsent) {
    const std::string text = "10.1.2.255 \"quoted\" back\\slash";
    ASSERT_EQ(store.SetAppString("DirectedBroadcast", text), 1);
    EXPECT_NE(Text().find("\"DirectedBroadcast\"=\"10.1.2.255 \\\"quoted\\\" back\\\\slash\""),
              std::string::npos)
        << Text();
    RegStore other(dir.File(), "Vistrel", clock);
    EXPECT_EQ(other.GetAppString("DirectedBroadcast"), text);
    // A DWORD is not text, a DWORD read of text yields the default, and line breaks never
    // reach the file.
    ASSERT_EQ(store.SetAppDword("Interval", 5000), 1);
    EXPECT_FALSE(store.GetAppString("Interval"));
    EXPECT_EQ(store.GetAppDword("DirectedBroadcast", 7), 7u);
    EXPECT_EQ(store.SetAppString("DirectedBroadcast", "a\nb"), 0);
    EXPECT_EQ(store.SetAppString("", "x"), 0);
    EXPECT_EQ(other.GetAppString("DirectedBroadcast"), text);
    // What an administrator wrote in another value form stays and reads as absent.
    WriteFile(dir.File(), std::string("Windows Registry Editor Version 5.00\n\n[") + kApp +
                              "]\n\"DirectedBroadcast\"=hex(7):31,00,00,00\n");
    EXPECT_FALSE(store.GetAppString("DirectedBroadcast"));
    ASSERT_EQ(store.SetAppDword("Interval", 6000), 1);
    EXPECT_NE(Text().find("=hex(7):31,00,00,00"), std::string::npos);
}

TEST_F(RegStoreTest, GroupNamesEnumerateAlphabeticallySkippingReservedAndLongNames) {
    const std::string name59(59, 'm');
    const std::string name60(60, 'n');
    WriteFile(dir.File(), std::string("Windows Registry Editor Version 5.00\n\n") + "[" + kApp +
                              "\\Group\\zeta]\n[" + kApp + "\\Group\\All Projectors]\n[" + kApp +
                              "\\Group\\" + name60 + "]\n[" + kApp + "\\Group\\" + name59 + "]\n[" +
                              kApp + "\\Group\\Alpha\\Scheduler0]\n");
    EXPECT_EQ(store.OpenGroupKey("beta", kGroupKeyRoot, 0) ? 1 : 0, 1);
    EXPECT_EQ(store.LoadGroupNames(), (std::vector<std::string>{"Alpha", "beta", name59, "zeta"}));
    // A group spelled differently in case is the same key, and "all projectors" stays hidden.
    EXPECT_TRUE(store.OpenGroupKey("ALL PROJECTORS", kGroupKeyScheduler, 1));
    EXPECT_TRUE(store.OpenGroupKey("BETA", kGroupKeyRoot, 0));
    EXPECT_EQ(store.LoadGroupNames().size(), 4u);
}

TEST_F(RegStoreTest, OpenRefusesBadKindsAndNamesThatWouldBreakTheTree) {
    EXPECT_FALSE(store.OpenGroupKey("", kGroupKeyRoot, 0));
    EXPECT_FALSE(store.OpenGroupKey("g", 0, 0));
    EXPECT_FALSE(store.OpenGroupKey("g", 6, 0));
    EXPECT_FALSE(store.OpenProjectorKey("", kProjectorKeyRoot, 0));
    EXPECT_FALSE(store.OpenProjectorKey("m", 3, 0));
    for (const char* bad : {"a\\b", "line\nbreak", "\\", "x\r"}) {
        EXPECT_FALSE(store.OpenGroupKey(bad, kGroupKeyRoot, 0)) << bad;
        EXPECT_EQ(store.SetGroupDword(bad, kGroupKeyRoot, 0, "v", 1), 0);
        EXPECT_EQ(store.GetGroupDword(bad, kGroupKeyRoot, 0, "v", 7), 7u);
        SchedTask task;
        EXPECT_EQ(store.WriteGroupTask(bad, 0, &task), 0);
        EXPECT_EQ(store.DeleteGroup(bad), 0);
    }
    EXPECT_EQ(store.GetGroupDword("", kGroupKeyRoot, 0, "v", 7), 0u);
    EXPECT_EQ(store.GetProjectorDword("", kProjectorKeyRoot, 0, "Checked", 7), 0u);
    EXPECT_TRUE(store.LoadGroupNames().empty());

    // Quotes and brackets are ordinary characters and survive a reload.
    const std::string odd = "Room \"A\" [east] =x";
    ASSERT_EQ(store.SetGroupDword(odd, kGroupKeyScheduler, 0, "TaskCmd", 1), 1);
    RegStore reread(dir.File(), "Vistrel", clock);
    EXPECT_EQ(reread.LoadGroupNames(), std::vector<std::string>{odd});
    EXPECT_EQ(reread.GetGroupDword(odd, kGroupKeyScheduler, 0, "TaskCmd", 0), 1u);
    EXPECT_TRUE(reread.LastError().empty());
}

TEST_F(RegStoreTest, CheckedRoundTrip) {
    const std::string mac = "00AB12CD34EF";
    EXPECT_EQ(store.GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0), 0u);
    EXPECT_EQ(Text().find("Checked"), std::string::npos);  // never ticked: no value
    ASSERT_EQ(store.SetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 1), 1);
    EXPECT_NE(Text().find("[" + std::string(kApp) + "\\Projector\\" + mac +
                          "]\n\"Checked\"=dword:00000001"),
              std::string::npos);
    EXPECT_EQ(store.GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0), 1u);
    ASSERT_EQ(store.SetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0), 1);
    EXPECT_EQ(store.GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 1), 0u);
}

// Projectors that only answered discovery (made-up identities among them) must not grow
// the file: reads yield defaults and create nothing; the first write creates the key.
TEST_F(RegStoreTest, ReadingMissingValuesYieldsDefaultsAndCreatesNothing) {
    ASSERT_EQ(store.SetAppDword("Interval", 5000), 1);
    const std::string before = Text();
    SchedTask task{1, 3, 5, 6, 7, 1};
    ASSERT_EQ(store.ReadProjectorTask("00AB12CD34EF", 2, &task), 1);
    EXPECT_EQ(task, (SchedTask{0, 0, kNow, kNow, kNow, 0}));
    EXPECT_EQ(store.ReadProjectorTask("00AB12CD34EF", 2, nullptr), 0);
    EXPECT_EQ(store.ReadProjectorTask("", 2, &task), 0);
    EXPECT_EQ(store.ReadGroupTask("", 0, &task), 0);
    ASSERT_EQ(store.ReadGroupTask("Lobby", 0, &task), 1);
    for (int i = 0; i < 300; ++i) {
        const std::string mac = "FAKE" + std::to_string(100000000 + i);
        EXPECT_EQ(store.GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0), 0u);
        EXPECT_EQ(store.ReadProjectorTask(mac, i % kTaskCount, &task), 1);
    }
    EXPECT_EQ(store.GetGroupDword("Lobby", kGroupKeyScheduler, 1, "TaskCmd", 9), 9u);
    EXPECT_EQ(store.GetAppDword("Missing", 4), 4u);
    EXPECT_FALSE(store.KeyExists({"Projector"}));
    EXPECT_FALSE(store.KeyExists({"Group", "Lobby"}));
    EXPECT_EQ(Text(), before);

    ASSERT_EQ(store.SetProjectorDword("00AB12CD34EF", kProjectorKeyRoot, 0, "Checked", 0), 1);
    EXPECT_TRUE(store.KeyExists({"Projector", "00AB12CD34EF"}));
    EXPECT_EQ(store.SubKeyNames({"Projector"}), std::vector<std::string>{"00AB12CD34EF"});
}

// A rename frees the old group node; a handle that found it before must not use it after.
TEST_F(RegStoreTest, HandleOpenedBeforeARenameNeverReachesTheOldNode) {
    const SchedTask task{1, 1, 100, 200, 300, 1};
    ASSERT_EQ(store.WriteGroupTask("Hall", 0, &task), 1);
    const RegKey before = store.OpenGroupKey("Hall", kGroupKeyScheduler, 0);
    ASSERT_TRUE(before);
    ASSERT_EQ(store.QueryDword(before, "TaskCmd"), std::optional<uint32_t>(1));  // node cached
    ASSERT_EQ(store.RenameGroup("Hall", "Aula"), 1);

    EXPECT_EQ(store.QueryDword(before, "TaskCmd"), std::nullopt);
    EXPECT_EQ(store.SetDword(before, "TaskCmd", 0), kRegKeyDeleted);
    EXPECT_EQ(store.DeleteAllValues(before), 0);
    SchedTask moved;
    ASSERT_EQ(store.ReadGroupTask("Aula", 0, &moved), 1);
    EXPECT_EQ(moved, task);
    EXPECT_FALSE(store.KeyExists({"Group", "Hall"}));
}

TEST_F(RegStoreTest, TaskRoundTripWithExactValueNamesAndLow32BitTimes) {
    const int64_t big = (int64_t{1} << 32) + 12345;
    const SchedTask task{1, 2, big, 0xF0000000LL, -1, 1};
    ASSERT_EQ(store.WriteProjectorTask("00AB12CD34EF", 3, &task), 1);
    EXPECT_NE(Text().find("\\Projector\\00AB12CD34EF\\Scheduler3]\n"
                          "\"TaskEanbled\"=dword:00000001\n"
                          "\"TaskPeriod\"=dword:00000002\n"
                          "\"TaskTime\"=dword:00003039\n"
                          "\"TaskDate\"=dword:f0000000\n"
                          "\"TaskStart\"=dword:ffffffff\n"
                          "\"TaskCmd\"=dword:00000001\n"),
              std::string::npos)
        << Text();
    SchedTask back;
    ASSERT_EQ(store.ReadProjectorTask("00ab12cd34ef", 3, &back), 1);
    EXPECT_EQ(back, (SchedTask{1, 2, 12345, 0xF0000000LL, 0xFFFFFFFFLL, 1}));
    EXPECT_EQ(store.WriteGroupTask("Lobby", 0, nullptr), 0);
    EXPECT_EQ(store.WriteGroupTask("", 0, &task), 0);
    ASSERT_EQ(store.WriteGroupTask("Lobby", 0, &task), 1);
    ASSERT_EQ(store.ReadGroupTask("LOBBY", 0, &back), 1);
    EXPECT_EQ(back.time, 12345);
}

TEST_F(RegStoreTest, DeleteGroupWithoutScheduler2RemovesEverything) {
    SchedTask task{1, 1, kNow, kNow, kNow, 0};
    for (int i : {0, 1, 3})
        ASSERT_EQ(store.WriteGroupTask("Lobby", i, &task), 1);
    ASSERT_TRUE(store.OpenGroupKey("Lobby", kGroupKeyNetwork, 0));
    ASSERT_EQ(store.WriteGroupTask("Hall", 0, &task), 1);
    ASSERT_FALSE(store.KeyExists({"Group", "Lobby", "Scheduler2"}));

    EXPECT_EQ(store.DeleteGroup("Lobby"), 1);
    EXPECT_FALSE(store.KeyExists({"Group", "Lobby"}));
    EXPECT_EQ(Text().find("Lobby"), std::string::npos) << Text();
    EXPECT_EQ(store.LoadGroupNames(), std::vector<std::string>{"Hall"});
    SchedTask hall;
    store.ReadGroupTask("Hall", 0, &hall);
    EXPECT_EQ(hall, task);

    // Deleting again, or a group that never existed, reports failure and creates nothing.
    EXPECT_EQ(store.DeleteGroup("Lobby"), 0);
    EXPECT_FALSE(store.KeyExists({"Group", "Lobby"}));
    EXPECT_EQ(store.DeleteGroup(""), 0);
    // The group is found whatever the case of the name given.
    EXPECT_EQ(store.DeleteGroup("HALL"), 1);
    EXPECT_TRUE(store.LoadGroupNames().empty());
}

TEST_F(RegStoreTest, DeleteGroupFailsTruthfullyWhenAKeyCannotBeRemoved) {
    ASSERT_TRUE(store.OpenGroupKey("Lobby", kGroupKeyRoot, 0));
    // A hand-made subkey with its own subkey blocks the deletion of the group key.
    WriteFile(dir.File(), Text() + "[" + kApp + "\\Group\\Lobby\\Extra\\Deep]\n");
    EXPECT_EQ(store.DeleteGroup("Lobby"), 0);
    EXPECT_TRUE(store.KeyExists({"Group", "Lobby"}));
}

TEST_F(RegStoreTest, DeleteSubKeysAndValuesFollowRegistryRules) {
    const RegKey app = store.OpenAppKey();
    ASSERT_TRUE(store.OpenGroupKey("Lobby", kGroupKeyScheduler, 0));
    ASSERT_TRUE(store.OpenGroupKey("Hall", kGroupKeyRoot, 0));
    const RegKey group(std::vector<std::string>{"HKEY_CURRENT_USER", "Software", "Brightwerk",
                                                "Vistrel", "Group"});
    // The filter is exact and case-sensitive; a miss is not an error.
    EXPECT_EQ(store.DeleteSubKeys(group, "hall"), kRegSuccess);
    EXPECT_TRUE(store.KeyExists({"Group", "Hall"}));
    EXPECT_EQ(store.DeleteSubKeys(group, "Hall"), kRegSuccess);
    EXPECT_FALSE(store.KeyExists({"Group", "Hall"}));
    // A key that still has subkeys cannot be deleted.
    EXPECT_EQ(store.DeleteSubKeys(group), kRegAccessDenied);
    EXPECT_EQ(store.DeleteSubKeys(RegKey{}), kRegInvalidHandle);

    ASSERT_EQ(store.SetDword(app, "a", 1), kRegSuccess);
    ASSERT_EQ(store.SetDword(app, "b", 2), kRegSuccess);
    EXPECT_EQ(store.DeleteAllValues(app), 1);
    EXPECT_FALSE(store.QueryDword(app, "a"));
    EXPECT_EQ(store.DeleteAllValues(RegKey{}), 0);
    ASSERT_EQ(store.SetDword(app, std::string(60, 'v'), 1), kRegSuccess);
    EXPECT_EQ(store.DeleteAllValues(app), 0);  // the name does not fit the buffer
}

TEST_F(RegStoreTest, ValuesOfOtherTypesReadAsDefaultAndSurviveRewrites) {
    WriteFile(dir.File(), std::string("Windows Registry Editor Version 5.00\n\n[") + kApp +
                              "]\n\"Interval\"=\"fast\"\n\"Note\"=hex:01,02\n");
    EXPECT_EQ(store.GetAppDword("Interval", 10000), 10000u);
    ASSERT_EQ(store.SetAppDword("Other", 3), 1);
    EXPECT_NE(Text().find("\"Note\"=hex:01,02\n"), std::string::npos);
}

TEST_F(RegStoreTest, WritesOnlyWhenSomethingChanged) {
    SchedTask task;
    for (int i = 0; i < kTaskCount; ++i)
        store.ReadProjectorTask("00AB12CD34EF", i, &task);
    const uint64_t writes = store.WriteCount();
    // The file's content, not its time stamp: two writes within one tick of the file
    // system's clock carry the same time.
    const std::string before = Text();
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kTaskCount; ++i)
            store.ReadProjectorTask("00AB12CD34EF", i, &task);
        store.OpenProjectorKey("00AB12CD34EF", kProjectorKeyRoot, 0);
        store.GetAppDword("Interval", 10000);
        EXPECT_EQ(store.SetProjectorDword("00AB12CD34EF", kProjectorKeyRoot, 0, "Checked", 0) +
                      store.SetProjectorDword("00AB12CD34EF", kProjectorKeyRoot, 0, "Checked", 0),
                  2);
        store.WriteProjectorTask("00AB12CD34EF", 1, &task);
    }
    // Reads created nothing: the projector key, its first "Checked" and the first stored
    // task were the only new things.
    EXPECT_EQ(writes, 0u);
    EXPECT_EQ(store.WriteCount(), writes + 3);
    const uint64_t settled = store.WriteCount();
    store.WriteProjectorTask("00AB12CD34EF", 1, &task);
    store.SetProjectorDword("00AB12CD34EF", kProjectorKeyRoot, 0, "Checked", 0);
    EXPECT_EQ(store.WriteCount(), settled);
    EXPECT_NE(Text(), before);
}

TEST_F(RegStoreTest, BatchWritesOnce) {
    {
        RegStore::Batch batch(store);
        SchedTask task;
        for (int p = 0; p < 50; ++p) {
            for (int i = 0; i < kTaskCount; ++i) {
                store.ReadProjectorTask("MAC" + std::to_string(p), i, &task);
                task.enabled = 1;
                store.WriteProjectorTask("MAC" + std::to_string(p), i, &task);
            }
        }
        EXPECT_FALSE(std::filesystem::exists(dir.File()));
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(store.WriteCount(), 1u);
    RegStore other(dir.File(), "Vistrel", clock);
    EXPECT_EQ(other.GetProjectorDword("MAC49", kProjectorKeyScheduler, 3, "TaskEanbled", 0), 1u);
}

TEST_F(RegStoreTest, SeesChangesOfAnotherStoreBeforeTheNextOperation) {
    RegStore other(dir.File(), "Vistrel", clock);
    ASSERT_EQ(store.SetAppDword("Interval", 1000), 1);
    EXPECT_EQ(other.GetAppDword("Interval", 10000), 1000u);
    ASSERT_EQ(other.SetAppDword("Interval", 2000), 1);
    ASSERT_TRUE(other.OpenGroupKey("Lobby", kGroupKeyRoot, 0));
    EXPECT_EQ(store.GetAppDword("Interval", 10000), 2000u);
    EXPECT_EQ(store.LoadGroupNames(), std::vector<std::string>{"Lobby"});
    // Read-modify-write: each keeps the other's change.
    ASSERT_EQ(store.SetAppDword("A", 1), 1);
    ASSERT_EQ(other.SetAppDword("B", 2), 1);
    RegStore third(dir.File(), "Vistrel", clock);
    EXPECT_EQ(third.GetAppDword("A", 0), 1u);
    EXPECT_EQ(third.GetAppDword("B", 0), 2u);
    EXPECT_EQ(third.GetAppDword("Interval", 0), 2000u);
    // A file removed by hand reads as a first run.
    std::filesystem::remove(dir.File());
    EXPECT_EQ(store.GetAppDword("Interval", 10000), 10000u);
}

TEST_F(RegStoreTest, DamagedFileIsKeptAsideAndReported) {
    const std::string damaged = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X\n";
    WriteFile(dir.File(), damaged);
    std::vector<std::string> reported;
    store.SetErrorHandler([&](const std::string& m) { reported.push_back(m); });

    EXPECT_EQ(store.GetAppDword("Interval", 10000), 10000u);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(store.LastError(), reported[0]);
    EXPECT_NE(reported[0].find("line 2"), std::string::npos) << reported[0];

    std::vector<std::filesystem::path> aside;
    for (const auto& e : std::filesystem::directory_iterator(dir.File().parent_path())) {
        if (e.path().filename().string().starts_with("registry.reg.bad-"))
            aside.push_back(e.path());
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(aside[0]), damaged);
    EXPECT_NE(reported[0].find(aside[0].string()), std::string::npos);

    // The store goes on with a fresh file; the damaged copy stays.
    ASSERT_EQ(store.SetAppDword("Interval", 3000), 1);
    EXPECT_EQ(RegStore(dir.File(), "Vistrel", clock).GetAppDword("Interval", 0), 3000u);
    EXPECT_EQ(ReadFile(aside[0]), damaged);
    EXPECT_EQ(reported.size(), 1u);

    // A second damaged file gets its own name.
    WriteFile(dir.File(), "junk");
    store.GetAppDword("Interval", 0);
    EXPECT_EQ(reported.size(), 2u);
    EXPECT_EQ(ReadFile(aside[0]), damaged);
}

TEST(RegStoreFailure, UnwritableLocationFailsAndReports) {
    TempDir dir;
    WriteFile(dir.Path() / "blocker", "a file where a folder should be");
    FixedClock clock(kNow);
    RegStore store(dir.Path() / "blocker" / "registry.reg", "Vistrel", clock);
    EXPECT_EQ(store.SetAppDword("Interval", 5), 0);
    EXPECT_FALSE(store.LastError().empty());
    EXPECT_FALSE(store.OpenGroupKey("Lobby", kGroupKeyRoot, 0));
    EXPECT_EQ(store.GetAppDword("Interval", 10000), 10000u);
    SchedTask task;
    EXPECT_EQ(store.WriteProjectorTask("m", 0, &task), 0);
    EXPECT_EQ(store.ReadProjectorTask("m", 0, &task), 1);  // defaults, never a failure
}

}  // namespace
}  // namespace vistrel
