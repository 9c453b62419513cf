#include "schedule/schedule_role.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

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
    // flock(1) stands in for another program holding the role.
    std::string file = lock.string();
    // -o: the sleeping child does not inherit the lock, so it ends with flock itself.
    const char* argv[] = {"flock", "-x", "-o", file.c_str(), "sleep", "60", nullptr};
    pid_t child = 0;
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // own group: ended as one
    posix_spawnattr_setpgroup(&attr, 0);
    const int spawned =
        posix_spawnp(&child, "flock", nullptr, &attr, const_cast<char**>(argv), environ);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0)
        GTEST_SKIP() << "flock(1) is not available";
    ScheduleRole role(lock, "vistrel-cli run-schedules");
    bool heldElsewhere = false;
    for (int i = 0; i < 500 && !heldElsewhere; ++i) {
        heldElsewhere = !role.TryAcquire();
        if (!heldElsewhere) {
            role.Release();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_TRUE(heldElsewhere) << "the other process never took the lock";
    EXPECT_FALSE(role.TryAcquire());

    ::kill(-child, SIGKILL);  // ends however it ends: the role still passes on
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(role.TryAcquire());
}

TEST_F(ScheduleRoleTest, UnusableLockFileIsReported) {
    fs::create_directories(dir_);
    const fs::path lock = dir_ / "is-a-folder";
    fs::create_directories(lock);
    ScheduleRole role(lock, "x");
    EXPECT_FALSE(role.TryAcquire());
    EXPECT_NE(role.LastError().find("cannot open"), std::string::npos) << role.LastError();
}

}  // namespace
}  // namespace vistrel
