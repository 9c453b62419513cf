// The projectors' discovery port belongs to one program. A second console or vistrel-cli on
// the same workstation must be refused the port and say so, never share it: the system would
// hand it the answers the first one waits for. Runs in a private network namespace.
#include <gtest/gtest.h>

#include <cerrno>

#include "monitor/discovery.h"
#include "monitor/private_netns.h"
#include "monitor/udp_socket.h"

namespace vistrel {
namespace {

using test::RunInPrivateNetns;

TEST(DiscoveryPort, TheProjectorsPortIsHeldByOneSocketOnly) {
    std::string why;
    const bool ran = RunInPrivateNetns(
        [] {
            UdpSocket first;
            ASSERT_TRUE(first.Open("0.0.0.0", kProjectorDiscoveryPort)) << first.LastErrorText();
            for (const auto use : {UdpSocket::PortUse::kExclusive, UdpSocket::PortUse::kShared}) {
                for (const char* address : {"0.0.0.0", "127.0.0.1"}) {
                    UdpSocket second;
                    EXPECT_FALSE(second.Open(address, kProjectorDiscoveryPort, use)) << address;
                    EXPECT_EQ(second.LastError(), EADDRINUSE) << address;
                }
            }
            // Test fleets may share their ports.
            UdpSocket a, b;
            ASSERT_TRUE(a.Open("127.0.0.1", 0, UdpSocket::PortUse::kShared));
            EXPECT_TRUE(b.Open("127.0.0.1", a.LocalPort(), UdpSocket::PortUse::kShared))
                << b.LastErrorText();
        },
        &why);
    if (!ran)
        GTEST_SKIP() << "no private network namespace: " << why;
}

TEST(DiscoveryPort, ASecondConsoleIsToldAnotherProgramHoldsThePort) {
    std::string why;
    const bool ran = RunInPrivateNetns(
        [] {
            Console window;  // the real profile: port 250, shared with nobody
            ASSERT_FALSE(window.profile.SharesDiscoveryPort());
            Discovery first(window);
            first.OpenDiscovery();  // the probe has no route here; only the port matters
            ASSERT_TRUE(first.IsOpen());

            Console other;
            int told = 0;
            Discovery second(other, [&told](const DiscoveryFailure&) { ++told; });
            EXPECT_FALSE(second.OpenDiscovery());
            EXPECT_FALSE(second.IsOpen());
            EXPECT_EQ(told, 1);
            ASSERT_TRUE(second.Failure().has_value());
            EXPECT_NE(second.Failure()->reason.find("UDP port 250"), std::string::npos);
            EXPECT_NE(second.Failure()->remedy.find("Another program on this computer"),
                      std::string::npos)
                << second.Failure()->remedy;
        },
        &why);
    if (!ran)
        GTEST_SKIP() << "no private network namespace: " << why;
}

}  // namespace
}  // namespace vistrel
