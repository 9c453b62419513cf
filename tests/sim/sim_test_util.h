// Small blocking clients for talking to a simulated fleet from tests: a raw HTTP/1.1 POST
// and a UDP probe socket. Deliberately independent of the console's transport.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vistrel::sim::test {

struct HttpResult {
    bool connected = false;  // the TCP connection was made
    bool answered = false;   // a complete HTTP response arrived
    int status = 0;
    std::string body;
    std::string raw;  // everything received
};

// Sends `request` verbatim over a fresh connection and reads until the server closes or the
// time limit passes.
HttpResult RawHttp(const std::string& address, uint16_t port, const std::string& request,
                   std::chrono::milliseconds limit = std::chrono::seconds(5));

// POSTs `body` (unchanged) to /tgi/return.tgi the way the console does.
HttpResult Post(const std::string& address, uint16_t port, const std::string& body,
                std::chrono::milliseconds limit = std::chrono::seconds(5));

struct Datagram {
    std::string text;
    std::string from;  // sender address
    uint16_t fromPort = 0;
};

class UdpClient {
  public:
    // Binds `address`:`port` (0: any free port) with SO_REUSEADDR and SO_BROADCAST.
    explicit UdpClient(const std::string& address = "127.0.0.1", uint16_t port = 0,
                       int receiveBuffer = 4 << 20);
    ~UdpClient();
    UdpClient(const UdpClient&) = delete;
    UdpClient& operator=(const UdpClient&) = delete;

    bool Ok() const { return fd_ >= 0; }
    uint16_t Port() const;
    bool Send(const std::string& text, const std::string& address, uint16_t port);
    // Collects datagrams until `count` arrived or `limit` passed.
    std::vector<Datagram> Receive(size_t count, std::chrono::milliseconds limit);

  private:
    int fd_ = -1;
};

// Threads of this process, from /proc/self/task.
size_t ThreadsOfProcess();

}  // namespace vistrel::sim::test
