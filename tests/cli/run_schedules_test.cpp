// run-schedules against the simulated fleet: due tasks fire once, and only the holder of
// the schedule role fires them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "cli/cli_fixture.h"
#include "schedule/lock_holder.h"
#include "schedule/schedule_role.h"
#include "store/reg_store.h"

namespace vistrel::cli::test {
namespace {

using std::chrono::milliseconds;
using ::testing::HasSubstr;

constexpr int64_t kDay = 86400;

class RunSchedulesTest : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        // A daily task moves on by exactly a day only where no clock change falls in between.
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        // The window's rhythm, quickened: the order of events is the same.
        timers_.listRefresh = milliseconds(150);
        timers_.scheduleCheck = milliseconds(400);
        timers_.watchdog = milliseconds(100);
        timers_.discoveryOverride = milliseconds(300);
        timers_.requestPause = milliseconds(50);
    }
    void TearDown() override {
        StopRunner();
        CliTest::TearDown();
    }

    void StartRunner(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"run-schedules"};
        args.insert(args.end(), extra.begin(), extra.end());
        runner_ = std::thread([this, args] { run_ = Run(args, true, &stop_, &live_); });
    }
    void StopRunner() {
        stop_.store(true);
        if (runner_.joinable())
            runner_.join();
    }

    size_t Sent(const std::string& body) const {
        size_t n = 0;
        for (const auto& e : fleet_->Log().Entries())
            n += e.kind == "http" && e.body == body;
        return n;
    }
    bool WaitSent(const std::string& body, size_t count, milliseconds limit) const {
        return fleet_->Log().WaitFor(
            [&](const std::vector<sim::LogEntry>& entries) {
                size_t n = 0;
                for (const auto& e : entries)
                    n += e.kind == "http" && e.body == body;
                return n >= count;
            },
            limit);
    }

    void StoreTask(const std::string& mac, int index, const SchedTask& task) {
        RegStore store(StoreFile(), "vistrel");
        ASSERT_NE(store.WriteProjectorTask(mac, index, &task), 0) << store.LastError();
    }
    SchedTask ReadTask(const std::string& mac, int index) {
        RegStore store(StoreFile(), "vistrel");
        SchedTask task;
        store.ReadProjectorTask(mac, index, &task);
        return task;
    }

    std::atomic<bool> stop_{false};
    LiveText live_;
    std::thread runner_;
    CliRun run_;
};

SchedTask Task(int period, int command, int64_t start, int enabled = 1) {
    SchedTask task;
    task.enabled = enabled;
    task.period = period;
    task.command = command;
    task.time = task.date = task.start = start;
    return task;
}

TEST_F(RunSchedulesTest, FiresADueTaskOnceAndMovesItOn) {
    StartFleet(2, [](sim::FleetOptions& o) {
        for (auto& p : o.projectors)
            p.state.power = sim::kPowerOff;
    });
    const int64_t now = SystemClock::Instance().Now();
    const std::string mac = Fleet().Mac(0);
    StoreTask(mac, 0, Task(1, 0, now - 60));            // daily power on, a minute late
    StoreTask(mac, 1, Task(0, 1, now - 60, 0));         // disabled
    StoreTask(mac, 2, Task(0, 1, now + 3600));          // not yet due
    StoreTask(Fleet().Mac(1), 3, Task(0, 0, now - 1));  // once, just due

    StartRunner();
    ASSERT_TRUE(WaitSent("command=~0000 1", 2, milliseconds(10000)));
    // Several more checks go by: nothing fires twice.
    std::this_thread::sleep_for(milliseconds(1500));
    StopRunner();

    EXPECT_EQ(run_.status, 0) << run_.err;
    EXPECT_EQ(Sent("command=~0000 1"), 2u);
    EXPECT_EQ(Sent("command=~0000 0"), 0u);
    EXPECT_EQ(Fleet().State(0).power, sim::kPowerOn);
    EXPECT_EQ(Fleet().State(1).power, sim::kPowerOn);

    const SchedTask daily = ReadTask(mac, 0);
    EXPECT_EQ(daily.enabled, 1);
    EXPECT_EQ(daily.start, now - 60 + kDay);  // the next occurrence
    EXPECT_EQ(daily.time, now - 60);          // the time of day never changes
    EXPECT_EQ(ReadTask(mac, 2).start, now + 3600);
    const SchedTask once = ReadTask(Fleet().Mac(1), 3);
    EXPECT_EQ(once.enabled, 0);
    EXPECT_EQ(once.start, now - 1);

    EXPECT_THAT(run_.out, HasSubstr("holding the schedule role"));
    EXPECT_THAT(run_.out, HasSubstr("127.0.10.2  Power_On due: sending"));
    EXPECT_THAT(run_.out, HasSubstr("127.0.10.2  Power_On: OK"));
    EXPECT_THAT(run_.out, HasSubstr("127.0.10.3  Power_On: OK"));
}

TEST_F(RunSchedulesTest, StandsAsideWhileAnotherProcessHoldsTheRoleAndTakesOverAfter) {
    StartFleet(1, [](sim::FleetOptions& o) { o.projectors[0].state.power = sim::kPowerOn; });
    const int64_t now = SystemClock::Instance().Now();
    StoreTask(Fleet().Mac(0), 0, Task(0, 1, now - 5));  // once, power off, due

    // Another program (here flock(1)) holds the role of this store and application key.
    const std::string lock = ScheduleRole::LockPathFor(StoreFile(), "vistrel").string();
    std::filesystem::create_directories(StoreFile().parent_path());
    test_support::LockHolderProcess holder(lock);
    ASSERT_TRUE(holder.Holding()) << "the other process never took the role";

    StartRunner();
    ASSERT_TRUE(live_.WaitFor("the schedule role is held by another program", milliseconds(5000)))
        << live_.Text();
    // Several checks pass: the task is left alone.
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_EQ(Sent("command=~0000 0"), 0u);
    EXPECT_EQ(ReadTask(Fleet().Mac(0), 0).enabled, 1);

    holder.End();  // the holder ends; the role passes on
    // Takes a role check, a discovery cycle and an answer, then the next check.
    EXPECT_TRUE(WaitSent("command=~0000 0", 1, milliseconds(10000)));
    std::this_thread::sleep_for(milliseconds(800));
    StopRunner();

    EXPECT_EQ(Sent("command=~0000 0"), 1u);
    EXPECT_EQ(ReadTask(Fleet().Mac(0), 0).enabled, 0);
    EXPECT_EQ(Fleet().State(0).power, sim::kPowerOff);
    EXPECT_THAT(run_.out, HasSubstr("the schedule role is held by another program"));
    EXPECT_THAT(run_.out, HasSubstr("took over the schedule role"));
}

TEST_F(RunSchedulesTest, RoleHolderIsNamedAndOnlyOneOfTwoRunnersFires) {
    StartFleet(1, [](sim::FleetOptions& o) { o.projectors[0].state.power = sim::kPowerOff; });
    ScheduleRole window(ScheduleRole::LockPathFor(StoreFile(), "Vistrel"), "console window");
    ASSERT_TRUE(window.TryAcquire()) << window.LastError();
    StoreTask(Fleet().Mac(0), 0, Task(0, 0, SystemClock::Instance().Now() - 5));

    StartRunner();
    std::this_thread::sleep_for(milliseconds(1500));
    StopRunner();
    EXPECT_EQ(Sent("command=~0000 1"), 0u);
    EXPECT_THAT(run_.out, HasSubstr("the schedule role is held by console window (pid "));
    EXPECT_THAT(run_.out, HasSubstr("waiting to take over"));
}

// A window holds the role and the discovery port: the runner neither ends nor fires. When the
// role passes on before the port does (the window's socket closes a moment after its lock),
// the runner keeps the role and tries the port again until it is free.
TEST_F(RunSchedulesTest, WaitsBesideAWindowThatHoldsTheRoleAndTheDiscoveryPort) {
    StartFleet(1, [](sim::FleetOptions& o) { o.projectors[0].state.power = sim::kPowerOff; });
    StoreTask(Fleet().Mac(0), 0, Task(0, 0, SystemClock::Instance().Now() - 5));
    auto window = std::make_unique<ScheduleRole>(ScheduleRole::LockPathFor(StoreFile(), "vistrel"),
                                                 "console window");
    ASSERT_TRUE(window->TryAcquire()) << window->LastError();
    // The window's discovery socket, without address sharing.
    const int port = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(port, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(Fleet().DiscoveryPort());
    ::inet_pton(AF_INET, kConsoleAddress, &address.sin_addr);
    ASSERT_EQ(::bind(port, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    StartRunner();
    ASSERT_TRUE(live_.WaitFor("held by console window", milliseconds(5000))) << live_.Text();
    window.reset();  // the lock goes first
    ASSERT_TRUE(live_.WaitFor("Trying again at every check", milliseconds(5000))) << live_.Text();
    EXPECT_EQ(Sent("command=~0000 1"), 0u);
    ::close(port);  // then the port
    EXPECT_TRUE(WaitSent("command=~0000 1", 1, milliseconds(10000)));
    StopRunner();

    EXPECT_EQ(run_.status, 0) << run_.err;
    EXPECT_EQ(Sent("command=~0000 1"), 1u);
    EXPECT_THAT(run_.out, HasSubstr("took over the schedule role"));
    EXPECT_EQ(run_.err, "");
}

// A window that opens while the runner fires: the runner lets the port and the role go at
// once, waits while the window is open, and takes both back when it closes.
TEST_F(RunSchedulesTest, LeavesTheRoleAndThePortToAWindowThatOpens) {
    StartFleet(1, [](sim::FleetOptions& o) { o.projectors[0].state.power = sim::kPowerOff; });
    StartRunner();
    ASSERT_TRUE(live_.WaitFor("holding the schedule role", milliseconds(5000))) << live_.Text();

    auto mark = std::make_unique<WindowMark>(WindowMark::PathFor(StoreFile(), "vistrel"));
    ASSERT_TRUE(mark->Held());
    ASSERT_TRUE(live_.WaitFor("a console window opened", milliseconds(5000))) << live_.Text();
    // What the window then takes: the role, and the port without address sharing.
    ScheduleRole window(ScheduleRole::LockPathFor(StoreFile(), "vistrel"), "console window");
    EXPECT_TRUE(window.TryAcquire()) << window.LastError();
    const int port = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(port, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(Fleet().DiscoveryPort());
    ::inet_pton(AF_INET, kConsoleAddress, &address.sin_addr);
    EXPECT_EQ(::bind(port, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
        << std::strerror(errno);
    ::close(port);
    window.Release();

    // A task falls due while the window is open: the window's to fire, not the runner's.
    StoreTask(Fleet().Mac(0), 0, Task(0, 0, SystemClock::Instance().Now() - 5));
    mark.reset();  // the window closes
    EXPECT_TRUE(WaitSent("command=~0000 1", 1, milliseconds(10000)));
    StopRunner();

    EXPECT_EQ(run_.status, 0) << run_.err;
    EXPECT_THAT(run_.out, HasSubstr("took over the schedule role"));
    EXPECT_EQ(Sent("command=~0000 1"), 1u);
}

TEST_F(RunSchedulesTest, DiscoveryThatCannotStartEndsAtOnce) {
    const CliRun run = Run({"run-schedules", "--bind", "192.0.2.1", "--broadcast",
                            "127.255.255.255", "--discovery-port", "5250"},
                           false, &stop_);
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("cannot open UDP port 5250"));
}

}  // namespace
}  // namespace vistrel::cli::test
