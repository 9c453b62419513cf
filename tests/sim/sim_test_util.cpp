#include "sim_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

namespace vistrel::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

sockaddr_in Endpoint(const std::string& address, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    return addr;
}

void ParseResponse(HttpResult& result) {
    size_t headerEnd = result.raw.find("\r\n\r\n");
    if (result.raw.compare(0, 9, "HTTP/1.1 ") != 0 || headerEnd == std::string::npos) {
        return;
    }
    result.status = std::atoi(result.raw.c_str() + 9);
    std::string head = result.raw.substr(0, headerEnd);
    size_t at = head.find("Content-Length: ");
    if (at == std::string::npos) {
        return;
    }
    size_t length = std::strtoul(head.c_str() + at + 16, nullptr, 10);
    if (result.raw.size() >= headerEnd + 4 + length) {
        result.body = result.raw.substr(headerEnd + 4, length);
        result.answered = true;
    }
}

}  // namespace

HttpResult RawHttp(const std::string& address, uint16_t port, const std::string& request,
                   std::chrono::milliseconds limit) {
    HttpResult result;
    auto deadline = Clock::now() + limit;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = Endpoint(address, port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return result;
    }
    result.connected = true;
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        close(fd);
        return result;
    }
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int ms = RemainingMs(deadline);
        if (ms == 0 || poll(&p, 1, ms) <= 0) {
            break;
        }
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            break;
        }
        result.raw.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    ParseResponse(result);
    return result;
}

HttpResult Post(const std::string& address, uint16_t port, const std::string& body,
                std::chrono::milliseconds limit) {
    std::string request = "POST /tgi/return.tgi HTTP/1.1\r\nHost: " + address +
                          "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                          "Content-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body;
    return RawHttp(address, port, request, limit);
}

UdpClient::UdpClient(const std::string& address, uint16_t port, int receiveBuffer) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    // The forced variant passes the system maximum when the tests run as root.
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBuffer, sizeof receiveBuffer) != 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in addr = Endpoint(address, port);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

UdpClient::~UdpClient() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

uint16_t UdpClient::Port() const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

bool UdpClient::Send(const std::string& text, const std::string& address, uint16_t port) {
    sockaddr_in addr = Endpoint(address, port);
    return sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&addr),
                  sizeof addr) == static_cast<ssize_t>(text.size());
}

std::vector<Datagram> UdpClient::Receive(size_t count, std::chrono::milliseconds limit) {
    std::vector<Datagram> out;
    auto deadline = Clock::now() + limit;
    char buf[4096];
    while (out.size() < count) {
        pollfd p{fd_, POLLIN, 0};
        int ms = RemainingMs(deadline);
        if (ms == 0 || poll(&p, 1, ms) <= 0) {
            break;
        }
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            break;
        }
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        out.push_back({std::string(buf, static_cast<size_t>(n)), text, ntohs(from.sin_port)});
    }
    return out;
}

size_t ThreadsOfProcess() {
    // Some runtimes (ThreadSanitizer's among them) start a helper thread of their own when
    // the process creates its first thread. Create and join one first, so that a count
    // taken before a fleet starts already includes it.
    static const bool runtimeSettled = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)runtimeSettled;
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

}  // namespace vistrel::sim::test
