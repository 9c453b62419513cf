// The window's core at start: a headless runner on the same store hands over the discovery
// port; anyone else on the port is reported at once; PJLink search answers are taken as
// they arrive.
#include "app/core_backend.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "schedule/schedule_role.h"
#include "sim/pjlink_fleet.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;

class CoreBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vistrel-backend-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // Another program's discovery socket on a free loopback port, without address sharing.
        port_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(port_, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        ASSERT_EQ(::bind(port_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        socklen_t length = sizeof address;
        ::getsockname(port_, reinterpret_cast<sockaddr*>(&address), &length);
        profile_.bindAddress = "127.0.0.1";
        profile_.broadcastAddress = "127.0.0.1";
        profile_.discoveryPort = ntohs(address.sin_port);
    }
    void TearDown() override {
        if (port_ >= 0)
            ::close(port_);
        fs::remove_all(dir_);
    }
    fs::path StoreFile() const { return dir_ / "registry.reg"; }

    fs::path dir_;
    int port_ = -1;
    NetworkProfile profile_;
};

TEST_F(CoreBackendTest, WindowWaitsForARunnerToHandOverTheDiscoveryPort) {
    // The runner holds the role and the port, and lets both go when it sees a window's mark.
    ScheduleRole runnerRole(ScheduleRole::LockPathFor(StoreFile(), "vistrel"),
                            "vistrel-cli run-schedules");
    ASSERT_TRUE(runnerRole.TryAcquire());
    bool sawWindow = false;
    std::thread runner([&] {
        const fs::path mark = WindowMark::PathFor(StoreFile(), "vistrel");
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(sawWindow = WindowMark::Present(mark)) && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // A runner looks for windows every fifth of a second: the window has tried by then.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::close(port_);
        port_ = -1;
        runnerRole.Release();
    });

    RegStore store(StoreFile(), "vistrel");
    Console console(profile_);
    CoreBackend backend(console, store, "vistrel");
    EXPECT_TRUE(backend.MarksStore());
    const ConsoleBackend::DiscoveryStatus status = backend.OpenDiscovery();
    runner.join();
    EXPECT_TRUE(sawWindow);
    EXPECT_TRUE(status.open) << status.reason;
    EXPECT_GE(status.descriptor, 0);
}

TEST_F(CoreBackendTest, PortHeldByAnotherProgramIsReportedAtOnce) {
    RegStore store(StoreFile(), "vistrel");
    Console console(profile_);
    CoreBackend backend(console, store, "vistrel");
    const ConsoleBackend::DiscoveryStatus status = backend.OpenDiscovery();
    EXPECT_FALSE(status.open);
    EXPECT_NE(status.remedy.find("Another program on this computer holds UDP port"),
              std::string::npos)
        << status.remedy;
}

TEST_F(CoreBackendTest, PjlinkSearchAnswerListsTheProjectorWithinTheFirstCycleAndLinkUpPollsIt) {
    auto options = sim::GeneratePjlinkFleet(1, "127.0.35.10");
    options.port = 0;
    options.searchPort = 0;
    options.projectors[0].commandClass = 2;
    options.projectors[0].password.clear();
    options.projectors[0].power = 1;
    sim::PjlinkFleet pj(std::move(options));
    std::string error;
    ASSERT_TRUE(pj.Start(&error)) << error;
    ::close(port_);  // a free discovery port; the probe goes to the projector's address only
    port_ = -1;
    profile_.bindAddress = "127.0.35.1";
    profile_.broadcastAddress = pj.Address(0);
    profile_.pjlinkPort = pj.Port();
    profile_.pjlinkSearchPort = pj.SearchPort();

    RegStore store(StoreFile(), "vistrel");
    Console console(profile_);
    CoreBackend backend(console, store, "vistrel");
    const ConsoleBackend::DiscoveryStatus status = backend.OpenDiscovery();
    ASSERT_GE(status.searchDescriptor, 0);
    backend.StartPolling();
    // What the window's notifier does when the search socket turns readable; no discovery
    // cycle runs in this test.
    pollfd readable{status.searchDescriptor, POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 10000), 1);
    EXPECT_TRUE(backend.HandleSearchAnswer());
    const std::string key = pjlink::PjlinkKey(pj.Address(0));
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    Info row;
    while (!(console.table.Lock().Lookup(key, row) && row.power == "ON") &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(row.power, "ON");
    EXPECT_EQ(row.pjlinkMac, pj.Config(0).mac);

    // A link coming up is polled at once, not at the end of its 15 seconds.
    pj.ClearLog();
    ASSERT_TRUE(pj.SendLinkUp(0, profile_.bindAddress, profile_.pjlinkSearchPort));
    ASSERT_EQ(::poll(&readable, 1, 10000), 1);
    EXPECT_TRUE(backend.HandleSearchAnswer());
    const auto polled = [&pj] {
        for (const sim::PjlinkLogEntry& entry : pj.Log()) {
            if (entry.line == "%1POWR ?")
                return true;
        }
        return false;
    };
    const auto again = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!polled() && std::chrono::steady_clock::now() < again)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(polled());
    EXPECT_TRUE(backend.StopPolling(std::chrono::seconds(5)));
}

}  // namespace
}  // namespace vistrel
