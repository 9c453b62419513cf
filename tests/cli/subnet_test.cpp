// Projectors beyond a router: a fleet in a second subnet of the fleet namespace hears only
// probes sent to its directed broadcast address. The console side uses the real defaults
// (port 250, 255.255.255.255, port 80) inside its own namespace; never in the machine's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/cli_fixture.h"
#include "sim/netns_pair.h"

namespace vistrel::cli::test {
namespace {

using json = nlohmann::json;

constexpr size_t kFleetSize = 6;
constexpr const char* kSubnetFirst = "10.78.1.2";
constexpr const char* kSubnetBroadcast = "10.78.1.255";

TEST_F(CliTest, DirectedBroadcastFromTheStoreFindsAFleetInAnotherSubnet) {
    sim::NetnsPair pair;
    std::string error;
    if (!pair.Create(&error)) {
        GTEST_SKIP() << "network namespaces unavailable (" << error
                     << "); this test never runs in the machine's own namespace";
    }
    // The second subnet lives on the fleet side's loopback, reached through its veth.
    const std::string addSubnet = "ip -n " + pair.FleetNs() + " addr add 10.78.1.1/24 broadcast " +
                                  kSubnetBroadcast + " dev lo && ip -n " + pair.FleetNs() +
                                  " route replace local 10.78.1.0/24 dev lo";
    ASSERT_EQ(std::system(addSubnet.c_str()), 0) << addSubnet;

    auto options = sim::GenerateFleet(kFleetSize, 31, kSubnetFirst);
    options.netns = pair.FleetNs();
    options.broadcastListenAddress = kSubnetBroadcast;  // deaf to 255.255.255.255
    fleet_ = std::make_unique<sim::Fleet>(std::move(options));
    ASSERT_TRUE(fleet_->Start(&error)) << error;
    std::set<std::string> macs;
    for (size_t i = 0; i < kFleetSize; ++i)
        macs.insert(Fleet().Mac(i));

    sim::ScopedNetns inside(pair.ConsoleNs());
    ASSERT_TRUE(inside.Ok()) << inside.Error();

    // The limited broadcast stays in the console's subnet.
    const CliRun before = Run({"discover", "--wait", "1", "--json"}, false);
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_TRUE(json::parse(before.out).empty()) << before.out;

    ASSERT_EQ(Run({"config", "broadcast", "add", kSubnetBroadcast}, false).status, 0);
    const CliRun after = Run({"status", "--all", "--json"}, false);
    ASSERT_EQ(after.status, 0) << after.err;
    std::set<std::string> found;
    for (const auto& row : json::parse(after.out)) {
        found.insert(row["mac"].get<std::string>());
        EXPECT_EQ(row["result"], "OK");
    }
    EXPECT_EQ(found, macs);
}

}  // namespace
}  // namespace vistrel::cli::test
