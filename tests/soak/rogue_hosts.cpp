#include "soak/rogue_hosts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vistrel::soak {

namespace {

int OpenSocket(int type, const std::string& address, uint16_t port, std::string* error) {
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        *error = "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

RogueDiscovery::RogueDiscovery(std::string firstAddress, std::string secondAddress,
                               std::string target, uint16_t targetPort, std::string impersonatedMac,
                               int periodMs)
    : firstAddress_(std::move(firstAddress)),
      secondAddress_(std::move(secondAddress)),
      target_(std::move(target)),
      targetPort_(targetPort),
      impersonatedMac_(std::move(impersonatedMac)),
      periodMs_(periodMs) {}

RogueDiscovery::~RogueDiscovery() {
    Stop();
}

std::vector<std::string> RogueDiscovery::Datagrams() const {
    const std::string answer = "Hello 13.#x";
    return {
        "Hello 13.#",   // no identity
        answer,         // no identity either
        answer + "AB",  // a short identity
        answer +
            "\x1b[2J\x1b]0;x\x07"
            "ab",                                       // terminal control sequences
        answer + "AB\\CD\\EF\\GH",                      // path separators of the store
        "Hello 250#",                                   // a probe, not an answer
        answer + std::string(5000, 'A'),                // longer than any datagram read
        std::string("\x00\xff\x01\x02Hello 13.#", 14),  // binary
        answer + kDuplicateMac,                         // same identity from two addresses
        answer + kOversizedMac,                         // its web server never ends a reply
        answer + impersonatedMac_,                      // another projector's identity
        std::string("Hello 13.#xAB\0CDEFGHIJKL", 24),   // a NUL inside the identity
        answer + "\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6\xf5\xf4",  // not text
        answer + "zz",  // arrives before the next probe
    };
}

bool RogueDiscovery::Start(std::string* error) {
    int first = OpenSocket(SOCK_DGRAM, firstAddress_, 0, error);
    if (first < 0)
        return false;
    int second = OpenSocket(SOCK_DGRAM, secondAddress_, 0, error);
    if (second < 0) {
        ::close(first);
        return false;
    }
    thread_ = std::thread(&RogueDiscovery::Run, this, first, second);
    return true;
}

void RogueDiscovery::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void RogueDiscovery::Run(int first, int second) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(targetPort_);
    ::inet_pton(AF_INET, target_.c_str(), &to.sin_addr);
    const std::vector<std::string> round = Datagrams();
    size_t next = 0;
    while (!stop_) {
        const std::string& datagram = round[next % round.size()];
        // The duplicate identity comes from both addresses; the oversized one only from the
        // address its web server listens on.
        const bool fromSecond =
            datagram.find(kOversizedMac) != std::string::npos ||
            (datagram.find(kDuplicateMac) != std::string::npos && (next / round.size()) % 2 == 1);
        ::sendto(fromSecond ? second : first, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<sockaddr*>(&to), sizeof to);
        ++sent_;
        ++next;
        std::this_thread::sleep_for(std::chrono::milliseconds(periodMs_));
    }
    ::close(first);
    ::close(second);
}

OversizedWebServer::OversizedWebServer(std::string address, uint16_t port)
    : address_(std::move(address)), port_(port) {}

OversizedWebServer::~OversizedWebServer() {
    Stop();
}

bool OversizedWebServer::Start(std::string* error) {
    int listener = OpenSocket(SOCK_STREAM, address_, port_, error);
    if (listener < 0)
        return false;
    if (::listen(listener, 16) != 0) {
        *error = std::string("listen: ") + std::strerror(errno);
        ::close(listener);
        return false;
    }
    thread_ = std::thread(&OversizedWebServer::Run, this, listener);
    return true;
}

void OversizedWebServer::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void OversizedWebServer::Run(int listener) {
    bool declared = true;
    while (!stop_) {
        pollfd ready{listener, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0)
            continue;
        int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        ++connections_;
        Serve(connection, declared);
        declared = !declared;
        ::close(connection);
    }
    ::close(listener);
}

void OversizedWebServer::Serve(int connection, bool declared) {
    // Reads the request (it is small) for up to half a second, then answers at length.
    timeval limit{0, 500000};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    timeval sendLimit{2, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<size_t>(n));
    }
    const size_t total = declared ? 300000 : 2000000;
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n";
    if (declared)
        head += "Content-Length: " + std::to_string(total) + "\r\n";
    head += "\r\n";
    // A plausible start, so that only the size can make the console refuse it.
    std::string body = "<return>\n<info>OK1012305A1234";
    body.resize(total, 'X');
    std::string reply = head + body;
    size_t sent = 0;
    while (sent < reply.size() && !stop_) {
        ssize_t n = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;  // the console hung up, as it should
        sent += static_cast<size_t>(n);
    }
}

}  // namespace vistrel::soak
