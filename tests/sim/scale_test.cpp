// One process, a thousand projectors: every one answers one broadcast probe and serves one
// query, on a fixed number of threads.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "sim/fleet.h"
#include "sim/web_control.h"
#include "sim_test_util.h"

namespace vistrel::sim {
namespace {

using namespace std::chrono_literals;

constexpr size_t kProjectors = 1000;

TEST(SimScale, ThousandProjectorsAnswerOneProbeAndOneQueryEach) {
    size_t threadsBefore = test::ThreadsOfProcess();
    FleetOptions options = GenerateFleet(kProjectors, 5, "127.0.6.2");
    options.discoveryPort = 0;
    options.httpPort = 0;
    Fleet fleet(std::move(options));
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;
    EXPECT_EQ(fleet.Address(kProjectors - 1), "127.0.9.233");
    EXPECT_EQ(test::ThreadsOfProcess(), threadsBefore + 2);

    test::UdpClient console;
    ASSERT_TRUE(console.Send("Hello 250#", "127.255.255.255", fleet.DiscoveryPort()));
    auto answers = console.Receive(kProjectors, 20s);
    std::set<std::string> macs;
    std::set<std::string> senders;
    for (const auto& a : answers) {
        macs.insert(a.text.substr(11));
        senders.insert(a.from);
    }
    EXPECT_EQ(answers.size(), kProjectors);
    EXPECT_EQ(macs.size(), kProjectors);
    EXPECT_EQ(senders.size(), kProjectors);

    std::atomic<size_t> good{0};
    std::atomic<size_t> next{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&] {
            for (size_t i; (i = next++) < kProjectors;) {
                auto r = test::Post(fleet.Address(i), fleet.HttpPort(), "query=info");
                if (r.answered && r.body == InfoReply(fleet.State(i))) {
                    ++good;
                }
            }
        });
    }
    for (auto& c : clients) {
        c.join();
    }
    EXPECT_EQ(good.load(), kProjectors);
    // However many projectors and connections, the fleet kept its two threads.
    EXPECT_EQ(test::ThreadsOfProcess(), threadsBefore + 2);
    fleet.Stop();
    EXPECT_EQ(test::ThreadsOfProcess(), threadsBefore);
}

}  // namespace
}  // namespace vistrel::sim
