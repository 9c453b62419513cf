// Finding PJLink projectors that cannot be searched for (class 1) by trying each address of a
// subnet: connect, read the greeting, close. Nothing is ever sent, so a scan changes nothing
// on the hosts it reaches. Connections are bounded in number and each in time, so a /24
// takes a few seconds however many hosts stay silent.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pjlink/pjlink_codec.h"

namespace vistrel::pjlink {

// Widest subnet a scan takes: a /16 is already 65,534 connection attempts.
inline constexpr int kWidestScanPrefix = 16;

// The host addresses of "10.1.2.0/24" (a bare address is its own /32), without the network
// and broadcast addresses below /31. nullopt with `why` set for anything else, or a prefix
// wider than kWidestScanPrefix.
std::optional<std::vector<std::string>> SubnetHosts(std::string_view cidr, std::string& why);

struct ScanOptions {
    uint16_t port = kPort;
    size_t concurrency = 256;
    std::chrono::milliseconds connectTimeout{1000};
    // From the connection to the greeting; projectors greet at once.
    std::chrono::milliseconds greetingTimeout{1000};
    // Checked between connections: a set flag ends the scan early.
    const std::atomic<bool>* stop = nullptr;
};

struct ScanHit {
    std::string ip;
    bool authenticated = false;  // "PJLINK 1": it wants a password
};

// The addresses among `ips` whose port greets as a PJLink projector, in the order given.
std::vector<ScanHit> Scan(const std::vector<std::string>& ips, const ScanOptions& options);

}  // namespace vistrel::pjlink
