// set and alert-test against the simulated fleet: what reaches each projector, what is
// kept, and what is refused before anything is sent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/cli_fixture.h"

namespace vistrel::cli::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using json = nlohmann::json;

size_t HttpRequests(const sim::Fleet& fleet) {
    size_t n = 0;
    for (const auto& e : fleet.Log().Entries())
        n += e.kind == "http";
    return n;
}

TEST_F(CliTest, SetDhcpChangesOnlyTheDhcpDigitOfEveryProjector) {
    StartFleet(3, [](sim::FleetOptions& o) {
        o.projectors[1].state.network.mask = "255.255.0.0";
        o.projectors[1].state.network.gateway = "127.0.10.1";
    });
    const CliRun run = Run({"set", "dhcp=on", "127.0.10.2", "127.0.10.3", "127.0.10.4", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i]["result"], "OK");
        EXPECT_EQ(rows[i]["settings"], "dhcp");
        EXPECT_EQ(Fleet().State(i).network.dhcp, 1);
        EXPECT_EQ(Fleet().Address(i), rows[i]["ip"]);  // DHCP on with its own address kept
    }
    EXPECT_EQ(Fleet().State(1).network.mask, "255.255.0.0");
    EXPECT_EQ(Fleet().State(1).network.gateway, "127.0.10.1");
    EXPECT_EQ(BodiesStartingWith(Fleet(), "set=network1"), 3u);

    // A projector whose network reply is cut short gets nothing rather than a broken record.
    sim::Faults cutNetwork;
    cutNetwork.truncate["network"] = 30;
    Fleet().SetFaults(2, cutNetwork);
    const CliRun cut = Run({"set", "dhcp=off", "127.0.10.2", "127.0.10.4"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_THAT(cut.out, HasSubstr("unexpected reply"));
    EXPECT_EQ(Fleet().State(0).network.dhcp, 0);
    EXPECT_EQ(Fleet().State(2).network.dhcp, 1);
}

TEST_F(CliTest, PasswordsComeFromStandardInputOrAFileAndNeverFromTheCommandLine) {
    StartFleet(2);
    const CliRun typed = Run({"set", "admin-password=hunter2", "127.0.10.2"});
    EXPECT_EQ(typed.status, 2);
    EXPECT_THAT(typed.err, HasSubstr("never taken from the command line"));
    const CliRun alone = Run({"set", "admin-access=off", "127.0.10.2"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_THAT(alone.err, HasSubstr("admin-password"));
    EXPECT_EQ(HttpRequests(Fleet()), 0u);

    const auto file = dir_ / "user.pw";
    std::ofstream(file) << "guest pass\r\nsecond line\n";
    input_ = "s3cret\n";
    const CliRun run = Run({"set", "admin-password=-", "user-password=@" + file.string(),
                            "user-access=on", "127.0.10.2", "127.0.10.3"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (size_t i = 0; i < 2; ++i) {
        const sim::UserSettings user = Fleet().State(i).user;
        EXPECT_EQ(user.adminPassword, "s3cret");
        EXPECT_EQ(user.userPassword, "guest pass");
        EXPECT_EQ(user.adminAccess, 1);  // not given: the projector's own
        EXPECT_EQ(user.userAccess, 1);
    }
    EXPECT_THAT(run.out, Not(HasSubstr("s3cret")));

    // Standard input that ends early sends nothing.
    input_.clear();
    const size_t before = HttpRequests(Fleet());
    const CliRun empty = Run({"set", "admin-password=-", "127.0.10.2"});
    EXPECT_EQ(empty.status, 2);
    EXPECT_THAT(empty.err, HasSubstr("standard input ended"));
    EXPECT_EQ(HttpRequests(Fleet()), before);
}

TEST_F(CliTest, AlertSettingsKeepWhatIsNotGivenAndAlertTestReachesEveryTarget) {
    StartFleet(2, [](sim::FleetOptions& o) {
        for (auto& p : o.projectors) {
            p.state.alert.mailTo = "av@example.org";
            p.state.alert.smtpPassword = "smtp-pw";
            p.state.alert.fanLock = 1;
        }
    });
    input_ = "\n";  // an empty SMTP password is a value too
    const CliRun run = Run({"set", "mail-subject=Lamp in Hall 2", "alert-lamp-fail=on",
                            "alert-fan-lock=off", "127.0.10.2", "127.0.10.3"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (size_t i = 0; i < 2; ++i) {
        const sim::AlertSettings a = Fleet().State(i).alert;
        EXPECT_EQ(a.mailTo, "av@example.org");
        EXPECT_EQ(a.mailSubject, "Lamp in Hall 2");
        EXPECT_EQ(a.smtpPassword, "smtp-pw");
        EXPECT_EQ(a.fanLock, 0);
        EXPECT_EQ(a.lampFail, 1);
        EXPECT_EQ(a.lampHours, 0);
    }

    // A cut alert reply would blank what it lost: that projector gets nothing.
    sim::Faults cutAlert;
    cutAlert.truncate["alert"] = 200;
    Fleet().SetFaults(1, cutAlert);
    const CliRun cut = Run({"set", "mail-cc=desk@example.org", "127.0.10.2", "127.0.10.3"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(Fleet().State(0).alert.mailCc, "desk@example.org");
    EXPECT_EQ(Fleet().State(1).alert.mailCc, "");
    EXPECT_EQ(Fleet().State(1).alert.mailTo, "av@example.org");
    Fleet().SetFaults(1, {});

    const CliRun test = Run({"alert-test", "127.0.10.2", "127.0.10.3", kNobody});
    EXPECT_EQ(test.status, 1);
    EXPECT_EQ(Fleet().State(0).alert.testMails, 1);
    EXPECT_EQ(Fleet().State(1).alert.testMails, 1);
    EXPECT_THAT(test.out, HasSubstr(std::string(kNobody) + "  unreachable"));
}

TEST_F(CliTest, RefusedValuesSendNothing) {
    StartFleet(1);
    const std::vector<std::vector<std::string>> refused = {
        {"set", "mail-to=" + std::string(33, 'm'), "127.0.10.2"},
        {"set", "dhcp=maybe", "127.0.10.2"},
        {"set", "mask=255.0.0.0", "127.0.10.2"},
        {"set", "ip=127.0.10.40", "dhcp=on", "127.0.10.2"},
        {"set", "ip=127.0.10.40", "127.0.10.2", "127.0.10.3"},
        {"set", "ip=300.1.1.1", "127.0.10.2"},
        {"set", "brightness=800", "127.0.10.2"},
        {"set", "dhcp=on", "dhcp=off", "127.0.10.2"},
        {"set", "127.0.10.2"},
    };
    for (const auto& args : refused) {
        const CliRun run = Run(args);
        EXPECT_EQ(run.status, 2) << args[1];
        EXPECT_FALSE(run.err.empty()) << args[1];
    }
    EXPECT_EQ(HttpRequests(Fleet()), 0u);
}

TEST_F(CliTest, SetIpFollowsTheProjectorToItsNewAddress) {
    StartFleet(2, [](sim::FleetOptions& o) { o.relocationDelayMs = 300; });
    const CliRun run =
        Run({"set", "ip=127.0.10.60", "mask=255.0.0.0", "127.0.10.3", "--wait", "20", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["newIp"], "127.0.10.60");
    EXPECT_EQ(rows[0]["result"], "OK");
    EXPECT_EQ(Fleet().Address(1), "127.0.10.60");
    const sim::NetworkSettings n = Fleet().State(1).network;
    EXPECT_EQ(n.mask, "255.0.0.0");
    EXPECT_EQ(n.gateway, "127.0.0.1");  // kept from the projector
    EXPECT_EQ(n.dhcp, 0);
    EXPECT_EQ(Fleet().Address(0), "127.0.10.2");

    // Identified by its MAC, found again where it went.
    const CliRun back = Run({"set", "ip=127.0.10.3", Fleet().Mac(1), "--wait", "20", "--json"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(Fleet().Address(1), "127.0.10.3");
}

TEST_F(CliTest, SetIpReportsAProjectorThatDoesNotReappearInTime) {
    // Moves only after the wait has ended.
    StartFleet(1, [](sim::FleetOptions& o) { o.relocationDelayMs = 60000; });
    const CliRun run = Run({"set", "ip=127.0.10.61", "127.0.10.2", "--wait", "1.5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("not found at 127.0.10.61 within 1.5"));
    EXPECT_EQ(BodiesStartingWith(Fleet(), "set=network0"), 1u);

    // A projector that does not answer discovery is not moved: it could not be followed.
    StartFleet(1, [](sim::FleetOptions& o) { o.projectors[0].faults.silentDiscovery = true; });
    const CliRun silent = Run({"set", "ip=127.0.10.62", "127.0.10.2"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_THAT(silent.err, HasSubstr("nothing was sent"));
    EXPECT_EQ(BodiesStartingWith(Fleet(), "set=network"), 0u);
}

}  // namespace
}  // namespace vistrel::cli::test
