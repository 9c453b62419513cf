#include "schedule/schedule_role.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "schedule/lock_holder.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;

class ScheduleRoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vistrel-role-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

TEST_F(ScheduleRoleTest, LockSitsNextToTheStoreOnePerApplicationKey) {
    const fs::path store = dir_ / "Brightwerk" / "registry.reg";
    EXPECT_EQ(ScheduleRole::LockPathFor(store, "Vistrel"),
              dir_ / "Brightwerk" / "registry.reg.vistrel.schedule.lock");
    // Keys compare without regard to case, so the role does too.
    EXPECT_EQ(ScheduleRole::LockPathFor(store, "VISTREL"),
              ScheduleRole::LockPathFor(store, "vistrel"));
    EXPECT_NE(ScheduleRole::LockPathFor(store, "other"),
              ScheduleRole::LockPathFor(store, "vistrel"));
}

TEST_F(ScheduleRoleTest, FirstHolderKeepsTheRoleUntilItEnds) {
    const fs::path lock = ScheduleRole::LockPathFor(dir_ / "missing" / "registry.reg", "vistrel");
    auto window = std::make_unique<ScheduleRole>(lock, "console window");
    ScheduleRole runner(lock, "vistrel-cli run-schedules");

    EXPECT_EQ(runner.Holder(), "");
    ASSERT_TRUE(window->TryAcquire()) << window->LastError();  // creates the folder
    EXPECT_TRUE(window->TryAcquire());                         // already held: still true
    EXPECT_FALSE(runner.TryAcquire());
    EXPECT_FALSE(runner.Held());
    EXPECT_TRUE(runner.LastError().empty());
    EXPECT_EQ(runner.Holder(), "console window (pid " + std::to_string(::getpid()) + ")");

    window.reset();  // the window closes
    EXPECT_EQ(runner.Holder(), "");
    ASSERT_TRUE(runner.TryAcquire());
    EXPECT_TRUE(runner.Held());
    runner.Release();
    EXPECT_FALSE(runner.Held());
}

TEST_F(ScheduleRoleTest, RoleHeldByAnotherProcessPassesWhenThatProcessEnds) {
    fs::create_directories(dir_);
    const fs::path lock = ScheduleRole::LockPathFor(dir_ / "registry.reg", "vistrel");
    // Another program holds the role.
    test_support::LockHolderProcess other(lock.string());
    ASSERT_TRUE(other.Holding()) << "the other process never took the lock";

    ScheduleRole role(lock, "vistrel-cli run-schedules");
    EXPECT_FALSE(role.TryAcquire());
    EXPECT_TRUE(role.LastError().empty()) << role.LastError();

    other.End();  // killed: however it ends, the role passes on
    EXPECT_TRUE(role.TryAcquire()) << role.LastError();
}

TEST_F(ScheduleRoleTest, UnusableLockFileIsReported) {
    fs::create_directories(dir_);
    const fs::path lock = dir_ / "is-a-folder";
    fs::create_directories(lock);
    ScheduleRole role(lock, "x");
    EXPECT_FALSE(role.TryAcquire());
    EXPECT_NE(role.LastError().find("cannot open"), std::string::npos) << role.LastError();
}

TEST_F(ScheduleRoleTest, WindowMarkIsSeenWhileAnyWindowHoldsIt) {
    const fs::path store = dir_ / "Brightwerk" / "registry.reg";
    const fs::path mark = WindowMark::PathFor(store, "Vistrel");
    EXPECT_EQ(mark, WindowMark::PathFor(store, "vistrel"));
    EXPECT_NE(mark, ScheduleRole::LockPathFor(store, "vistrel"));
    EXPECT_FALSE(WindowMark::Present(mark));  // no file yet

    auto first = std::make_unique<WindowMark>(mark);
    ASSERT_TRUE(first->Held());
    EXPECT_TRUE(WindowMark::Present(mark));
    // Shared: a second window marks the store as well, and the probe leaves both marks alone.
    auto second = std::make_unique<WindowMark>(mark);
    ASSERT_TRUE(second->Held());
    EXPECT_TRUE(WindowMark::Present(mark));
    first.reset();
    EXPECT_TRUE(WindowMark::Present(mark));
    second.reset();
    EXPECT_FALSE(WindowMark::Present(mark));
}

}  // namespace
}  // namespace vistrel
