// The real ports (250 and 80) and the limited broadcast, inside a private namespace pair.
// Skipped where namespaces cannot be made; never run in the machine's own namespace.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <thread>

#include "sim/fleet.h"
#include "sim/netns_pair.h"
#include "sim_test_util.h"

namespace vistrel::sim {
namespace {

using namespace std::chrono_literals;

std::string NamespaceList() {
    std::string out;
    if (FILE* p = popen("ip netns list 2>/dev/null", "r")) {
        std::array<char, 256> buf{};
        while (fgets(buf.data(), buf.size(), p)) {
            out += buf.data();
        }
        pclose(p);
    }
    return out;
}

TEST(SimNetns, RealPortsAndLimitedBroadcastAcrossTheVethPair) {
    std::string consoleNs;
    std::string fleetNs;
    {
        NetnsPair pair;
        std::string error;
        if (!pair.Create(&error)) {
            GTEST_SKIP() << "network namespaces unavailable: " << error;
        }
        consoleNs = pair.ConsoleNs();
        fleetNs = pair.FleetNs();
        EXPECT_NE(NamespaceList().find(fleetNs), std::string::npos);

        FleetOptions options = GenerateFleet(20, 2, NetnsPair::kFleetFirstAddress);
        options.netns = pair.FleetNs();  // real defaults: 250 and 80
        options.relocationDelayMs = 200;
        Fleet fleet(std::move(options));
        ASSERT_TRUE(fleet.Start(&error)) << error;
        EXPECT_EQ(fleet.DiscoveryPort(), 250);
        EXPECT_EQ(fleet.HttpPort(), 80);

        // The console side runs on a thread of its own inside the console namespace.
        std::thread console([&] {
            ScopedNetns inside(pair.ConsoleNs());
            ASSERT_TRUE(inside.Ok()) << inside.Error();
            test::UdpClient socket("0.0.0.0", 250);
            ASSERT_TRUE(socket.Ok());
            ASSERT_TRUE(socket.Send("Hello 250#", "255.255.255.255", 250));
            std::set<std::string> from;
            for (const auto& d : socket.Receive(21, 3s)) {
                if (d.text.starts_with("Hello 13.#")) {
                    from.insert(d.from);
                }
            }
            EXPECT_EQ(from.size(), 20u);
            EXPECT_TRUE(from.count("10.77.128.1"));
            EXPECT_TRUE(from.count("10.77.128.20"));

            auto info = test::Post("10.77.128.5", 80, "query=info");
            EXPECT_EQ(info.body.substr(0, 17), "<return>\n<info>OK");
            // A move within the fleet's range is reachable from the console side.
            auto moved = test::Post(
                "10.77.128.5", 80,
                "set=network0" + std::string("0A4DC864") + "FFFF0000" + "0A4D0002" + "0A4D0002");
            EXPECT_EQ(moved.body, "<return>\n<result>OK");
            bool answered = false;
            for (int i = 0; i < 100 && !answered; ++i) {
                std::this_thread::sleep_for(20ms);
                answered = test::Post("10.77.200.100", 80, "query=info", 1s).answered;
            }
            EXPECT_TRUE(answered);
        });
        console.join();
        fleet.Stop();
    }
    std::string left = NamespaceList();
    EXPECT_EQ(left.find(consoleNs), std::string::npos) << left;
    EXPECT_EQ(left.find(fleetNs), std::string::npos) << left;
}

}  // namespace
}  // namespace vistrel::sim
