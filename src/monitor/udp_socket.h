// A non-blocking IPv4 datagram socket for discovery: bound to one port on all interfaces,
// broadcast allowed. The GUI watches Descriptor() with a QSocketNotifier; the command line
// polls it. One implementation over BSD sockets, with Winsock differences kept inside.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel {

#ifdef _WIN32
using NativeSocket = uintptr_t;  // SOCKET
inline constexpr NativeSocket kInvalidSocket = ~NativeSocket{0};
#else
using NativeSocket = int;
inline constexpr NativeSocket kInvalidSocket = -1;
#endif

// Largest datagram text handed to callers; a longer datagram is dropped whole.
inline constexpr size_t kMaxDatagramBytes = 4095;
// Receive buffer asked for: room for the answers of a thousand projectors to one probe while
// the reading thread is busy elsewhere. The system may grant less.
inline constexpr int kReceiveBufferBytes = 2 * 1024 * 1024;

class UdpSocket {
  public:
    enum class ReceiveStatus {
        kDatagram,    // one datagram read into the outputs
        kTruncated,   // one datagram read and dropped: it did not fit kMaxDatagramBytes
        kWouldBlock,  // nothing to read now
        kError,       // the socket reported an error (see LastError)
    };

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // kExclusive: binding fails (EADDRINUSE) while another socket holds the port, and no
    // later socket can take it over. kShared: SO_REUSEADDR, for simulated and test fleets.
    enum class PortUse { kExclusive, kShared };

    // Creates the socket with SO_BROADCAST, non-blocking, with a receive buffer of up to
    // kReceiveBufferBytes, and binds it to bindAddress:port (port 0 picks a free one; see
    // LocalPort). On failure the socket stays closed and LastError()/LastErrorText() say why.
    bool Open(const std::string& bindAddress, uint16_t port, PortUse use = PortUse::kExclusive);
    void Close();
    bool IsOpen() const { return fd_ != kInvalidSocket; }

    NativeSocket Descriptor() const { return fd_; }
    uint16_t LocalPort() const;
    // The receive buffer the system granted, in bytes (0 when closed).
    int ReceiveBufferBytes() const;

    // Sends one datagram to a dotted-quad address. False when not all of it was sent.
    bool SendTo(const std::string& address, uint16_t port, std::string_view data);

    // Waits up to `timeoutMs` for a datagram to be readable (or an error to be pending).
    bool WaitReadable(int timeoutMs) const;

    // Reads one datagram without waiting.
    ReceiveStatus Receive(std::string& data, std::string& senderAddress, uint16_t& senderPort);

    // The system error code of the last failed call (errno, or WSAGetLastError()).
    int LastError() const { return lastError_; }
    std::string LastErrorText() const;
    // Which step failed last: "socket", "bind", "sendto", ...
    const std::string& LastStep() const { return lastStep_; }

  private:
    void Fail(const char* step);

    NativeSocket fd_ = kInvalidSocket;
    int lastError_ = 0;
    std::string lastStep_;
};

// The text of a system socket error code.
std::string SocketErrorText(int code);

}  // namespace vistrel
