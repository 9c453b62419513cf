#include "protocol/test_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace vistrel::testing {

namespace {

// How long the server waits for the rest of a request before dropping the connection.
constexpr int kReadTimeoutMs = 5000;
constexpr size_t kMaxRequestBytes = 4 << 20;

sockaddr_in LoopbackAddress(const std::string& address, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        throw std::runtime_error("bad test address " + address);
    }
    return addr;
}

uint16_t BoundPort(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error("getsockname failed");
    }
    return ntohs(addr.sin_port);
}

int BindTcp(const std::string& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    const sockaddr_in addr = LoopbackAddress(address, 0);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        throw std::runtime_error("bind failed on " + address);
    }
    return fd;
}

// Content-Length of a request head, 0 when absent.
size_t ContentLength(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string key = "\r\ncontent-length:";
    const size_t at = lower.find(key);
    if (at == std::string::npos) {
        return 0;
    }
    return std::strtoul(lower.c_str() + at + key.size(), nullptr, 10);
}

void SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;  // the client gave up; nothing to do
        }
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

TestHttpServer::TestHttpServer(std::string address) : address_(std::move(address)) {
    listenFd_ = BindTcp(address_);
    if (listen(listenFd_, 64) != 0 || pipe2(wakeFds_, O_CLOEXEC) != 0) {
        close(listenFd_);
        throw std::runtime_error("listen failed");
    }
    port_ = BoundPort(listenFd_);
    thread_ = std::thread(&TestHttpServer::Run, this);
}

TestHttpServer::~TestHttpServer() {
    const char stop = 's';
    (void)!write(wakeFds_[1], &stop, 1);
    thread_.join();
    for (int fd : held_) {
        close(fd);
    }
    close(listenFd_);
    close(wakeFds_[0]);
    close(wakeFds_[1]);
}

void TestHttpServer::SetMode(Mode mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = mode;
}

void TestHttpServer::SetResponse(std::string rawResponse) {
    std::lock_guard<std::mutex> lock(mutex_);
    response_ = std::move(rawResponse);
}

std::vector<std::string> TestHttpServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t TestHttpServer::Connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

bool TestHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::string TestHttpServer::Response(int status, const std::string& reason, const std::string& body,
                                     bool withContentLength) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    out += "Content-Type: text/plain\r\n";
    if (withContentLength) {
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    return out + body;
}

bool TestHttpServer::WaitReadable(int fd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    const int n = poll(fds, 2, kReadTimeoutMs);
    return n > 0 && (fds[1].revents & POLLIN) == 0 && (fds[0].revents & (POLLIN | POLLHUP)) != 0;
}

std::string TestHttpServer::ReadRequest(int fd) {
    std::string data;
    size_t headEnd = std::string::npos;
    size_t wanted = 0;
    char chunk[4096];
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                wanted = headEnd + 4 + ContentLength(data.substr(0, headEnd + 2));
            }
        }
        if (headEnd != std::string::npos && data.size() >= wanted) {
            return data;
        }
        if (data.size() > kMaxRequestBytes || !WaitReadable(fd)) {
            return {};
        }
        const ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
        if (n <= 0) {
            return {};
        }
        data.append(chunk, static_cast<size_t>(n));
    }
}

void TestHttpServer::Run() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) {
            return;
        }
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++connections_;
        }
        std::string request = ReadRequest(fd);
        Mode mode;
        std::string response;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!request.empty()) {
                requests_.push_back(std::move(request));
            }
            mode = mode_;
            response = response_;
        }
        changed_.notify_all();
        switch (mode) {
            case Mode::kReply:
                SendAll(fd, response);
                shutdown(fd, SHUT_WR);
                close(fd);
                break;
            case Mode::kHang:
                held_.push_back(fd);  // closed by the destructor
                break;
            case Mode::kCloseAtOnce:
                close(fd);
                break;
        }
    }
}

RefusingPort::RefusingPort(const std::string& address) : fd_(BindTcp(address)) {
    port_ = BoundPort(fd_);
}

RefusingPort::~RefusingPort() {
    close(fd_);
}

}  // namespace vistrel::testing
