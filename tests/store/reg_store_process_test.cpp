// Several processes on one store file: no lost updates, and a writer killed in the middle
// of a write leaves the previous file intact.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "store/reg_store.h"
#include "store_test_support.h"

namespace vistrel {
namespace {

using testing::FixedClock;
using testing::TempDir;

constexpr int64_t kNow = 1717000000;

// Runs `body` in a child process; the child's exit code is 0 when body returned true.
pid_t Spawn(const std::function<bool()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body() ? 0 : 1);
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(RegStoreProcesses, ConcurrentWritersLoseNoUpdate) {
    TempDir dir;
    constexpr int kPerChild = 60;
    std::vector<pid_t> children;
    for (int c = 0; c < 2; ++c) {
        children.push_back(Spawn([&, c] {
            FixedClock clock(kNow);
            RegStore store(dir.File(), "Vistrel", clock);
            for (int k = 0; k < kPerChild; ++k) {
                const std::string mac = "C" + std::to_string(c) + "M" + std::to_string(k);
                if (store.SetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 1) != 1) {
                    return false;
                }
                if (store.SetAppDword("Last" + std::to_string(c), static_cast<uint32_t>(k)) != 1) {
                    return false;
                }
            }
            return true;
        }));
    }
    for (pid_t pid : children)
        EXPECT_EQ(WaitExit(pid), 0);

    FixedClock clock(kNow);
    RegStore store(dir.File(), "Vistrel", clock);
    int found = 0;
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(store.GetAppDword("Last" + std::to_string(c), 0), kPerChild - 1u);
        for (int k = 0; k < kPerChild; ++k) {
            const std::string mac = "C" + std::to_string(c) + "M" + std::to_string(k);
            found += store.GetProjectorDword(mac, kProjectorKeyRoot, 0, "Checked", 0) == 1;
        }
    }
    EXPECT_EQ(found, 2 * kPerChild);
    EXPECT_TRUE(store.LastError().empty()) << store.LastError();
}

TEST(RegStoreProcesses, WriterKilledBeforeRenameLosesNothing) {
    TempDir dir;
    FixedClock clock(kNow);
    {
        RegStore store(dir.File(), "Vistrel", clock);
        ASSERT_EQ(store.SetAppDword("Interval", 1234), 1);
        ASSERT_TRUE(store.OpenGroupKey("Lobby", kGroupKeyRoot, 0));
    }
    const std::string before = testing::ReadFile(dir.File());

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = Spawn([&] {
        RegStore store(dir.File(), "Vistrel", clock);
        store.SetBeforeRenameHook([&] {
            const char byte = 1;
            (void)!::write(ready[1], &byte, 1);
            ::pause();  // killed here, temporary file written and synced, lock held
        });
        store.SetAppDword("Interval", 999);
        return true;
    });
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ::kill(child, SIGKILL);
    EXPECT_EQ(WaitExit(child), 128 + SIGKILL);

    EXPECT_EQ(testing::ReadFile(dir.File()), before);
    bool leftover = false;
    for (const auto& e : std::filesystem::directory_iterator(dir.File().parent_path())) {
        leftover = leftover || e.path().filename().string().starts_with("registry.reg.tmp.");
    }
    EXPECT_TRUE(leftover);

    // The dead writer's lock is gone with it; the next writer cleans up after it.
    RegStore store(dir.File(), "Vistrel", clock);
    EXPECT_EQ(store.GetAppDword("Interval", 0), 1234u);
    EXPECT_EQ(store.LoadGroupNames(), std::vector<std::string>{"Lobby"});
    ASSERT_EQ(store.SetAppDword("Interval", 4321), 1);
    for (const auto& e : std::filesystem::directory_iterator(dir.File().parent_path())) {
        EXPECT_FALSE(e.path().filename().string().starts_with("registry.reg.tmp.")) << e.path();
    }
    EXPECT_EQ(RegStore(dir.File(), "Vistrel", clock).GetAppDword("Interval", 0), 4321u);
}

}  // namespace
}  // namespace vistrel
