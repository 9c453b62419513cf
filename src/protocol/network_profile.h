// Where the console looks for projectors. The defaults are the real network's; tests and
// the demo fleet replace them with loopback addresses and unprivileged ports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

struct NetworkProfile {
    std::string broadcastAddress = "255.255.255.255";
    // Directed broadcasts (such as 10.1.2.255) that reach projectors beyond a router, probed
    // after broadcastAddress.
    std::vector<std::string> directedBroadcasts;
    std::string bindAddress = "0.0.0.0";
    uint16_t discoveryPort = 250;
    uint16_t httpPort = 80;
};

}  // namespace vistrel
