// A small HTTP server for tests: plain sockets, one thread, raw requests captured as
// received, and answers chosen by the test (a canned reply, silence, or a hang-up).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vistrel::testing {

class TestHttpServer {
  public:
    enum class Mode {
        kReply,        // answer every request with the canned response, then close
        kHang,         // read the request, then hold the connection open until stopped
        kCloseAtOnce,  // read the request, then close without a byte of answer
    };

    // Listens on `address` (a loopback address) with an ephemeral port.
    explicit TestHttpServer(std::string address);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    const std::string& Address() const { return address_; }
    uint16_t Port() const { return port_; }

    void SetMode(Mode mode);
    // The exact bytes written back, status line included.
    void SetResponse(std::string rawResponse);

    // Raw requests (head and body) captured so far, in arrival order.
    std::vector<std::string> Requests();
    size_t Connections();
    // Waits until `count` requests have been captured; false on time-out.
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout);

    // A well-formed response; without a length the end of the body is the closed connection.
    static std::string Response(int status, const std::string& reason, const std::string& body,
                                bool withContentLength = true);

  private:
    void Run();
    // Reads one request; empty when the peer went away or the server is stopping.
    std::string ReadRequest(int fd);
    bool WaitReadable(int fd);

    std::string address_;
    uint16_t port_ = 0;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    Mode mode_ = Mode::kReply;
    std::string response_;
    std::vector<std::string> requests_;
    size_t connections_ = 0;
    std::vector<int> held_;
};

// A port on `address` that is bound but not listening: connecting to it is refused, and
// no other test can take it while this object lives.
class RefusingPort {
  public:
    explicit RefusingPort(const std::string& address);
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    uint16_t Port() const { return port_; }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace vistrel::testing
