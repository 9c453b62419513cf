// Targets named by identity, group, the window's ticks or all, and the directed broadcasts
// kept in the store, against the simulated fleet on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/cli_fixture.h"
#include "store/broadcast_list.h"
#include "store/reg_store.h"

namespace vistrel::cli::test {
namespace {

using ::testing::HasSubstr;
using json = nlohmann::json;

// The addresses that received a command body.
std::set<std::string> Reached(const sim::Fleet& fleet, const std::string& body) {
    std::set<std::string> ips;
    for (const auto& e : fleet.Log().Entries()) {
        if (e.kind == "http" && e.body == body)
            ips.insert(e.address);
    }
    return ips;
}

std::set<std::string> Ips(const CliRun& run) {
    std::set<std::string> ips;
    for (const auto& row : json::parse(run.out))
        ips.insert(row["ip"].get<std::string>());
    return ips;
}

TEST_F(CliTest, TargetsByIdentityGroupTicksAndAll) {
    StartFleet(5, [](sim::FleetOptions& o) {
        o.projectors[0].state.group = "Lecture";
        o.projectors[2].state.group = "lecture";  // group names compare without case
        o.projectors[3].state.group = "Lab";
    });

    const CliRun byMac = Run({"alert-test", Fleet().Mac(1), "127.0.10.6", "--json"});
    ASSERT_EQ(byMac.status, 0) << byMac.err;
    EXPECT_EQ(Ips(byMac), (std::set<std::string>{"127.0.10.3", "127.0.10.6"}));

    const CliRun byGroup = Run({"alert-test", "--group", "Lecture", "--json"});
    ASSERT_EQ(byGroup.status, 0) << byGroup.err;
    EXPECT_EQ(Ips(byGroup), (std::set<std::string>{"127.0.10.2", "127.0.10.4"}));

    const CliRun all = Run({"status", "--all", "--json"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(Ips(all).size(), 5u);

    {
        RegStore store(StoreFile(), kDefaultAppName);
        store.SetProjectorDword(Fleet().Mac(3), kProjectorKeyRoot, 0, "Checked", 1);
        store.SetProjectorDword(Fleet().Mac(4), kProjectorKeyRoot, 0, "Checked", 0);
        store.SetProjectorDword("0011AABBCC99", kProjectorKeyRoot, 0, "Checked", 1);  // gone
    }
    const CliRun ticked = Run({"power", "on", "--ticked", "--json"});
    EXPECT_EQ(ticked.status, 1);  // the ticked projector that is gone fails the run
    EXPECT_EQ(Ips(ticked), (std::set<std::string>{"127.0.10.5"}));
    EXPECT_THAT(ticked.err, HasSubstr("0011AABBCC99: not found by discovery"));
    EXPECT_EQ(Reached(Fleet(), "command=~0000 1"), (std::set<std::string>{"127.0.10.5"}));

    const CliRun nobody = Run({"alert-test", "--group", "Attic"});
    EXPECT_EQ(nobody.status, 1);
    EXPECT_THAT(nobody.err, HasSubstr("group \"Attic\": not found"));
}

TEST_F(CliTest, ConfigBroadcastKeepsTheListAsATextValueOfTheStore) {
    EXPECT_EQ(Run({"config", "broadcast", "add", "10.1.2.255", "10.1.3.255"}, false).status, 0);
    EXPECT_EQ(Run({"config", "broadcast", "add", "10.1.2.255"}, false).status, 0);  // no twin
    const CliRun list = Run({"config", "broadcast", "list", "--csv"}, false);
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "address\n10.1.2.255\n10.1.3.255\n");

    std::ifstream file(StoreFile());
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_THAT(text.str(), HasSubstr("\"DirectedBroadcast\"=\"10.1.2.255 10.1.3.255\""));
    EXPECT_THAT(text.str(), HasSubstr("Windows Registry Editor Version 5.00"));

    EXPECT_EQ(Run({"config", "broadcast", "remove", "10.1.2.255"}, false).status, 0);
    const CliRun missing = Run({"config", "broadcast", "remove", "10.9.9.255"}, false);
    EXPECT_EQ(missing.status, 2);
    EXPECT_THAT(missing.err, HasSubstr("not among"));
    EXPECT_EQ(Run({"config", "broadcast", "add", "10.1.2"}, false).status, 2);
    RegStore store(StoreFile(), kDefaultAppName);
    EXPECT_EQ(LoadDirectedBroadcasts(store), std::vector<std::string>{"10.1.3.255"});
}

TEST_F(CliTest, EveryBroadcastAddressGivenIsProbed) {
    StartFleet(2);
    // Nobody listens at the first address; the fleet hears the second.
    auto args = NetworkArgs();
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--broadcast")
            args[i + 1] = "127.0.10.240";
    }
    std::vector<std::string> command = {"discover", "--wait", "0.5", "--json"};
    command.insert(command.end(), args.begin(), args.end());
    command.insert(command.end(), {"--broadcast", "127.255.255.255"});
    const CliRun run = Run(command, false);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(json::parse(run.out).size(), 2u);
}

}  // namespace
}  // namespace vistrel::cli::test
