#include "monitor/udp_socket.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vistrel {

namespace {

#ifdef _WIN32
int LastSystemError() {
    return WSAGetLastError();
}
void CloseNative(NativeSocket fd) {
    closesocket(fd);
}
bool SetNonBlocking(NativeSocket fd) {
    u_long on = 1;
    return ioctlsocket(fd, FIONBIO, &on) == 0;
}
bool IsWouldBlock(int code) {
    return code == WSAEWOULDBLOCK;
}
#else
int LastSystemError() {
    return errno;
}
void CloseNative(NativeSocket fd) {
    ::close(fd);
}
bool SetNonBlocking(NativeSocket fd) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}
bool IsWouldBlock(int code) {
    return code == EAGAIN || code == EWOULDBLOCK;
}
#endif

// Best effort: a smaller buffer only means that a burst of answers may overflow it.
void SetReceiveBuffer(NativeSocket fd) {
    int wanted = kReceiveBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&wanted), sizeof wanted);
}

bool ParseAddress(const std::string& text, sockaddr_in& out, uint16_t port) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, text.c_str(), &out.sin_addr) == 1;
}

std::string AddressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

}  // namespace

std::string SocketErrorText(int code) {
#ifdef _WIN32
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = text ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
#else
    return std::strerror(code);
#endif
}

UdpSocket::~UdpSocket() {
    Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, kInvalidSocket)),
      lastError_(other.lastError_),
      lastStep_(std::move(other.lastStep_)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, kInvalidSocket);
        lastError_ = other.lastError_;
        lastStep_ = std::move(other.lastStep_);
    }
    return *this;
}

void UdpSocket::Fail(const char* step) {
    lastError_ = LastSystemError();
    lastStep_ = step;
}

bool UdpSocket::Open(const std::string& bindAddress, uint16_t port, PortUse use) {
    Close();
    sockaddr_in local{};
    if (!ParseAddress(bindAddress, local, port)) {
        lastError_ = EINVAL;
        lastStep_ = "address";
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd_ == kInvalidSocket) {
        Fail("socket");
        return false;
    }
    SetReceiveBuffer(fd_);
    int on = 1;
    const char* onValue = reinterpret_cast<const char*>(&on);
#ifdef _WIN32
    // Without it, a later socket with SO_REUSEADDR could take the port over on Windows.
    const int portOption = use == PortUse::kShared ? SO_REUSEADDR : SO_EXCLUSIVEADDRUSE;
#else
    // Without SO_REUSEADDR on this socket, no other socket can bind the port beside it.
    const int portOption = use == PortUse::kShared ? SO_REUSEADDR : 0;
#endif
    if (portOption != 0 && ::setsockopt(fd_, SOL_SOCKET, portOption, onValue, sizeof on) != 0) {
        Fail(use == PortUse::kShared ? "SO_REUSEADDR" : "SO_EXCLUSIVEADDRUSE");
    } else if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, onValue, sizeof on) != 0) {
        Fail("SO_BROADCAST");
    } else if (!SetNonBlocking(fd_)) {
        Fail("non-blocking");
    } else if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Fail("bind");
    } else {
        lastError_ = 0;
        lastStep_.clear();
        return true;
    }
    CloseNative(fd_);
    fd_ = kInvalidSocket;
    return false;
}

void UdpSocket::Close() {
    if (fd_ != kInvalidSocket) {
        CloseNative(fd_);
        fd_ = kInvalidSocket;
    }
}

uint16_t UdpSocket::LocalPort() const {
    if (fd_ == kInvalidSocket)
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::SendTo(const std::string& address, uint16_t port, std::string_view data) {
    if (fd_ == kInvalidSocket)
        return false;
    sockaddr_in peer{};
    if (!ParseAddress(address, peer, port)) {
        lastError_ = EINVAL;
        lastStep_ = "address";
        return false;
    }
    auto sent = ::sendto(fd_, data.data(), static_cast<int>(data.size()), 0,
                         reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sent < 0) {
        Fail("sendto");
        return false;
    }
    return static_cast<size_t>(sent) == data.size();
}

int UdpSocket::ReceiveBufferBytes() const {
    if (fd_ == kInvalidSocket)
        return 0;
    int size = 0;
    socklen_t length = sizeof size;
    if (::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length) != 0) {
        return 0;
    }
    return size;
}

bool UdpSocket::WaitReadable(int timeoutMs) const {
    if (fd_ == kInvalidSocket)
        return false;
#ifdef _WIN32
    WSAPOLLFD watch{fd_, POLLRDNORM, 0};
    return ::WSAPoll(&watch, 1, timeoutMs) > 0;
#else
    pollfd watch{fd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&watch, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
#endif
}

UdpSocket::ReceiveStatus UdpSocket::Receive(std::string& data, std::string& senderAddress,
                                            uint16_t& senderPort) {
    if (fd_ == kInvalidSocket)
        return ReceiveStatus::kError;
    std::array<char, kMaxDatagramBytes> buffer;
    sockaddr_in peer{};
#ifdef _WIN32
    int peerLength = sizeof peer;
    int received = ::recvfrom(fd_, buffer.data(), static_cast<int>(buffer.size()), 0,
                              reinterpret_cast<sockaddr*>(&peer), &peerLength);
    bool truncated = false;
    if (received == SOCKET_ERROR) {
        int code = WSAGetLastError();
        if (code == WSAEMSGSIZE)
            return ReceiveStatus::kTruncated;
        lastError_ = code;
        lastStep_ = "recvfrom";
        return IsWouldBlock(code) ? ReceiveStatus::kWouldBlock : ReceiveStatus::kError;
    }
#else
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t received = ::recvmsg(fd_, &message, 0);
    if (received < 0) {
        int code = errno;
        if (IsWouldBlock(code))
            return ReceiveStatus::kWouldBlock;
        lastError_ = code;
        lastStep_ = "recvmsg";
        return ReceiveStatus::kError;
    }
    bool truncated = (message.msg_flags & MSG_TRUNC) != 0;
#endif
    if (truncated)
        return ReceiveStatus::kTruncated;
    data.assign(buffer.data(), static_cast<size_t>(received));
    senderAddress = AddressText(peer);
    senderPort = ntohs(peer.sin_port);
    return ReceiveStatus::kDatagram;
}

std::string UdpSocket::LastErrorText() const {
    return SocketErrorText(lastError_);
}

}  // namespace vistrel
