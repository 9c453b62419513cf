#include "schedule/schedule_role.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

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
    const std::string file = lock.string();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    // The other program is a child that takes the lock itself and waits to be killed. It never
    // forks, so once it has been reaped nothing else can still hold its descriptor.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
        [[maybe_unused]] const ssize_t w = ::write(ready[1], &ok, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    struct ChildGuard {
        pid_t pid;
        ~ChildGuard() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } guard{child};
    pollfd pfd{ready[0], POLLIN, 0};
    char ok = 'n';
    const bool told = ::poll(&pfd, 1, 10000) == 1 && ::read(ready[0], &ok, 1) == 1;
    ::close(ready[0]);
    ASSERT_TRUE(told && ok == 'y') << "the other process never took the lock";

    ScheduleRole role(lock, "vistrel-cli run-schedules");
    EXPECT_FALSE(role.TryAcquire());
    EXPECT_TRUE(role.LastError().empty()) << role.LastError();

    ::kill(child, SIGKILL);  // ends however it ends: the role still passes on
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    guard.pid = 0;
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

}  // namespace
}  // namespace vistrel
