// Where the console looks for projectors. The defaults are the real network's; tests and
// the demo fleet replace them with loopback addresses and unprivileged ports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

inline constexpr uint16_t kProjectorDiscoveryPort = 250;

struct NetworkProfile {
    std::string broadcastAddress = "255.255.255.255";
    // Directed broadcasts (such as 10.1.2.255) that reach projectors beyond a router, probed
    // after broadcastAddress.
    std::vector<std::string> directedBroadcasts;
    std::string bindAddress = "0.0.0.0";
    uint16_t discoveryPort = kProjectorDiscoveryPort;
    uint16_t httpPort = 80;
    // PJLink control (TCP) and the class-2 search (UDP); the standard puts both on 4352.
    uint16_t pjlinkPort = 4352;
    uint16_t pjlinkSearchPort = 4352;

    // Whether the discovery socket may share its port with other sockets. On the
    // projectors' own port it may not: the system hands each unicast answer to one socket
    // only (on Linux the one bound last), so a second program there would silently take
    // this one's answers. Simulated and test fleets run on other ports, where several
    // consoles and fleets may meet.
    bool SharesDiscoveryPort() const { return discoveryPort != kProjectorDiscoveryPort; }
};

}  // namespace vistrel
