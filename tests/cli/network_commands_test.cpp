// The commands that talk to projectors, against the simulated fleet.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_fixture.h"
#include "monitor/private_netns.h"
#include "monitor/udp_socket.h"
#include "store/reg_store.h"

namespace vistrel::cli::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using json = nlohmann::json;

// Three projectors with known status: an HDMI one in group Lab, a VGA-1 one without a
// group, and one in standby.
void KnownFleet(sim::FleetOptions& options) {
    auto& p = options.projectors;
    ASSERT_GE(p.size(), 3u);
    p[0].state.power = sim::kPowerOn;
    p[0].state.lampHours = 123;
    p[0].state.source = 5;
    p[0].state.firmware = "A123";
    p[0].state.displayMode = 4;
    p[0].state.group = "Lab";
    p[0].state.name = "Left";
    p[1].state.power = sim::kPowerOff;
    p[1].state.lampHours = 42;
    p[1].state.source = 1;
    p[1].state.firmware = "B001";
    p[1].state.displayMode = 0;
    p[1].state.group = "";
    p[1].state.name = "Hall, east";
    p[2].state.power = sim::kPowerStandby;
    p[2].state.group = "Lab";
    p[2].state.name = "Right";
}

size_t CountBodies(const sim::Fleet& fleet, const std::string& body) {
    size_t n = 0;
    for (const auto& e : fleet.Log().Entries())
        n += e.kind == "http" && e.body == body;
    return n;
}

TEST_F(CliTest, DiscoverListsEveryAnsweringProjectorInEachForm) {
    StartFleet(3, [](sim::FleetOptions& o) { o.projectors[1].faults.silentDiscovery = true; });

    const CliRun table = Run({"discover", "--wait", "0.5"});
    ASSERT_EQ(table.status, 0) << table.err;
    const auto lines = Lines(table.out);
    ASSERT_EQ(lines.size(), 3u) << table.out;
    EXPECT_EQ(lines[0], "MAC           IP");
    // Answers arrive in any order; each line is one projector, aligned.
    std::vector<std::string> rows(lines.begin() + 1, lines.end());
    std::sort(rows.begin(), rows.end());
    EXPECT_THAT(rows,
                ElementsAre(Fleet().Mac(0) + "  127.0.10.2", Fleet().Mac(2) + "  127.0.10.4"));

    const CliRun js = Run({"discover", "--wait", "0.5", "--json"});
    ASSERT_EQ(js.status, 0) << js.err;
    const json parsed = json::parse(js.out);
    ASSERT_EQ(parsed.size(), 2u);
    std::set<std::string> macs;
    for (const auto& row : parsed) {
        macs.insert(row["mac"].get<std::string>());
        EXPECT_EQ(row["ip"], Fleet().Address(*Fleet().FindByMac(row["mac"])));
    }
    EXPECT_EQ(macs, (std::set<std::string>{Fleet().Mac(0), Fleet().Mac(2)}));

    const CliRun csv = Run({"discover", "--wait", "0.5", "--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto csvLines = Lines(csv.out);
    ASSERT_EQ(csvLines.size(), 3u);
    EXPECT_EQ(csvLines[0], "mac,ip");
    EXPECT_THAT(csv.out, HasSubstr(Fleet().Mac(2) + ",127.0.10.4\n"));
}

TEST_F(CliTest, DiscoveryThatCannotStartIsAnEnvironmentErrorWithARemedy) {
    // 192.0.2.1 is a documentation address that no machine here owns; nothing is sent.
    const CliRun run = Run({"discover", "--bind", "192.0.2.1", "--broadcast", "127.255.255.255",
                            "--discovery-port", "5250"},
                           false);
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("cannot open UDP port 5250 on 192.0.2.1"));
    EXPECT_THAT(run.err, HasSubstr("does not belong to this computer"));
    EXPECT_THAT(run.out, IsEmpty());

    const CliRun status = Run({"status", "--bind", "192.0.2.1", "--broadcast", "127.255.255.255",
                               "--discovery-port", "5250"},
                              false);
    EXPECT_EQ(status.status, 2);
    EXPECT_THAT(status.err, HasSubstr("cannot open UDP port 5250"));
}

// With the real profile, a window (or another vistrel-cli) already on port 250 keeps it:
// discover ends with status 2 and names the cause instead of taking the window's answers.
TEST_F(CliTest, DiscoverBesideAnotherHolderOfThePortSaysSoAndEnds) {
    std::string why;
    CliRun run;
    const bool ran = vistrel::test::RunInPrivateNetns(
        [&] {
            UdpSocket window;
            ASSERT_TRUE(window.Open("0.0.0.0", kProjectorDiscoveryPort));
            run = Run({"discover", "--wait", "1"}, false);
        },
        &why);
    if (!ran)
        GTEST_SKIP() << "no private network namespace: " << why;
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("cannot open UDP port 250"));
    EXPECT_THAT(run.err, HasSubstr("Another program on this computer holds UDP port 250"));
    EXPECT_EQ(run.out, "");
}

TEST_F(CliTest, StatusOfDiscoveredProjectorsDecodesEveryField) {
    StartFleet(3, KnownFleet);
    const CliRun run = Run({"status", "--wait", "0.5", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    json parsed = json::parse(run.out);
    ASSERT_EQ(parsed.size(), 3u);
    std::map<std::string, json> byIp;
    for (const auto& row : parsed)
        byIp[row["ip"]] = row;
    const json& first = byIp["127.0.10.2"];
    EXPECT_EQ(first["mac"], Fleet().Mac(0));
    EXPECT_EQ(first["group"], "Lab");
    EXPECT_EQ(first["name"], "Left");
    EXPECT_EQ(first["power"], "ON");
    EXPECT_EQ(first["source"], "HDMI");
    EXPECT_EQ(first["lampHours"], "0123");
    EXPECT_EQ(first["displayMode"], "sRGB");
    EXPECT_EQ(first["firmware"], "A123");
    EXPECT_EQ(first["result"], "OK");
    const json& second = byIp["127.0.10.3"];
    EXPECT_EQ(second["power"], "OFF");
    EXPECT_EQ(second["source"], "VGA-1");
    EXPECT_EQ(second["displayMode"], "None");
    EXPECT_EQ(second["group"], "");
    // Standby empties the other status fields, as the console shows it.
    const json& third = byIp["127.0.10.4"];
    EXPECT_EQ(third["power"], "standby");
    EXPECT_EQ(third["source"], "");
    EXPECT_EQ(third["lampHours"], "");
    EXPECT_EQ(third["result"], "OK");
}

TEST_F(CliTest, StatusOfGivenAddressesListsUnreachableAndTimedOutProjectors) {
    StartFleet(3, [](sim::FleetOptions& o) {
        KnownFleet(o);
        o.projectors[2].faults.hang = true;
    });
    const std::vector<std::string> ips = {"127.0.10.2", kNobody, "127.0.10.4", "127.0.10.3"};

    std::vector<std::string> args = {"status", "--timeout", "400", "--wait", "0.3"};
    args.insert(args.end(), ips.begin(), ips.end());
    const CliRun table = Run(args);
    EXPECT_EQ(table.status, 1);
    const auto lines = Lines(table.out);
    ASSERT_EQ(lines.size(), 5u) << table.out;
    EXPECT_EQ(lines[0],
              "MAC           IP            GROUP  NAME        POWER  SOURCE  LAMP HOURS  "
              "DISPLAY MODE  FIRMWARE  RESULT");
    EXPECT_EQ(lines[1], Fleet().Mac(0) +
                            "  127.0.10.2    Lab    Left        ON     HDMI    0123        sRGB"
                            "          A123      OK");
    // Not omitted: listed in the order given, with the reason.
    EXPECT_EQ(lines[2].substr(0, 26), "              127.0.10.250");
    EXPECT_EQ(lines[2].find("unreachable"), lines[0].find("RESULT"));
    EXPECT_EQ(lines[2].find_first_not_of(' ', 26), lines[0].find("RESULT"));
    EXPECT_THAT(lines[3], HasSubstr("127.0.10.4"));
    EXPECT_THAT(lines[3], ::testing::EndsWith("time-out"));
    EXPECT_THAT(lines[4], ::testing::StartsWith(Fleet().Mac(1) + "  127.0.10.3"));
    EXPECT_THAT(lines[4], ::testing::EndsWith("OK"));

    args.push_back("--csv");
    const CliRun csv = Run(args);
    EXPECT_EQ(csv.status, 1);
    const auto csvLines = Lines(csv.out);
    ASSERT_EQ(csvLines.size(), 5u);
    EXPECT_EQ(csvLines[0], "mac,ip,group,name,power,source,lampHours,displayMode,firmware,result");
    EXPECT_EQ(csvLines[2], ",127.0.10.250,,,,,,,,unreachable");
    EXPECT_EQ(csvLines[4],
              Fleet().Mac(1) + ",127.0.10.3,,\"Hall, east\",OFF,VGA-1,0042,None,B001,OK");
}

TEST_F(CliTest, PowerReportsEachProjectorsResult) {
    StartFleet(2, [](sim::FleetOptions& o) {
        o.projectors[0].state.power = sim::kPowerOff;
        o.projectors[1].faults.commandTimeout = true;
    });
    const CliRun table = Run({"power", "on", "127.0.10.2", "127.0.10.3", kNobody});
    EXPECT_EQ(table.status, 1);
    EXPECT_EQ(table.out,
              "IP            RESULT\n"
              "127.0.10.2    OK\n"
              "127.0.10.3    time-out\n"
              "127.0.10.250  unreachable\n");
    EXPECT_EQ(Fleet().State(0).power, sim::kPowerOn);
    EXPECT_EQ(CountBodies(Fleet(), "command=~0000 1"), 2u);

    const CliRun js = Run({"power", "off", "127.0.10.2", "--json"});
    EXPECT_EQ(js.status, 0) << js.err;
    EXPECT_EQ(json::parse(js.out), json::parse(R"([{"ip": "127.0.10.2", "result": "OK"}])"));
    EXPECT_EQ(Fleet().State(0).power, sim::kPowerOff);

    const CliRun csv = Run({"power", "on", "127.0.10.2", "--csv"});
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out, "ip,result\n127.0.10.2,OK\n");
}

TEST_F(CliTest, PowerOnWaitReportsTheProjectorThatNeverGetsThere) {
    StartFleet(2, [](sim::FleetOptions& o) {
        o.projectors[0].state.power = sim::kPowerOff;
        o.projectors[1].state.power = sim::kPowerOff;
        o.projectors[1].faults.commandTimeout = true;  // refuses, stays off
    });
    const CliRun run = Run({"power", "on", "127.0.10.2", "127.0.10.3", "--wait", "2.5", "--json"});
    EXPECT_EQ(run.status, 1);
    const json parsed = json::parse(run.out);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0], json::parse(R"({"ip": "127.0.10.2", "result": "OK", "power": "ON",
                                        "reached": true})"));
    EXPECT_EQ(parsed[1], json::parse(R"({"ip": "127.0.10.3", "result": "time-out",
                                        "power": "OFF", "reached": false})"));
    EXPECT_THAT(run.err, HasSubstr("1 projector did not report ON within 2.5 s"));
    // Asked again about once a second until the time ran out: at the start, a second and
    // perhaps two seconds later (the time leaves a slow first round half a second to spare).
    const size_t asked = [&] {
        size_t n = 0;
        for (const auto& e : Fleet().Log().Entries()) {
            n += e.address == "127.0.10.3" && e.body == "query=info";
        }
        return n;
    }();
    EXPECT_GE(asked, 2u);
    EXPECT_LE(asked, 3u);

    const CliRun table = Run({"power", "on", "127.0.10.2", "127.0.10.3", "--wait", "0"});
    EXPECT_EQ(table.status, 1);
    EXPECT_EQ(table.out,
              "IP          RESULT    POWER  REACHED\n"
              "127.0.10.2  OK        ON     yes\n"
              "127.0.10.3  time-out  OFF    no\n");
}

TEST_F(CliTest, PowerOffWaitCountsStandbyAsOffAndUnreachableAsNotReached) {
    StartFleet(1, [](sim::FleetOptions& o) { o.projectors[0].state.power = sim::kPowerOn; });
    const CliRun run = Run({"power", "off", "127.0.10.2", kNobody, "--wait", "0.2", "--csv"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "ip,result,power,reached\n"
              "127.0.10.2,OK,OFF,yes\n"
              "127.0.10.250,unreachable,,no\n");
}

TEST_F(CliTest, SourceSendsTheCommandOfTheLabelsRow) {
    StartFleet(2, [](sim::FleetOptions& o) {
        for (auto& p : o.projectors) {
            p.state.power = sim::kPowerOn;
            p.state.source = 5;
        }
    });
    const CliRun run = Run({"source", "vga-2", "127.0.10.2", "127.0.10.3"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "IP          RESULT\n127.0.10.2  OK\n127.0.10.3  OK\n");
    EXPECT_EQ(CountBodies(Fleet(), "command=~0012 6"), 2u);
    EXPECT_EQ(Fleet().State(1).source, 2);

    // "None" has no command: the bare body goes out, as from the console.
    const CliRun none = Run({"source", "None", "127.0.10.2", "--csv"});
    EXPECT_EQ(CountBodies(Fleet(), "command="), 1u);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "ip,result\n127.0.10.2,time-out\n");

    const CliRun js = Run({"source", "HDMI", "127.0.10.3", "--json"});
    EXPECT_EQ(js.status, 0);
    EXPECT_EQ(json::parse(js.out)[0]["result"], "OK");
    EXPECT_EQ(Fleet().State(1).source, 5);
}

TEST_F(CliTest, GroupSetKeepsEachProjectorsNameUnlessGivenOne) {
    StartFleet(3, [](sim::FleetOptions& o) {
        KnownFleet(o);
        o.projectors[2].state.power = sim::kPowerOn;
    });
    const CliRun run = Run({"group", "set", "Hall B", "127.0.10.2", "127.0.10.3", kNobody});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "IP            GROUP   NAME        RESULT\n"
              "127.0.10.2    Hall B  Left        OK\n"
              "127.0.10.3    Hall B  Hall, east  OK\n"
              "127.0.10.250  Hall B              unreachable\n");
    EXPECT_EQ(Fleet().State(0).group, "Hall B");
    EXPECT_EQ(Fleet().State(0).name, "Left");
    EXPECT_EQ(Fleet().State(1).name, "Hall, east");
    EXPECT_EQ(CountBodies(Fleet(), "set=group" + std::string("Hall B") + std::string(26, ' ') +
                                       "Left" + std::string(28, ' ')),
              1u);
    // The console's group list now holds the group.
    RegStore store(StoreFile(), "vistrel");
    EXPECT_THAT(store.LoadGroupNames(), ElementsAre("Hall B"));

    const CliRun named = Run({"group", "set", "hall b", "--name", "Front", "127.0.10.4", "--json"});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(
        json::parse(named.out),
        json::parse(R"([{"ip":"127.0.10.4","group":"hall b","name":"Front","result":"OK"}])"));
    EXPECT_EQ(Fleet().State(2).name, "Front");
    EXPECT_THAT(store.LoadGroupNames(), ElementsAre("Hall B"));  // same key, case aside

    const CliRun csv = Run({"group", "set", "", "127.0.10.4", "--csv"});
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out, "ip,group,name,result\n127.0.10.4,,Front,OK\n");
    EXPECT_EQ(Fleet().State(2).group, "");
}

TEST_F(CliTest, GroupSetRefusesNamesThatDoNotFit) {
    const CliRun run = Run({"group", "set", std::string(33, 'x'), "127.0.10.2"}, false);
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("33 bytes long; projectors store at most 32"));
    EXPECT_THAT(run.out, IsEmpty());
    const CliRun slash = Run({"group", "set", "A\\B", "127.0.10.2"}, false);
    EXPECT_EQ(slash.status, 2);
    EXPECT_THAT(slash.err, HasSubstr("backslash"));
}

TEST_F(CliTest, QueryAndSendPrintTheRawReply) {
    StartFleet(3, KnownFleet);
    const CliRun info = Run({"query", "info", "127.0.10.2"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, "<return>\n<info>OK1012305A1234\n");

    const CliRun group = Run({"query", "group", "127.0.10.2", "--json"});
    EXPECT_EQ(group.status, 0);
    const json parsed = json::parse(group.out);
    EXPECT_EQ(parsed[0]["topic"], "group");
    EXPECT_EQ(parsed[0]["reply"],
              "<return>\n<group>Lab" + std::string(29, ' ') + "Left" + std::string(28, ' '));
    EXPECT_EQ(parsed[0]["result"], "OK");

    const CliRun sent = Run({"send", "command=~0000 0", "127.0.10.2", "--csv"});
    EXPECT_EQ(sent.status, 0);
    EXPECT_EQ(sent.out,
              "ip,body,reply,result\n127.0.10.2,command=~0000 0,\"<return>\n<result>OK\",OK\n");
    EXPECT_EQ(Fleet().State(0).power, sim::kPowerOff);

    const CliRun refused = Run({"send", "command=~0012 1", "127.0.10.2"});  // off: refused
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.out, HasSubstr("timeout"));
    EXPECT_THAT(refused.err, HasSubstr("127.0.10.2: time-out"));

    const CliRun nobody = Run({"query", "model", kNobody});
    EXPECT_EQ(nobody.status, 1);
    EXPECT_THAT(nobody.out, IsEmpty());
    EXPECT_EQ(nobody.err, "vistrel-cli: 127.0.10.250: unreachable\n");
}

}  // namespace
}  // namespace vistrel::cli::test
