#include <gtest/gtest.h>

#include "store/reg_store.h"
#include "store_test_support.h"

namespace vistrel {
namespace {

using testing::FixedClock;
using testing::TempDir;

constexpr int64_t kNow = 1717000000;

class RenameGroupTest : public ::testing::Test {
  protected:
    TempDir dir;
    FixedClock clock{kNow};
    RegStore store{dir.File(), "Vistrel", clock};

    void MakeGroupWithSettings(const std::string& name) {
        ASSERT_TRUE(store.OpenGroupKey(name, kGroupKeyRoot, 0));
        ASSERT_EQ(store.SetGroupDword(name, kGroupKeyAlert, 0, "Fan", 1), 1);
        SchedTask task;
        task.enabled = 1;
        task.period = 2;
        task.start = kNow + 60;
        task.command = 1;
        ASSERT_NE(store.WriteGroupTask(name, 3, &task), 0);
    }
};

TEST_F(RenameGroupTest, KeyAndSchedulerKeysMoveAndSurviveReopening) {
    MakeGroupWithSettings("Lobby");
    ASSERT_TRUE(store.OpenGroupKey("Annex", kGroupKeyRoot, 0));
    ASSERT_EQ(store.RenameGroup("Lobby", "Hall"), 1);

    RegStore reopened(dir.File(), "Vistrel", clock);
    EXPECT_EQ(reopened.LoadGroupNames(), (std::vector<std::string>{"Annex", "Hall"}));
    SchedTask task;
    ASSERT_EQ(reopened.ReadGroupTask("Hall", 3, &task), 1);
    EXPECT_EQ(task.enabled, 1);
    EXPECT_EQ(task.period, 2);
    EXPECT_EQ(task.start, kNow + 60);
    EXPECT_EQ(reopened.GetGroupDword("Hall", kGroupKeyAlert, 0, "Fan", 0), 1u);
    EXPECT_FALSE(reopened.KeyExists({"Group", "Lobby"}));
}

TEST_F(RenameGroupTest, CaseOnlyRenameKeepsSettingsAndTakesTheNewSpelling) {
    MakeGroupWithSettings("lobby");
    ASSERT_EQ(store.RenameGroup("LOBBY", "Lobby"), 1);
    EXPECT_EQ(store.LoadGroupNames(), (std::vector<std::string>{"Lobby"}));
    SchedTask task;
    ASSERT_EQ(store.ReadGroupTask("Lobby", 3, &task), 1);
    EXPECT_EQ(task.command, 1);
}

TEST_F(RenameGroupTest, RefusesMissingSourceTakenTargetAndBadNames) {
    MakeGroupWithSettings("Lobby");
    ASSERT_TRUE(store.OpenGroupKey("Hall", kGroupKeyRoot, 0));
    EXPECT_EQ(store.RenameGroup("Nowhere", "Else"), 0);
    EXPECT_FALSE(store.KeyExists({"Group", "Else"}));
    EXPECT_EQ(store.RenameGroup("Lobby", "hall"), 0);  // another group's key, any case
    EXPECT_EQ(store.RenameGroup("Lobby", "a\\b"), 0);
    EXPECT_EQ(store.RenameGroup("Lobby", ""), 0);
    EXPECT_EQ(store.LoadGroupNames(), (std::vector<std::string>{"Hall", "Lobby"}));
    EXPECT_EQ(store.GetGroupDword("Lobby", kGroupKeyAlert, 0, "Fan", 0), 1u);
}

}  // namespace
}  // namespace vistrel
