// The subnet scan: which addresses it tries, and that only a PJLink greeting counts.
#include "pjlink/pjlink_scan.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "sim/pjlink_fleet.h"

namespace vistrel::pjlink {
namespace {

TEST(PjlinkScan, SubnetsGiveTheirHostAddressesAndTooWideOnesAreRefused) {
    std::string why;
    auto hosts = SubnetHosts("10.1.2.77/24", why);
    ASSERT_TRUE(hosts);
    ASSERT_EQ(hosts->size(), 254u);  // neither 10.1.2.0 nor 10.1.2.255
    EXPECT_EQ(hosts->front(), "10.1.2.1");
    EXPECT_EQ(hosts->back(), "10.1.2.254");
    hosts = SubnetHosts("10.1.2.6/31", why);
    ASSERT_TRUE(hosts);
    EXPECT_EQ(*hosts, (std::vector<std::string>{"10.1.2.6", "10.1.2.7"}));
    hosts = SubnetHosts("10.1.2.9", why);
    ASSERT_TRUE(hosts);
    EXPECT_EQ(*hosts, (std::vector<std::string>{"10.1.2.9"}));
    hosts = SubnetHosts("172.16.0.0/16", why);
    ASSERT_TRUE(hosts);
    EXPECT_EQ(hosts->size(), 65534u);

    EXPECT_FALSE(SubnetHosts("172.16.0.0/15", why));
    EXPECT_NE(why.find("too wide"), std::string::npos);
    for (const char* bad : {"10.1.2.0/", "10.1.2.0/33", "10.1.2/24", "10.1.2.0/2x", "", "/24",
                            "224.0.0.0/24", "0.0.0.0/30"}) {
        EXPECT_FALSE(SubnetHosts(bad, why)) << bad;
    }
}

// A TCP listener on `address`:`port` that is not a projector.
class Listener {
  public:
    Listener(const char* address, uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &at.sin_addr);
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ok_ =
            ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(fd_, 4) == 0;
    }
    ~Listener() {
        if (thread_.joinable())
            thread_.join();
        ::close(fd_);
    }
    bool Ok() const { return ok_; }
    // Answers one connection with `text`, as another service would, within a bounded time.
    void AnswerOnce(std::string text) {
        thread_ = std::thread([this, text] {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1)
                return;
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0)
                return;
            [[maybe_unused]] const auto sent = ::send(client, text.data(), text.size(), 0);
            ::close(client);
        });
    }

  private:
    int fd_ = -1;
    bool ok_ = false;
    std::thread thread_;
};

TEST(PjlinkScan, OnlyAddressesThatGreetAsPjlinkAreFound) {
    sim::PjlinkFleetOptions options = sim::GeneratePjlinkFleet(3, "127.0.13.2");
    options.port = 0;
    options.searchPort = 0;
    sim::PjlinkFleet fleet(std::move(options));
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;
    // Beside them on the same port: a service that greets otherwise, one whose first line
    // never ends, and one that accepts and says nothing.
    Listener other("127.0.13.6", fleet.Port()), endless("127.0.13.7", fleet.Port()),
        silent("127.0.13.8", fleet.Port());
    ASSERT_TRUE(other.Ok() && endless.Ok() && silent.Ok());
    other.AnswerOnce("SSH-2.0-Other\r\n");
    endless.AnswerOnce("PJLINK 0" + std::string(kMaxLine + 10, ' '));

    ScanOptions scan;
    scan.port = fleet.Port();
    scan.concurrency = 3;  // fewer than the addresses: the queue must move on
    scan.greetingTimeout = std::chrono::milliseconds(300);
    std::string why;
    const auto hosts = SubnetHosts("127.0.13.0/28", why);
    ASSERT_TRUE(hosts);
    const std::vector<ScanHit> hits = Scan(*hosts, scan);
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0].ip, "127.0.13.2");
    EXPECT_FALSE(hits[0].authenticated);
    EXPECT_EQ(hits[2].ip, "127.0.13.4");
    EXPECT_TRUE(hits[2].authenticated);  // the third one has a password
    EXPECT_EQ(fleet.Log().size(), 0u);   // nothing was sent to them

    // A stop that is already asked for tries nothing.
    std::atomic<bool> stop{true};
    scan.stop = &stop;
    EXPECT_TRUE(Scan(*hosts, scan).empty());
}

}  // namespace
}  // namespace vistrel::pjlink
