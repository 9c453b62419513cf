// Fleets from a seed and from a fleet file.
#include "sim/fleet_options.h"

#include <gtest/gtest.h>

#include <set>

namespace vistrel::sim {
namespace {

TEST(SimFleetSpec, SeedNamesTheSameFleetAndMacsAreUnique) {
    FleetOptions a = GenerateFleet(300, 42, "127.0.5.2");
    FleetOptions b = GenerateFleet(300, 42, "127.0.5.2");
    FleetOptions c = GenerateFleet(300, 43, "127.0.5.2");
    std::set<std::string> macs;
    bool differs = false;
    for (size_t i = 0; i < 300; ++i) {
        EXPECT_EQ(a.projectors[i].mac, b.projectors[i].mac);
        EXPECT_EQ(a.projectors[i].state, b.projectors[i].state);
        differs |= !(a.projectors[i].state == c.projectors[i].state);
        EXPECT_EQ(a.projectors[i].mac.size(), 12u);
        EXPECT_EQ(a.projectors[i].mac.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        macs.insert(a.projectors[i].mac);
    }
    EXPECT_TRUE(differs);
    EXPECT_EQ(macs.size(), 300u);
    EXPECT_EQ(a.projectors[253].address, "127.0.5.255");
    EXPECT_EQ(a.projectors[254].address, "127.0.6.0");
}

TEST(SimFleetSpec, FileListsProjectorsAndAddsGeneratedOnes) {
    std::string error;
    auto fleet = ParseFleetJson(R"({"seed": 3, "count": 4, "projectors": [
        {"address": "127.0.5.50", "mac": "00AA00BB00CC", "power": 0, "group": "Lab",
         "control": {"volume": 9}, "network": {"dhcp": 1},
         "faults": {"hang": true, "garbage": ["alert"]}},
        {"name": "Second"}
    ]})",
                                "127.0.5.2", 1, &error);
    ASSERT_TRUE(fleet) << error;
    ASSERT_EQ(fleet->projectors.size(), 4u);
    const ProjectorConfig& first = fleet->projectors[0];
    EXPECT_EQ(first.address, "127.0.5.50");
    EXPECT_EQ(first.mac, "00AA00BB00CC");
    EXPECT_EQ(first.state.power, kPowerOff);
    EXPECT_EQ(first.state.group, "Lab");
    EXPECT_EQ(first.state.control.volume, 9);
    EXPECT_EQ(first.state.network.dhcp, 1);
    EXPECT_TRUE(first.faults.hang);
    EXPECT_EQ(first.faults.garbage, std::vector<std::string>{"alert"});
    // Unlisted fields keep the generated values of the file's seed.
    GeneratedIdentity generated = GenerateProjector(3, 0);
    EXPECT_EQ(first.state.control.brightness, generated.state.control.brightness);
    // Unaddressed projectors follow the previous one.
    EXPECT_EQ(fleet->projectors[1].address, "127.0.5.51");
    EXPECT_EQ(fleet->projectors[1].state.name, "Second");
    EXPECT_EQ(fleet->projectors[3].address, "127.0.5.53");
    EXPECT_EQ(fleet->projectors[3].mac, GenerateProjector(3, 3).mac);

    auto plain = ParseFleetJson(R"([{}, {}])", "127.0.5.9", 1, &error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(plain->projectors[1].address, "127.0.5.10");
}

TEST(SimFleetSpec, MistakesAreReportedWithTheirPlace) {
    struct Case {
        const char* json;
        const char* message;
    };
    for (const Case& c : std::vector<Case>{
             {R"({"projectors": [{"powr": 1}]})", "unknown field 'powr'"},
             {R"({"projectors": [{}, {"control": {"volume": "x"}}]})", "projector 1"},
             {R"({"projectors": [{"faults": {"truncate": {"infos": 3}}}]})", "infos"},
             {R"({"projectors": [{"faults": {"garbage": ["infos"]}}]})", "garbage"},
             {R"({"projectors": [{"mac": "123"}]})", "12 characters"},
             {R"({"projectors": [{"address": "127.0.0"}]})", "bad address"},
             {R"({"projectors": [{"power": 3}]})", "power"},
             {R"({"projectors": [{"group": "012345678901234567890123456789012"}]})", "32"},
             {R"({"projector": []})", "unknown field 'projector'"},
             {R"({"projectors": [)", "not JSON"},
             {R"(7)", "object or an array"},
         }) {
        std::string error;
        EXPECT_FALSE(ParseFleetJson(c.json, "127.0.5.2", 1, &error)) << c.json;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.json << " -> " << error;
    }
}

TEST(SimFleetSpec, ProjectorJsonRoundTrips) {
    ProjectorConfig config = GenerateFleet(1, 8, "127.0.5.3").projectors[0];
    config.faults.truncate["control"] = 20;
    ProjectorConfig copy;
    std::string error;
    ASSERT_TRUE(ApplyProjectorJson(ProjectorJson(config), copy, &error)) << error;
    EXPECT_EQ(copy.address, config.address);
    EXPECT_EQ(copy.mac, config.mac);
    EXPECT_EQ(copy.state, config.state);
    EXPECT_EQ(copy.faults, config.faults);
}

}  // namespace
}  // namespace vistrel::sim
