// Discovery over real sockets on loopback (127.0.3.x, ephemeral ports): what arrives on the
// wire, what the console sends, and how it survives datagrams that are not answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "monitor/discovery.h"
#include "monitor/monitor_fakes.h"
#include "monitor/udp_socket.h"

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::LoopbackProfile;
using test::ManualClock;
using test::WaitUntil;

// Reads one datagram, waiting up to five seconds for it.
bool ReceiveWithin(UdpSocket& socket, std::string& data, std::string& sender, uint16_t& port) {
    UdpSocket::ReceiveStatus status = UdpSocket::ReceiveStatus::kWouldBlock;
    WaitUntil(
        [&] {
            status = socket.Receive(data, sender, port);
            return status != UdpSocket::ReceiveStatus::kWouldBlock;
        },
        std::chrono::seconds(5));
    return status == UdpSocket::ReceiveStatus::kDatagram;
}

TEST(UdpSocket, BindsEphemeralPortAndExchangesDatagramsWithSenderAddress) {
    UdpSocket a;
    UdpSocket b;
    ASSERT_TRUE(a.Open("127.0.3.1", 0)) << a.LastErrorText();
    ASSERT_TRUE(b.Open("127.0.3.2", 0)) << b.LastErrorText();
    EXPECT_NE(a.LocalPort(), 0);
    EXPECT_NE(a.Descriptor(), kInvalidSocket);

    std::string data, sender;
    uint16_t port = 0;
    EXPECT_EQ(a.Receive(data, sender, port), UdpSocket::ReceiveStatus::kWouldBlock);

    ASSERT_TRUE(b.SendTo("127.0.3.1", a.LocalPort(), std::string("x\0y", 3)));
    ASSERT_TRUE(ReceiveWithin(a, data, sender, port));
    EXPECT_EQ(data, std::string("x\0y", 3));
    EXPECT_EQ(sender, "127.0.3.2");
    EXPECT_EQ(port, b.LocalPort());
}

TEST(UdpSocket, DatagramOfMaximumSizeIsKeptOneByteMoreIsDropped) {
    UdpSocket a;
    UdpSocket b;
    ASSERT_TRUE(a.Open("127.0.3.1", 0));
    ASSERT_TRUE(b.Open("127.0.3.3", 0));
    ASSERT_TRUE(b.SendTo("127.0.3.1", a.LocalPort(), std::string(kMaxDatagramBytes + 1, 'x')));
    ASSERT_TRUE(b.SendTo("127.0.3.1", a.LocalPort(), std::string(kMaxDatagramBytes, 'y')));

    std::string data, sender;
    uint16_t port = 0;
    ASSERT_TRUE(WaitUntil(
        [&] { return a.Receive(data, sender, port) == UdpSocket::ReceiveStatus::kTruncated; }));
    ASSERT_TRUE(ReceiveWithin(a, data, sender, port));
    EXPECT_EQ(data, std::string(kMaxDatagramBytes, 'y'));
}

TEST(UdpSocket, OpenFailureLeavesItClosedWithTheStep) {
    UdpSocket socket;
    EXPECT_FALSE(socket.Open("not-an-address", 0));
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(socket.LastStep(), "address");
    // 192.0.2.0/24 is documentation space: never an address of this machine.
    EXPECT_FALSE(socket.Open("192.0.2.231", 0));
    EXPECT_EQ(socket.LastStep(), "bind");
    EXPECT_EQ(socket.LastError(), EADDRNOTAVAIL);
    EXPECT_FALSE(socket.SendTo("127.0.3.1", 9, "x"));
}

// A fake projector on its own loopback address that the console's profile "broadcasts" to.
class DiscoveryOverLoopback : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(projector.Open("127.0.3.2", 0)) << projector.LastErrorText();
        console = std::make_unique<Console>(
            LoopbackProfile("127.0.3.1", "127.0.3.2", projector.LocalPort()), clock);
        discovery = std::make_unique<Discovery>(
            *console, [this](const DiscoveryFailure& f) { failures.push_back(f); });
    }
    size_t Size() { return console->table.Lock().Size(); }
    // Handles every datagram that arrives within `limit`.
    void Drain(std::chrono::milliseconds limit = std::chrono::milliseconds(200)) {
        WaitUntil(
            [&] {
                while (discovery->HandleAnswer()) {
                }
                return false;
            },
            limit);
    }

    ManualClock clock;
    UdpSocket projector;
    std::unique_ptr<Console> console;
    std::unique_ptr<Discovery> discovery;
    std::vector<DiscoveryFailure> failures;
};

TEST_F(DiscoveryOverLoopback, OpenSendsProbeAndAnswersFillTheTable) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    std::string data, sender;
    uint16_t port = 0;
    ASSERT_TRUE(ReceiveWithin(projector, data, sender, port));
    EXPECT_EQ(data, "Hello 250#");
    EXPECT_EQ(sender, "127.0.3.1");
    EXPECT_EQ(port, discovery->LocalPort());

    ASSERT_TRUE(projector.SendTo(sender, port, "Hello 13.#-00AABBCCDDEE"));
    ASSERT_TRUE(WaitUntil([&] {
        discovery->HandleAnswer();
        return Size() == 1;
    }));
    Info info;
    ASSERT_TRUE(console->table.Lock().Lookup("00AABBCCDDEE", info));
    EXPECT_EQ(info.ip, "127.0.3.2");
    EXPECT_EQ(info.freshness, 5u);

    console->table.Lock().Find("00AABBCCDDEE")->freshness = 3;
    discovery->AutoDiscoveryCycle();  // ages to 2, then probes again
    ASSERT_TRUE(ReceiveWithin(projector, data, sender, port));
    EXPECT_EQ(data, "Hello 250#");
    EXPECT_TRUE(failures.empty());
}

TEST_F(DiscoveryOverLoopback, OwnProbeMalformedAndOversizedDatagramsAreDropped) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    const uint16_t consolePort = discovery->LocalPort();
    UdpSocket self;
    ASSERT_TRUE(self.Open("127.0.3.4", 0));
    ASSERT_TRUE(self.SendTo("127.0.3.1", consolePort, "Hello 250#"));
    ASSERT_TRUE(self.SendTo("127.0.3.1", consolePort, "GET / HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(self.SendTo("127.0.3.1", consolePort, ""));
    ASSERT_TRUE(self.SendTo("127.0.3.1", consolePort, std::string(kMaxDatagramBytes + 1, 'H')));
    std::string oversized = "Hello 13.#-0123456789AB";
    oversized.resize(kMaxDatagramBytes + 100, ' ');
    ASSERT_TRUE(self.SendTo("127.0.3.1", consolePort, oversized));
    std::string longest = "Hello 13.#-ABCDEF012345";
    longest.resize(kMaxDatagramBytes, '#');
    ASSERT_TRUE(self.SendTo("127.0.3.1", consolePort, longest));
    Drain();
    auto table = console->table.Lock();
    ASSERT_EQ(table.Size(), 1u);
    EXPECT_EQ(table.Records()[0].mac, "ABCDEF012345");
    EXPECT_EQ(table.Records()[0].ip, "127.0.3.4");
}

TEST_F(DiscoveryOverLoopback, ReadableDescriptorNeedsNoPollingLoop) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    EXPECT_FALSE(discovery->HandleAnswer());  // nothing waiting: returns at once
    ASSERT_TRUE(projector.SendTo("127.0.3.1", discovery->LocalPort(), "Hello 13.#-AAAAAAAAAAAA"));
    ASSERT_TRUE(WaitUntil([&] { return discovery->HandleAnswer(); }));
    EXPECT_EQ(Size(), 1u);
}

TEST_F(DiscoveryOverLoopback, HandleAnswersForCollectsWhatArrivesWithinTheWindow) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    const uint16_t consolePort = discovery->LocalPort();
    std::thread late([&] {
        std::this_thread::sleep_for(50ms);
        projector.SendTo("127.0.3.1", consolePort, "Hello 13.#-BBBBBBBBBBBB");
    });
    ASSERT_TRUE(projector.SendTo("127.0.3.1", consolePort, "Hello 13.#-AAAAAAAAAAAA"));
    // The late answer is due 50 ms in; the window leaves a loaded machine ample slack.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(discovery->HandleAnswersFor(1500ms), 2u);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1500ms);
    late.join();
    EXPECT_EQ(Size(), 2u);
}

TEST_F(DiscoveryOverLoopback, BurstOfAThousandAnswersWaitsWhileTheReaderIsBusy) {
    ASSERT_TRUE(discovery->OpenDiscovery());
    int rmemMax = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> rmemMax;
    if (rmemMax < kReceiveBufferBytes) {
        GTEST_SKIP() << "the system caps receive buffers at " << rmemMax
                     << " bytes (net.core.rmem_max)";
    }
    // Nobody reads while the whole fleet answers, as when the GUI thread is busy.
    for (int i = 0; i < 1000; ++i) {
        char mac[13];
        std::snprintf(mac, sizeof mac, "%012d", i);
        ASSERT_TRUE(projector.SendTo("127.0.3.1", discovery->LocalPort(),
                                     std::string("Hello 13.#-") + mac));
    }
    discovery->HandleAnswersFor(200ms);
    EXPECT_EQ(Size(), 1000u);
}

TEST(DiscoveryUnavailable, ReportedOnceAndTheRestIsHarmless) {
    ManualClock clock;
    Console console(LoopbackProfile("192.0.2.231", "127.0.3.2", 25001), clock);
    std::vector<DiscoveryFailure> failures;
    Discovery discovery(console, [&](const DiscoveryFailure& f) { failures.push_back(f); });
    EXPECT_FALSE(discovery.OpenDiscovery());
    EXPECT_FALSE(discovery.IsOpen());
    EXPECT_FALSE(discovery.Broadcast());
    EXPECT_FALSE(discovery.HandleAnswer());
    EXPECT_EQ(discovery.HandleAnswersFor(std::chrono::milliseconds(10)), 0u);
    discovery.AutoDiscoveryCycle();
    discovery.RefreshAllProjectors();
    EXPECT_FALSE(discovery.OpenDiscovery());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].reason.find("UDP port 25001"), std::string::npos) << failures[0].reason;
    EXPECT_NE(failures[0].reason.find("192.0.2.231"), std::string::npos);
    EXPECT_FALSE(failures[0].remedy.empty());
    ASSERT_TRUE(discovery.Failure().has_value());
}

TEST(DiscoveryUnavailable, ProbeThatCannotBeSentIsReported) {
    ManualClock clock;
    // Port 0 is a valid place to bind but not to send to.
    Console console(LoopbackProfile("127.0.3.1", "127.0.3.2", 0), clock);
    std::vector<DiscoveryFailure> failures;
    Discovery discovery(console, [&](const DiscoveryFailure& f) { failures.push_back(f); });
    EXPECT_TRUE(discovery.OpenDiscovery());
    EXPECT_FALSE(discovery.Broadcast());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].reason.find("probe"), std::string::npos) << failures[0].reason;
}

}  // namespace
}  // namespace vistrel
