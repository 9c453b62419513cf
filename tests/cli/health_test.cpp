// health and health --check against the simulated fleet, with thresholds set by config health.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/cli_fixture.h"
#include "monitor/private_netns.h"
#include "monitor/udp_socket.h"

namespace vistrel::cli::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(CliTest, HealthCheckFollowsTheLampsAndTheStoredThresholds) {
    StartFleet(3, [](sim::FleetOptions& o) {
        for (size_t i = 0; i < 3; ++i) {
            o.projectors[i].state.power = sim::kPowerOn;
            o.projectors[i].state.lampHours = static_cast<int>(100 * (i + 1));
        }
    });
    const std::vector<std::string> check = {"health", "--check", "--wait", "0.5"};

    const CliRun ok = Run(check);
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_THAT(ok.out, StartsWith("VISTREL OK"));

    const CliRun table = Run({"health", "--wait", "0.5"});
    EXPECT_EQ(table.status, 0) << table.err;
    ASSERT_EQ(Lines(table.out).size(), 5u) << table.out;  // header, three rows, summary
    EXPECT_THAT(Lines(table.out)[0], HasSubstr("STATE"));
    EXPECT_THAT(Lines(table.out)[4], StartsWith("3 projectors: 3 on"));

    const CliRun lower = Run({"config", "health", "--lamp-warning", "250"}, false);
    ASSERT_EQ(lower.status, 0) << lower.err;
    const CliRun warning = Run(check);
    EXPECT_EQ(warning.status, 1) << warning.out << warning.err;
    EXPECT_THAT(warning.out, StartsWith("VISTREL WARNING - 1 of 3"));

    // Below the warning threshold: refused, and the stored thresholds stay as they were.
    const CliRun refused = Run({"config", "health", "--lamp-critical", "200"}, false);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(Run(check).status, 1);

    ASSERT_EQ(Run({"config", "health", "--lamp-critical", "280"}, false).status, 0);
    const CliRun critical = Run(check);
    EXPECT_EQ(critical.status, 2) << critical.out << critical.err;
    EXPECT_THAT(critical.out, StartsWith("VISTREL CRITICAL"));

    // A projector that does not answer is critical whatever its lamp.
    ASSERT_EQ(Run({"config", "health", "--lamp-critical", "4000", "--lamp-warning", "3000"}, false)
                  .status,
              0);
    const CliRun silent =
        Run({"health", "--check", "--timeout", "400", "--wait", "0.3", kFirstProjector, kNobody});
    EXPECT_EQ(silent.status, 2) << silent.out << silent.err;
    EXPECT_THAT(silent.out, StartsWith("VISTREL CRITICAL"));
}

TEST_F(CliTest, HealthCheckIsUnknownWhenDiscoveryCannotRun) {
    // 192.0.2.1 is a documentation address that no machine here owns; nothing is sent.
    const CliRun run = Run({"health", "--check", "--bind", "192.0.2.1", "--broadcast",
                            "127.255.255.255", "--discovery-port", "5250"},
                           false);
    EXPECT_EQ(run.status, 3);
    EXPECT_THAT(run.out, StartsWith("VISTREL UNKNOWN"));
    EXPECT_THAT(run.out, HasSubstr("cannot open UDP port 5250"));

    // Another program (the window) holds the discovery port.
    std::string why;
    CliRun busy;
    const bool ran = vistrel::test::RunInPrivateNetns(
        [&] {
            UdpSocket window;
            ASSERT_TRUE(window.Open("0.0.0.0", kProjectorDiscoveryPort));
            busy = Run({"health", "--check", "--wait", "1"}, false);
        },
        &why);
    if (!ran)
        GTEST_SKIP() << "no private network namespace: " << why;
    EXPECT_EQ(busy.status, 3);
    EXPECT_THAT(busy.out, StartsWith("VISTREL UNKNOWN - "));
    EXPECT_THAT(busy.out, HasSubstr("cannot open UDP port 250"));
}

}  // namespace
}  // namespace vistrel::cli::test
