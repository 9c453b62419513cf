// The console core with its real defaults (probe to 255.255.255.255 on UDP port 250, web
// control on port 80) against a simulated fleet, entirely inside a private pair of network
// namespaces. Skipped, never run in the machine's own namespace, when namespaces cannot be
// made.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "monitor/discovery.h"
#include "monitor/status_poller.h"
#include "sim/fleet.h"
#include "sim/netns_pair.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;

constexpr size_t kFleetSize = 24;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::string PowerText(int power) {
    switch (power) {
        case sim::kPowerOff:
            return "OFF";
        case sim::kPowerOn:
            return "ON";
        case sim::kPowerStandby:
            return "standby";
    }
    return "";
}

TEST(MonitorRealDefaults, FindsAndPollsAFleetOnPort250And80InsideNamespaces) {
    sim::NetnsPair pair;
    std::string error;
    if (!pair.Create(&error)) {
        GTEST_SKIP() << "network namespaces unavailable (" << error
                     << "); this test never runs in the machine's own namespace";
    }

    auto options = sim::GenerateFleet(kFleetSize, 23, sim::NetnsPair::kFleetFirstAddress);
    options.netns = pair.FleetNs();
    ASSERT_EQ(options.discoveryPort, 250);
    ASSERT_EQ(options.httpPort, 80);
    sim::Fleet fleet(std::move(options));
    ASSERT_TRUE(fleet.Start(&error)) << error;

    {
        sim::ScopedNetns inside(pair.ConsoleNs());
        if (!inside.Ok()) {
            fleet.Stop();
            GTEST_SKIP() << "cannot enter the console namespace: " << inside.Error();
        }

        Console console;  // the product defaults, untouched
        ASSERT_EQ(console.profile.broadcastAddress, "255.255.255.255");
        ASSERT_EQ(console.profile.bindAddress, "0.0.0.0");
        ASSERT_EQ(console.profile.discoveryPort, 250);
        ASSERT_EQ(console.profile.httpPort, 80);

        std::vector<DiscoveryFailure> failures;
        Discovery discovery(console, [&](const DiscoveryFailure& f) { failures.push_back(f); });
        ASSERT_TRUE(discovery.OpenDiscovery())
            << (failures.empty() ? "" : failures[0].reason + " " + failures[0].remedy);
        ASSERT_TRUE(WaitFor(
            [&] {
                while (discovery.HandleAnswer()) {
                }
                return console.table.Lock().Size() >= kFleetSize;
            },
            10s));
        EXPECT_TRUE(failures.empty());

        // Polled with the product timings: the first pass starts after one second.
        StatusPoller poller(console);
        poller.StartPolling();
        const bool polled = WaitFor(
            [&] {
                auto table = console.table.Lock();
                for (size_t i = 0; i < kFleetSize; ++i) {
                    const Info* info = table.Find(fleet.Mac(i));
                    if (!info || info->pollTick == 0 ||
                        info->projectorName != fleet.State(i).name) {
                        return false;
                    }
                }
                return true;
            },
            20s);
        const auto stopStart = std::chrono::steady_clock::now();
        poller.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 6s);
        ASSERT_TRUE(polled);

        // A probe of the automatic cycle refreshes everyone again.
        discovery.AutoDiscoveryCycle();
        ASSERT_TRUE(WaitFor(
            [&] {
                while (discovery.HandleAnswer()) {
                }
                auto table = console.table.Lock();
                for (const Info& info : table.Records()) {
                    if (info.freshness != 5)
                        return false;
                }
                return true;
            },
            10s));

        auto table = console.table.Lock();
        ASSERT_EQ(table.Size(), kFleetSize);
        for (size_t i = 0; i < kFleetSize; ++i) {
            const Info* info = table.Find(fleet.Mac(i));
            ASSERT_NE(info, nullptr) << i;
            const sim::ProjectorState state = fleet.State(i);
            EXPECT_EQ(info->ip, fleet.Address(i));
            EXPECT_EQ(info->power, PowerText(state.power)) << i;
            EXPECT_EQ(info->groupName, state.group) << i;
            EXPECT_EQ(info->projectorName, state.name) << i;
            if (state.power != sim::kPowerStandby) {
                EXPECT_EQ(info->fwVersion, state.firmware);
            }
        }
    }
    fleet.Stop();
}

}  // namespace
}  // namespace vistrel
